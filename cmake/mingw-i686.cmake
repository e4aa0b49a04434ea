# Cross toolchain: 32-bit Windows with mingw-w64's posix thread model (the
# win32 model has no std::thread/std::mutex, which GoogleTest needs).
#
# SL_DEPS_PREFIX is the cross-built libjpeg/libpng/giflib/GoogleTest prefix
# made by scripts/setup.sh (scripts/build.sh passes it; it may also come from
# the environment).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

if(NOT SL_DEPS_PREFIX AND DEFINED ENV{SL_DEPS_PREFIX})
    set(SL_DEPS_PREFIX "$ENV{SL_DEPS_PREFIX}")
endif()
if(NOT SL_DEPS_PREFIX OR NOT EXISTS "${SL_DEPS_PREFIX}/include/png.h")
    message(FATAL_ERROR "SL_DEPS_PREFIX must name the cross-built dependencies "
                        "(scripts/setup.sh --print-deps prints it); got '${SL_DEPS_PREFIX}'")
endif()
# try_compile projects re-read this file: hand them the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SL_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 ${SL_DEPS_PREFIX})
list(APPEND CMAKE_PREFIX_PATH ${SL_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests run under Wine through our wrapper, which supplies the private prefix,
# the Chinese locale and the display.
get_filename_component(SL_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SL_WINE_RUN})
