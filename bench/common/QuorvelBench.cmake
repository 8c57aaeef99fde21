# quorvel_benchmark(NAME <target> SOURCES <files> LIBS <libs> LABELS <labels>
#                   MIN_TIME <seconds> [ENVIRONMENT <VAR=value>...])
# A Google Benchmark program linked with the limit reporter, and its ctest smoke run: each
# benchmark runs for MIN_TIME seconds, the figures are printed against their limits and the
# test never fails on an absolute figure. Included by each benchmark folder that uses it, so
# the folders' order in the build does not matter.
include_guard(GLOBAL)

function(quorvel_benchmark)
    cmake_parse_arguments(QB "" "NAME;MIN_TIME" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    # Imported targets belong to the folder that finds them: find it in the caller's folder.
    find_package(benchmark REQUIRED)
    add_executable(${QB_NAME} ${QB_SOURCES})
    quorvel_warnings(${QB_NAME})
    target_link_libraries(${QB_NAME} PRIVATE ${QB_LIBS} benchmark::benchmark quorvel_bench_common)
    add_test(NAME ${QB_NAME} COMMAND ${QB_NAME} --benchmark_min_time=${QB_MIN_TIME})
    set_tests_properties(${QB_NAME} PROPERTIES LABELS "${QB_LABELS}" TIMEOUT 120)
    if(QB_ENVIRONMENT)
        set_tests_properties(${QB_NAME} PROPERTIES ENVIRONMENT "${QB_ENVIRONMENT}")
    endif()
endfunction()
