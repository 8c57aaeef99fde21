# The heliostat workflow without widgets: the unattended day-to-day cycle, what "Stop"
# cancels, sunrise and sunset buttons, auto run, the site field rules and the enabling table;
# the calibration capture, live poll, list line and fit quality.
quorvel_test(NAME suntrack_workflow_tests
    LABELS suntrack
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/workflow/HeliostatWorkflowTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/workflow/CalibrationWorkflowTest.cpp
    LIBS suntrack)
target_include_directories(suntrack_workflow_tests
    PRIVATE ${CMAKE_CURRENT_LIST_DIR}/workflow ${CMAKE_CURRENT_LIST_DIR}/trajectory)
quorvel_test_locales(NAME suntrack_workflow_tests
    LOCALES de_DE.UTF-8 sv_SE.UTF-8 fi_FI.UTF-8)
