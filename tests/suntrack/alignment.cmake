# The alignment model, the direction helpers and the matrix dump.
quorvel_test(NAME suntrack_alignment_tests
    LABELS suntrack
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/alignment/AlignmentModelTest.cpp
    LIBS suntrack)
target_include_directories(suntrack_alignment_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/trajectory)
