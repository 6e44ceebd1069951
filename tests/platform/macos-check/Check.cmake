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

# Every source under src/platform/macos, by the rule its directory's makefile has for its object.
file(GLOB sources RELATIVE "${SOURCE}/src/platform" "${SOURCE}/src/platform/macos/*.cpp"
    "${SOURCE}/src/platform/macos/*.mm")
file(READ "${BUILD}/src/platform/Makefile" rules)
set(objects)
foreach(source IN LISTS sources)
    if(NOT rules MATCHES "\n${source}\\.o:")
        message(FATAL_ERROR "macOS compile check: src/platform/${source} is in no target of the Mac build")
    endif()
    list(APPEND objects "${source}.o")
endforeach()
execute_process(COMMAND ${make} -C "${BUILD}/src/platform" ${objects} RESULT_VARIABLE failed)
if(NOT failed)
    execute_process(COMMAND ${make} -C "${BUILD}/tests/platform" tst_macwindowserver.mm.o
        RESULT_VARIABLE failed)
endif()
if(failed)
    message(FATAL_ERROR "macOS compile check: the macOS backend does not compile")
endif()
