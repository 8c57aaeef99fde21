# quorvelctl's trajectory file reader and command line.
if(TARGET quorvelctl_core)
    quorvel_test(NAME quorvelctl_file_tests LABELS driver
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/quorvelctl/TrajectoryFileTest.cpp
        LIBS quorvelctl_core)
endif()
if(TARGET quorvelctl_core)
    quorvel_test(NAME quorvelctl_track_options_tests LABELS driver
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/quorvelctl/TrackOptionsTest.cpp
        LIBS quorvelctl_core)
endif()

# Mutated registry text and trajectory files with a fixed seed; the sanitizer build runs it.
if(TARGET quorvelctl_core)
    quorvel_test(NAME input_fuzz_tests LABELS driver
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/quorvelctl/InputFuzzTest.cpp
        LIBS quorvelctl_core foundation)
endif()
