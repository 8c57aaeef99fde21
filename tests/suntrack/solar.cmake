# Solar position: steps against published worked values, the full position, input checks and
# the rise/transit/set search.
quorvel_test(NAME suntrack_solar_test
    LABELS suntrack
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/solar/SolarStepsTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/solar/SolarPositionTest.cpp
    LIBS suntrack)

# quorvel-sun's position command (batch CSV, options, report).
if(TARGET quorvel_sun_cli)
    quorvel_test(NAME suntrack_sun_tool_test
        LABELS suntrack
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/solar/SunToolTest.cpp
        LIBS quorvel_sun_cli)
endif()
