# Solar position: steps against published worked values, the full position, input checks and
# the rise/transit/set search.
quorvel_test(NAME suntrack_solar_test
    LABELS suntrack
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/solar/SolarStepsTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/solar/SolarPositionTest.cpp
    LIBS suntrack)
