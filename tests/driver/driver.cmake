# QuorvelDll: the device object, serial port, protocol and trajectory operations against a
# scripted instrument on a real pseudo-terminal; the connection settings record.
if(TARGET QuorvelDll)
    set(DRIVER_TEST_DIR ${CMAKE_CURRENT_LIST_DIR}/driver)
    quorvel_test(NAME driver_settings_tests LABELS driver
        SOURCES ${DRIVER_TEST_DIR}/SettingsTest.cpp
        LIBS QuorvelDll foundation)
    # Shared by the driver and integration tests: recording owner and boxes, the log reader,
    # and (POSIX only) the scripted pseudo-terminal peer.
    add_library(driver_test_support STATIC ${DRIVER_TEST_DIR}/DriverTestSupport.cpp)
    quorvel_warnings(driver_test_support)
    target_include_directories(driver_test_support PUBLIC ${DRIVER_TEST_DIR})
    target_link_libraries(driver_test_support PUBLIC QuorvelDll foundation GTest::gtest)
endif()
# The scripted instrument is a POSIX pseudo-terminal peer, and the port folder of COM<n> links
# the POSIX way of naming ports: not in the Windows build.
if(TARGET QuorvelDll AND NOT WIN32)
    target_sources(driver_test_support PRIVATE ${DRIVER_TEST_DIR}/PtyPeer.cpp)
    target_link_libraries(driver_test_support PUBLIC util)
    target_sources(driver_settings_tests PRIVATE ${DRIVER_TEST_DIR}/PortProbeTest_posix.cpp)

    quorvel_test(NAME driver_protocol_tests LABELS driver
        SOURCES ${DRIVER_TEST_DIR}/ProtocolTest.cpp
        LIBS driver_test_support)
    quorvel_test(NAME driver_serial_tests LABELS driver
        SOURCES ${DRIVER_TEST_DIR}/SerialPortTest.cpp
        LIBS driver_test_support)
    quorvel_test(NAME driver_trajectory_tests LABELS driver
        SOURCES ${DRIVER_TEST_DIR}/TrajectoryTest.cpp
        LIBS driver_test_support)
    # What each COM port is, on a fake /dev and sysfs tree; recording stable names.
    quorvel_test(NAME driver_port_catalog_tests LABELS driver
        SOURCES ${DRIVER_TEST_DIR}/PortCatalogTest.cpp
        LIBS QuorvelDll foundation)
    # The instrument detector against simulators and scripted peers.
    quorvel_test(NAME driver_port_detector_tests LABELS driver
        SOURCES ${DRIVER_TEST_DIR}/PortDetectorTest.cpp
        LIBS driver_test_support quorvel_simulator)
endif()
