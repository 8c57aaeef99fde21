# QuorvelDll against the simulated instrument on a real pseudo-terminal (in-process), and the
# quorvelctl program against the quorvel-sim program.
if(TARGET QuorvelDll AND TARGET quorvel_simulator AND TARGET driver_test_support AND NOT WIN32)
    set(DRIVER_IT_DIR ${CMAKE_CURRENT_LIST_DIR}/driver)
    quorvel_test(NAME driver_simulator_integration LABELS integration
        SOURCES ${DRIVER_IT_DIR}/DriverSimulatorTest.cpp
        LIBS driver_test_support quorvel_simulator)
    quorvel_test(NAME driver_trajectory_simulator_integration LABELS integration
        SOURCES ${DRIVER_IT_DIR}/TrajectorySimulatorTest.cpp
        LIBS driver_test_support quorvel_simulator)
    if(TARGET quorvelctl AND TARGET quorvel-sim)
        quorvel_test(NAME quorvelctl_integration LABELS integration
            SOURCES ${DRIVER_IT_DIR}/QuorvelctlTest.cpp
            LIBS foundation)
        target_compile_definitions(quorvelctl_integration PRIVATE
            QUORVELCTL_PROGRAM="$<TARGET_FILE:quorvelctl>"
            QUORVEL_SIM_PROGRAM="$<TARGET_FILE:quorvel-sim>")
        add_dependencies(quorvelctl_integration quorvelctl quorvel-sim)
        quorvel_test(NAME quorvelctl_track_integration LABELS integration
            SOURCES ${DRIVER_IT_DIR}/QuorvelctlTrackTest.cpp
            LIBS foundation)
        target_compile_definitions(quorvelctl_track_integration PRIVATE
            QUORVELCTL_PROGRAM="$<TARGET_FILE:quorvelctl>"
            QUORVEL_SIM_PROGRAM="$<TARGET_FILE:quorvel-sim>")
        add_dependencies(quorvelctl_track_integration quorvelctl quorvel-sim)
        if(TARGET quorvel-sun)
            target_compile_definitions(quorvelctl_integration PRIVATE
                QUORVEL_SUN_PROGRAM="$<TARGET_FILE:quorvel-sun>")
            add_dependencies(quorvelctl_integration quorvel-sun)
        endif()
    endif()
endif()

# The Windows build: QuorvelDll's serial code against quorvel-sim processes on the Linux side,
# reached through Wine's COM-port mapping (scripts/test-windows.sh starts them; the cases skip
# without them).
if(TARGET QuorvelDll AND TARGET driver_test_support AND WIN32)
    quorvel_test(NAME driver_com_peer_integration LABELS integration
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/driver/DriverComPeerTest.cpp
        LIBS driver_test_support)
endif()
