# Logging: line format, severity ceiling, kept lines, the shared file and the fall-back.
quorvel_test(NAME foundation_logging_tests
    LABELS foundation
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/logging/LoggerTest.cpp
    LIBS foundation)
