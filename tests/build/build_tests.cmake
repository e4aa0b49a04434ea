# Build-property tests: the Wine session every Windows test shares, the locale
# and fonts the tests run with, and the hardening of the built programs.
# Included at the end of the top directory (see cmake/SongLink.cmake), when
# every program target is known.

# Fuzz targets and their corpora, for scripts/fuzz.sh.
get_property(fuzzTargets GLOBAL PROPERTY SL_FUZZ_TARGETS)
set(fuzzLines "")
foreach(target IN LISTS fuzzTargets)
    get_target_property(seeds ${target} SL_FUZZ_SEEDS)
    get_target_property(corpus ${target} SL_FUZZ_CORPUS)
    if(NOT seeds)
        set(seeds "")
    endif()
    string(APPEND fuzzLines "${target}\t$<TARGET_FILE:${target}>\t${corpus}\t${seeds}\n")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${fuzzLines}")

if(NOT SL_WINDOWS)
    return()
endif()

# The Windows test bundle (scripts/package-tests.sh): test-bundle.txt names
# every file it ships besides the programs and libraries under tests/, and
# test-programs.txt, read by run-tests.cmd, the programs it runs, by their
# paths relative to the build directory, as in the bundle.
get_property(bundlePrograms GLOBAL PROPERTY SL_BUNDLE_PROGRAMS)
get_property(bundleFiles GLOBAL PROPERTY SL_BUNDLE_FILES)
set(programLines "")
foreach(program IN LISTS bundlePrograms)
    get_target_property(programDir ${program} BINARY_DIR)
    file(RELATIVE_PATH relative ${CMAKE_BINARY_DIR} ${programDir}/${program}.exe)
    string(REPLACE "/" "\\" relative "${relative}")
    string(APPEND programLines "${relative}\n")
    list(APPEND bundleFiles $<TARGET_FILE:${program}>)
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/test-programs.txt CONTENT "${programLines}" NEWLINE_STYLE CRLF)
list(JOIN bundleFiles "\n" bundleLines)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/test-bundle.txt CONTENT "${bundleLines}\n")

# One wineserver kept warm for the whole run (see scripts/wine-session.sh).
add_test(NAME wine_session_start COMMAND bash ${SL_ROOT}/scripts/wine-session.sh start)
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session LABELS build TIMEOUT 60)
add_test(NAME wine_session_stop COMMAND bash ${SL_ROOT}/scripts/wine-session.sh stop)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session LABELS build TIMEOUT 60)

# Copies of the prefix at other display DPIs, each with a warm wineserver
# (see scripts/wine-dpi.sh); made once per machine, in seconds.
set(SL_TEST_DPIS 120 144 192)
add_test(NAME wine_dpi_start COMMAND bash ${SL_ROOT}/scripts/wine-dpi.sh start ${SL_TEST_DPIS})
set_tests_properties(wine_dpi_start PROPERTIES FIXTURES_SETUP wine_dpi LABELS build TIMEOUT 300)
add_test(NAME wine_dpi_stop COMMAND bash ${SL_ROOT}/scripts/wine-dpi.sh stop ${SL_TEST_DPIS})
set_tests_properties(wine_dpi_stop PROPERTIES FIXTURES_CLEANUP wine_dpi LABELS build TIMEOUT 60)

# The benchmark table reads only the benchmarks' BENCH lines.
add_test(NAME build_bench_table COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_bench_table.sh ${SL_ROOT}/scripts)
set_tests_properties(build_bench_table PROPERTIES LABELS build TIMEOUT 60)

add_executable(sl_acp_probe ${CMAKE_CURRENT_LIST_DIR}/acp_probe.c)
target_link_libraries(sl_acp_probe PRIVATE gdi32)

# Tests read and show GBK texts: the default session must be code page 936
# with a CJK font; SL_LANG switches a test to a Western locale.
add_test(NAME build_wine_locale_chinese COMMAND sl_acp_probe)
set_tests_properties(build_wine_locale_chinese PROPERTIES
    PASS_REGULAR_EXPRESSION "acp=936 gbk=4e2d glyphs=yes" FIXTURES_REQUIRED wine_session LABELS build TIMEOUT 60)
add_test(NAME build_wine_locale_english COMMAND sl_acp_probe)
set_tests_properties(build_wine_locale_english PROPERTIES
    ENVIRONMENT "SL_LANG=en_US.UTF-8"
    PASS_REGULAR_EXPRESSION "acp=1252 gbk=4e2d" FIXTURES_REQUIRED wine_session LABELS build TIMEOUT 60)

add_test(NAME build_wine_exit_codes COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_exit_codes.sh
                                           ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:sl_acp_probe>)
set_tests_properties(build_wine_exit_codes PROPERTIES FIXTURES_REQUIRED wine_session LABELS build TIMEOUT 60)

