# GUI tests: the program's real windows on the offscreen platform, driven with QTest.
if(TARGET quorvel_app)
    find_package(Qt6 REQUIRED COMPONENTS Test)
    add_library(gui_test_support STATIC gui/GuiTestSupport.cpp)
    quorvel_warnings(gui_test_support)
    target_include_directories(gui_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/gui
        ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(gui_test_support PUBLIC quorvel_app Qt6::Test GTest::gtest)

    quorvel_test(NAME gui_dialogs_test LABELS gui
        SOURCES gui/CustomDialogTest.cpp gui/StatusDlgTest.cpp gui/SettingsDialogsTest.cpp
                gui/AutoDetectTest.cpp gui/MessagePumpTest.cpp
        LIBS gui_test_support)
    quorvel_test_locales(NAME gui_dialogs_test FILTER "StatusPanel.*"
        LOCALES de_DE.UTF-8 sv_SE.UTF-8 fi_FI.UTF-8)
    quorvel_test(NAME gui_program_test LABELS gui TIMEOUT 300
        SOURCES gui/ProgramTest.cpp gui/FrameCommandsTest.cpp gui/ProcessTest.cpp
                gui/TrackingViewTest.cpp
                gui/UnattendedRunTest.cpp
        LIBS gui_test_support)
    target_compile_definitions(gui_program_test PRIVATE QUORVEL_BINARY="$<TARGET_FILE:quorvel>")
    add_dependencies(gui_program_test quorvel)

    # Not a test: renders the main window and the dialogs into docs/*.png.
    add_executable(gui_screenshots gui/Screenshots.cpp)
    quorvel_warnings(gui_screenshots)
    target_link_libraries(gui_screenshots PRIVATE gui_test_support)
endif()
