# Build rules shared by every folder.
#
# Two builds come from one tree:
#   windows - i686 mingw-w64 (posix threads), static, every module and test;
#             tests run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
#   native  - the host compiler with AddressSanitizer and UBSan, only the
#             modules that need no Win32 (marked PORTABLE), plus fuzz targets.

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    set(SL_WINDOWS ON)
else()
    set(SL_WINDOWS OFF)
endif()

if(SL_WINDOWS)
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    add_compile_options(-fstack-protector-strong -Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type
                        -Wno-missing-field-initializers)
    # A self-contained .exe: no libwinpthread/libstdc++ DLLs beside it; DEP and
    # ASLR on, and the stack protector's runtime linked in.
    add_link_options(-static -static-libgcc -static-libstdc++
                     -Wl,--nxcompat -Wl,--dynamicbase -fstack-protector-strong)
    # Reproducible programs: no link time in the PE header, and debug
    # information that names files relative to the tree, not to wherever it
    # was checked out (the build directory last: it may lie inside the tree).
    add_link_options(-Wl,--no-insert-timestamp)
    # Programs aware of terminal servers, as Windows tool chains mark them by
    # default: otherwise a Remote Desktop server gives each user a Windows
    # folder of their own and redirects the registry for the program. (The
    # flag means nothing for a library.)
    string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--tsaware")
    add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                        -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
    # The same for the cross-built libraries' headers: GoogleTest's macros
    # expand __FILE__ inside them, and a test program that names the build
    # machine's cache could not be shipped in the test bundle.
    if(SL_DEPS_PREFIX)
        add_compile_options(-ffile-prefix-map=${SL_DEPS_PREFIX}/=deps/)
    endif()
    set(ZLIB_USE_STATIC_LIBS ON)
else()
    add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers -fno-omit-frame-pointer)
    option(SL_SANITIZE "Build with AddressSanitizer and UBSan" ON)
    if(SL_SANITIZE)
        add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    endif()
endif()

# Texts are GBK byte strings throughout, so narrow string literals are
# compiled to GBK whatever the source file's UTF-8 says (wide literals stay
# UTF-16). GB18030 encodes every character GBK has with the same bytes and
# can also encode the odd library literal outside it (<chrono>'s "µs"). GCC does this for both the Windows and the native test build; clang
# cannot, so a clang build only makes the fuzz targets, which do not depend on
# what a literal's bytes are.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-fexec-charset=GB18030)
    set(SL_FUZZ_BUILD OFF)
elseif(NOT SL_WINDOWS)
    set(SL_FUZZ_BUILD ON)
    # Every library a fuzz target links carries coverage instrumentation, so
    # the fuzzer sees which paths an input reaches inside the modules.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# GoogleTest: cross-built into the dependency cache for Windows, the system's
# for the native build.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

set(SL_ROOT ${CMAKE_SOURCE_DIR})

# sl_module(<target> [PORTABLE] SOURCES ... [WIN32_SOURCES ...] [NATIVE_SOURCES ...]
#           [DEPS ...] [WIN32_DEPS ...])
# A static library. PORTABLE modules build in both builds (WIN32_SOURCES only
# on Windows, NATIVE_SOURCES only natively); the others only on Windows.
function(sl_module target)
    cmake_parse_arguments(M "PORTABLE" "" "SOURCES;WIN32_SOURCES;NATIVE_SOURCES;DEPS;WIN32_DEPS" ${ARGN})
    if(NOT SL_WINDOWS AND NOT M_PORTABLE)
        return()
    endif()
    set(srcs ${M_SOURCES})
    if(SL_WINDOWS)
        list(APPEND srcs ${M_WIN32_SOURCES})
    else()
        list(APPEND srcs ${M_NATIVE_SOURCES})
    endif()
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${SL_ROOT})
    target_link_libraries(${target} PUBLIC ${M_DEPS})
    if(SL_WINDOWS AND M_WIN32_DEPS)
        target_link_libraries(${target} PUBLIC ${M_WIN32_DEPS})
    endif()
endfunction()

