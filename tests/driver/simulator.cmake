# The instrument simulator: its model and option parsing without I/O, its behaviour on a
# real pseudo-terminal through a small raw termios client, and the quorvel-sim program.
set(SIM_TEST_DIR ${CMAKE_CURRENT_LIST_DIR}/simulator)

quorvel_test(NAME simulator_model_test LABELS driver
    SOURCES ${SIM_TEST_DIR}/InstrumentModelTest.cpp ${SIM_TEST_DIR}/FaultRuleTest.cpp
            ${SIM_TEST_DIR}/SimulatorOptionsTest.cpp
    LIBS quorvel_simulator)

# The simulator on a pseudo-terminal, through a POSIX raw client: not in the Windows build.
if(NOT WIN32)
quorvel_test(NAME simulator_pty_test LABELS driver
    SOURCES ${SIM_TEST_DIR}/SimulatorPtyTest.cpp ${SIM_TEST_DIR}/RawClient.cpp
    LIBS quorvel_simulator)

quorvel_test(NAME simulator_cli_test LABELS driver
    SOURCES ${SIM_TEST_DIR}/QuorvelSimProgramTest.cpp ${SIM_TEST_DIR}/RawClient.cpp
    LIBS quorvel_simulator)
target_compile_definitions(simulator_cli_test PRIVATE
    QUORVEL_SIM_PROGRAM="$<TARGET_FILE:quorvel-sim>")
add_dependencies(simulator_cli_test quorvel-sim)
endif()
