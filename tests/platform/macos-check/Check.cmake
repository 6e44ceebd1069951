# Runs the macOS compile check (cmake -P): configures the Mac build on the first run, or again when
# its toolchain changed or its last configuration failed (otherwise the build system it generated
# configures itself anew whenever a CMake file changes), then compiles every file of the macOS
# backend in it, each as its own target compiles it. Takes SOURCE, BUILD, TOOLCHAIN, MAKE, MOC,
# BUILD_TYPE.
if(EXISTS "${BUILD}/CMakeCache.txt" AND "${TOOLCHAIN}" IS_NEWER_THAN "${BUILD}/CMakeCache.txt")
    file(REMOVE_RECURSE "${BUILD}")
endif()
if(NOT EXISTS "${BUILD}/Makefile")
    execute_process(
        COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BUILD}" -G "Unix Makefiles" "-DCMAKE_MAKE_PROGRAM=${MAKE}"
            "--toolchain=${TOOLCHAIN}" "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
            -DTALLYRIG_BUILD_BENCHMARKS=OFF
        OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE failed)
    if(failed)
        file(REMOVE "${BUILD}/Makefile")
        message(FATAL_ERROR "${output}\nmacOS compile check: the Mac configuration fails")
    endif()
endif()
# A CMake file changed since: configured again, as a build on the Mac would be.
# The build that runs this check has its own make; this one runs on its own, one job at a time.
set(make "${CMAKE_COMMAND}" -E env --unset=MAKEFLAGS --unset=MFLAGS "${MAKE}" -s)
execute_process(COMMAND ${make} -C "${BUILD}" cmake_check_build_system RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "macOS compile check: the Mac configuration fails")
endif()

# The window-server test's meta-object code, which the Mac build's AUTOMOC makes: here only the
# objects are built, not the libraries that AUTOMOC waits for.
set(test "${SOURCE}/tests/platform/tst_macwindowserver.mm")
set(moc "${BUILD}/tests/platform/tst_macwindowserver_autogen/include/tst_macwindowserver.moc")
if(NOT EXISTS "${moc}" OR "${test}" IS_NEWER_THAN "${moc}")
    get_filename_component(folder "${moc}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    execute_process(COMMAND "${MOC}" "${test}" -o "${moc}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "macOS compile check: moc fails on ${test}")
    endif()
endif()

# Every source under src/platform/macos, and the window-server test, each by the rule of its
# directory's makefile for its object: that rule names the target's own makefile and object.
file(GLOB sources RELATIVE "${SOURCE}/src/platform" "${SOURCE}/src/platform/macos/*.cpp"
    "${SOURCE}/src/platform/macos/*.mm")
list(TRANSFORM sources REPLACE "^(.+)$" "src/platform|\\1.o")
list(APPEND sources "tests/platform|tst_macwindowserver.mm.o")
set(makefiles)
set(objects)
foreach(entry IN LISTS sources)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 directory)
    list(GET entry 1 rule)
    file(READ "${BUILD}/${directory}/Makefile" rules)
    string(REPLACE "." "\\." pattern "${rule}")
    if(NOT rules MATCHES "\n${pattern}:\n\tcd [^\n]* -f ([^ ]+) ([^ \n]+)")
        string(REGEX REPLACE "\\.o$" "" source "${directory}/${rule}")
        message(FATAL_ERROR "macOS compile check: ${source} is in no target of the Mac build")
    endif()
    list(APPEND makefiles "${CMAKE_MATCH_1}")
    list(APPEND objects "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}")
endforeach()

# Each target's header dependencies, as the compiler reported them last time, before its objects.
list(REMOVE_DUPLICATES makefiles)
foreach(makefile IN LISTS makefiles)
    string(REGEX REPLACE "/build\\.make$" "/depend" depend "${makefile}")
    execute_process(COMMAND ${make} -C "${BUILD}" -f "${makefile}" "${depend}" OUTPUT_QUIET
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "macOS compile check: ${depend} fails")
    endif()
endforeach()
foreach(entry IN LISTS objects)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 makefile)
    list(GET entry 1 object)
    execute_process(COMMAND ${make} -C "${BUILD}" -f "${makefile}" "${object}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "macOS compile check: the macOS backend does not compile")
    endif()
endforeach()