set(hardened $<TARGET_FILE:sl_acp_probe>)
foreach(program songlink sl_spine_demo)
    if(TARGET ${program})
        list(APPEND hardened $<TARGET_FILE:${program}>)
    endif()
endforeach()
find_program(SL_OBJDUMP NAMES i686-w64-mingw32-objdump REQUIRED)
find_program(SL_NM NAMES i686-w64-mingw32-nm REQUIRED)
add_test(NAME build_hardening COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_hardening.sh
                                      ${SL_OBJDUMP} ${SL_NM} ${hardened})
set_tests_properties(build_hardening PROPERTIES LABELS build TIMEOUT 60)

# The scripts a newcomer and a packager use, run as they would run them; they
# drive windows, so they run with the other GUI tests, one at a time.
if(TARGET songlink AND TARGET drive_songlink)
    add_test(NAME build_run_standin
             COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_run_standin.sh ${CMAKE_BINARY_DIR}
                     $<TARGET_FILE:drive_songlink> ${CMAKE_BINARY_DIR}/standin)
    set_tests_properties(build_run_standin PROPERTIES
        LABELS "build;gui" TIMEOUT 1800 FIXTURES_REQUIRED wine_session SKIP_RETURN_CODE 77)
    add_test(NAME build_package
             COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_package.sh ${CMAKE_BINARY_DIR} ${SL_OBJDUMP} ${SL_NM}
                     $<TARGET_FILE:drive_songlink> ${CMAKE_BINARY_DIR}/package-check)
    # Both package scripts build this tree first: one ninja at a time.
    set_tests_properties(build_package PROPERTIES LABELS "build;gui" TIMEOUT 900 FIXTURES_REQUIRED wine_session
                                                  RESOURCE_LOCK sl_build_tree)
endif()

# The Windows test bundle: what it holds, no build-machine path in it, and a
# few of its programs through run-tests.cmd in a bare Wine session with the
# trees out of reach (the full run: scripts/test-bundle.sh).
add_test(NAME build_test_bundle
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_test_bundle.sh ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/bundle-check)
set_tests_properties(build_test_bundle PROPERTIES LABELS build TIMEOUT 600 FIXTURES_REQUIRED wine_session
                                                   RESOURCE_LOCK sl_build_tree)

# The whole bundle under configurations Windows users have and the runs above
# do not: 64-bit Windows (the 32-bit programs under WOW64) and other user
# locales: German's decimal comma, Japanese code page 932, Turkish's dotted
# and dotless i (tests/build/check_bundle_config.sh). Each entry is
# "<win32|win64> <locale from scripts/setup.sh>". The 64-bit run has a Wine
# session and an X display of its own and runs beside the other non-GUI tests
# (none of which calls the end-to-end program's fixed loopback port, which
# the bundle's end-to-end test serves); runs in the 32-bit prefix share its
# session and run with the GUI tests, one at a time. Three to five minutes
# each.
set(SL_BUNDLE_CONFIGS "win64 de_DE.UTF-8" "win32 ja_JP.UTF-8" "win32 tr_TR.UTF-8")
set(bundleZips ${CMAKE_BINARY_DIR}/bundle-configs)
add_test(NAME build_bundle_configs_zip
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_bundle_config.sh package ${CMAKE_BINARY_DIR} ${bundleZips})
set_tests_properties(build_bundle_configs_zip PROPERTIES FIXTURES_SETUP bundle_configs_zip LABELS build TIMEOUT 900
                                                          RESOURCE_LOCK sl_build_tree)
foreach(config IN LISTS SL_BUNDLE_CONFIGS)
    separate_arguments(words UNIX_COMMAND "${config}")
    list(GET words 0 arch)
    list(GET words 1 locale)
    string(REGEX REPLACE "\\..*" "" language "${locale}")
    set(name build_bundle_${arch}_${language})
    if(arch STREQUAL "win64")
        add_test(NAME ${name} COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_bundle_config.sh run ${bundleZips} ${words})
        set_tests_properties(${name} PROPERTIES LABELS build FIXTURES_REQUIRED bundle_configs_zip)
    else()
        add_test(NAME ${name}
                 COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_bundle_config.sh run ${bundleZips} ${words} shared)
        set_tests_properties(${name} PROPERTIES LABELS "build;gui" FIXTURES_REQUIRED "bundle_configs_zip;wine_session")
    endif()
    # The bundle's end-to-end test serves one fixed port: one run at a time.
    set_tests_properties(${name} PROPERTIES TIMEOUT 1800 RESOURCE_LOCK sl_e2e_port)
endforeach()

# The CI workflow files pass the workflow linter (installed by scripts/setup.sh).
file(GLOB workflows ${SL_ROOT}/.github/workflows/*.yml)
add_test(NAME build_workflow_lint COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_workflow.sh ${workflows})
set_tests_properties(build_workflow_lint PROPERTIES LABELS build TIMEOUT 120)
