# Trajectory generation: the window step, the spacing search, the time stamps across
# daylight-saving changes, the alignment step, and the sun at true instants.
quorvel_test(NAME suntrack_trajectory_tests
    LABELS suntrack
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/trajectory/SiteSunTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/trajectory/TrajectoryWindowTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/trajectory/TrajectoryGenerateTest.cpp
    LIBS suntrack)
target_include_directories(suntrack_trajectory_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/trajectory)

# quorvel-sun's trajectory command.
if(TARGET quorvel_sun_cli)
    quorvel_test(NAME suntrack_trajectory_tool_tests
        LABELS suntrack
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/trajectory/TrajectoryCommandTest.cpp
        LIBS quorvel_sun_cli)
    target_include_directories(suntrack_trajectory_tool_tests
        PRIVATE ${CMAKE_CURRENT_LIST_DIR}/trajectory)
endif()
