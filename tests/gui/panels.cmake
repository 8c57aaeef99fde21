# The operator panels on the offscreen platform: the numeric edit and the hold button, the
# manual controls, the heliostat panel and the alignment calibration dialog, each against a
# simulated instrument on a real pseudo-terminal where the device matters.
if(TARGET quorvel_operator AND TARGET quorvel_heliostat_panel)
    find_package(Qt6 REQUIRED COMPONENTS Test)
    quorvel_test(NAME gui_panels_tests LABELS gui
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/panels/PanelTestMain.cpp
            ${CMAKE_CURRENT_LIST_DIR}/panels/ControlsTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/panels/ManualPanelTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/panels/HeliostatPanelTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/panels/CalibrationDlgTest.cpp
        LIBS quorvel_operator quorvel_heliostat_panel quorvel_simulator Qt6::Test)
    target_include_directories(gui_panels_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/panels
        ${CMAKE_CURRENT_LIST_DIR}
        ${CMAKE_CURRENT_LIST_DIR}/../suntrack/trajectory)
    # The cases where the desktop's notation matters: typing, reading and showing numbers.
    quorvel_test_locales(NAME gui_panels_tests
        FILTER "Locales/NumberEditTyping.*:ManualPanel.*:HeliostatPanel.Site*:HeliostatPanel.ATemperature*"
        LOCALES de_DE.UTF-8 sv_SE.UTF-8 fi_FI.UTF-8)
endif()

# Not a test: renders the panels into docs/*.png.
if(TARGET quorvel_app)
    add_executable(panels_screenshots ${CMAKE_CURRENT_LIST_DIR}/panels/PanelScreenshots.cpp)
    quorvel_warnings(panels_screenshots)
    target_link_libraries(panels_screenshots PRIVATE quorvel_app)
endif()