# sl_test(<name> [PORTABLE] [GUI] SOURCES ... DEPS ... [TIMEOUT s] [ENV VAR=VALUE ...])
# One GoogleTest executable registered as one CTest test. GUI tests need the
# Xvfb display the test script provides. Tests that are not PORTABLE build
# only on Windows.
function(sl_test name)
    cmake_parse_arguments(T "PORTABLE;GUI" "TIMEOUT" "SOURCES;DEPS;ENV;LABELS" ${ARGN})
    if(NOT SL_WINDOWS AND NOT T_PORTABLE)
        return()
    endif()
    if(SL_FUZZ_BUILD)
        # Declared so that folders can still refer to it, never built or run:
        # its literals would not be GBK here.
        add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
        target_include_directories(${name} PRIVATE ${SL_ROOT})
        target_link_libraries(${name} PRIVATE ${T_DEPS} sl_test_support GTest::gtest Threads::Threads)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_include_directories(${name} PRIVATE ${SL_ROOT})
    target_link_libraries(${name} PRIVATE ${T_DEPS} sl_test_support GTest::gtest Threads::Threads)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    if(SL_WINDOWS)
        # Shipped in the test bundle (scripts/package-tests.sh).
        set_property(GLOBAL APPEND PROPERTY SL_BUNDLE_PROGRAMS ${name})
    endif()
    set(labels ${T_LABELS})
    if(T_GUI)
        list(APPEND labels gui)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${labels}")
    if(SL_WINDOWS)
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_session)
    endif()
    if(T_ENV)
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
    endif()
endfunction()

# The Windows test bundle (scripts/package-tests.sh) holds every sl_test()
# program, every program and library built under tests/, and the data files
# registered here, each at its path relative to the build directory, so that
# a test finds what lies beside it in the bundle as in the build tree:
#   set_property(GLOBAL APPEND PROPERTY SL_BUNDLE_FILES <absolute path in the build tree>)
# A file named here must be made by the build (a target's output or a
# configure-time copy) before the bundle is packaged.
define_property(GLOBAL PROPERTY SL_BUNDLE_FILES
    BRIEF_DOCS "Data files of the Windows tests shipped in the test bundle"
    FULL_DOCS "Absolute paths inside the build directory; the bundle keeps their relative paths.")
define_property(GLOBAL PROPERTY SL_BUNDLE_PROGRAMS
    BRIEF_DOCS "Test programs run by the test bundle's run-tests.cmd"
    FULL_DOCS "Target names of the sl_test() programs of the Windows build.")

# sl_fuzz(<name> SOURCES ... DEPS ... [SEEDS dir] [RUNS n])
# A libFuzzer target (native clang build only). The test run drives it briefly
# over its seeds; scripts/fuzz.sh runs it for longer.
function(sl_fuzz name)
    cmake_parse_arguments(F "" "SEEDS;SECONDS" "SOURCES;DEPS" ${ARGN})
    if(SL_WINDOWS OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        return()
    endif()
    add_executable(${name} ${F_SOURCES})
    target_include_directories(${name} PRIVATE ${SL_ROOT})
    target_link_libraries(${name} PRIVATE ${F_DEPS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    if(NOT F_SECONDS)
        set(F_SECONDS 10)
    endif()
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    set(args -max_total_time=${F_SECONDS} -rss_limit_mb=2048 -timeout=10 ${corpus})
    if(F_SEEDS)
        list(APPEND args ${F_SEEDS})
    endif()
    file(MAKE_DIRECTORY ${corpus})
    add_test(NAME ${name} COMMAND ${name} ${args})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
    # scripts/fuzz.sh finds the targets through this list.
    set_property(GLOBAL APPEND PROPERTY SL_FUZZ_TARGETS ${name})
    set_target_properties(${name} PROPERTIES SL_FUZZ_CORPUS "${corpus}" SL_FUZZ_SEEDS "${F_SEEDS}")
endfunction()

# The build-property tests (tests/build) check the finished programs, so they
# are declared after every folder has declared its targets.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL include ${CMAKE_SOURCE_DIR}/tests/build/build_tests.cmake)
