# The system MacOnLinux.cmake names: Linux, as far as the compilers and libraries go, with APPLE set
# so that the project's own CMake files take their Mac branches.
include(Platform/Linux)
set(APPLE 1)
