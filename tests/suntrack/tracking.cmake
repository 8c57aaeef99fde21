# The tracking view's decisions without widgets: the tracking error, the schedule line, the
# clock and zone checks and the daily tracking record.
quorvel_test(NAME suntrack_tracking_tests
    LABELS suntrack
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/tracking/TrackingErrorTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tracking/ScheduleTextTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tracking/TrackingRecordTest.cpp
    LIBS suntrack)
target_include_directories(suntrack_tracking_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/trajectory)
