# Cross-compiles the Windows x86-64 build with Debian's mingw-w64.
#
# The -posix compilers are needed because the framework uses std::thread and
# std::mutex, which the -win32 flavour of Debian's mingw-w64 does not provide.
set (CMAKE_SYSTEM_NAME Windows)
set (CMAKE_SYSTEM_PROCESSOR x86_64)

set (mingw_triple x86_64-w64-mingw32)
set (CMAKE_C_COMPILER   ${mingw_triple}-gcc-posix)
set (CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set (CMAKE_RC_COMPILER  ${mingw_triple}-windres)

# Where the cross-built libpng and libjpeg-turbo were installed (see
# scripts/build-windows); zlib comes from Debian's libz-mingw-w64-dev.
set (QUILLOTONE_WINDOWS_DEPS "" CACHE PATH "Prefix of the cross-built image libraries")

set (CMAKE_FIND_ROOT_PATH /usr/${mingw_triple} ${QUILLOTONE_WINDOWS_DEPS})
set (CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set (CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set (CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# BOTH, so that Debian's JUCE package (a host package: module sources plus the
# Linux juceaide, which runs here as a build tool) is still found.
set (CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The test programs run under Wine; ctest and test discovery go through it.
# A bare name, found at test time: scripts/test-windows installs Wine, and the
# build itself never needs it.
set (CMAKE_CROSSCOMPILING_EMULATOR wine)

# Debian's JUCE package is a host package outside the find root.
if (NOT JUCE_DIR AND EXISTS /usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5)
    set (JUCE_DIR /usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5 CACHE PATH "Debian's JUCE package" FORCE)
endif()
