# Platform layer: clocks and calendar, events, the window-message layer, message boxes,
# folders, the debugger-output switch and text conversion.
quorvel_test(NAME foundation_platform_tests
    LABELS foundation
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/platform/ClockTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/platform/ZoneRuleTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/platform/EventTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/platform/WndTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/platform/MessageBoxTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/platform/TextConvertTest.cpp
    LIBS foundation)
# The folder and device rules checked here are the POSIX ones; the C library that the zone
# rules are compared with is the POSIX one.
if(NOT WIN32)
    target_sources(foundation_platform_tests PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/platform/PathsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/platform/ZoneRuleLibcTest.cpp)
endif()
