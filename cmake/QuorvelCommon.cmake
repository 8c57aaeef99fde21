# Shared build settings: warnings on every target of ours, and a helper that registers a
# gtest executable with ctest under a layer label.

function(quorvel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()

# quorvel_test(NAME name LABELS label... SOURCES src... LIBS lib... [TIMEOUT s])
# Every test program makes its own private XDG folders, port directory and home before its
# first test (quorvel_test_folders, tests/support), so it never touches the user's real
# settings, logs or ports, under ctest or run by hand.
function(quorvel_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    quorvel_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE quorvel_test_folders ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# Runs a test binary made by quorvel_test once more under each of LOCALES (LC_ALL) (each run
# makes private folders of its own, as every test program does); FILTER (a gtest filter) keeps the extra runs to the cases
# where the locale matters, so that they add little time.
function(quorvel_test_locales)
    cmake_parse_arguments(T "" "NAME;FILTER" "LOCALES" ${ARGN})
    get_test_property(${T_NAME} ENVIRONMENT environment)
    get_test_property(${T_NAME} LABELS labels)
    get_test_property(${T_NAME} TIMEOUT timeout)
    set(arguments)
    if(T_FILTER)
        set(arguments --gtest_filter=${T_FILTER})
    endif()
    foreach(locale ${T_LOCALES})
        set(name ${T_NAME}_${locale})
        add_test(NAME ${name} COMMAND ${T_NAME} ${arguments})
        set_tests_properties(${name} PROPERTIES
            LABELS "${labels};locale"
            TIMEOUT ${timeout}
            ENVIRONMENT "${environment};LC_ALL=${locale}")
    endforeach()
endfunction()
