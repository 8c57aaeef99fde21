# The whole workflow through the program's own windows against the simulated instrument on a
# real pseudo-terminal: manual moves, jog and home, three unattended heliostat days, and an
# alignment calibration. The program's clock is a manual one the test moves, and the
# instrument runs its trajectories 10 000 times faster than real time.
if(QUORVEL_BUILD_GUI AND TARGET quorvel_operator)
    find_package(Qt6 REQUIRED COMPONENTS Test)
    quorvel_test(NAME integration_endtoend_test LABELS integration TIMEOUT 180
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/endtoend/EndToEndTest.cpp
        LIBS quorvel_app quorvel_simulator Qt6::Test)
endif()
