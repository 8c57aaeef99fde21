# Settings storage: the record framework against an in-memory storage, the per-user hive
# (SQLite) through the registry storage, and the registry text export and import.
# The tests open the hive file directly to lock it or to plant a foreign database, so they
# build where the hive is SQLite (not on Windows, where it is the registry).
if(NOT WIN32)
find_package(SQLite3 REQUIRED)
quorvel_test(NAME foundation_settings_tests
    LABELS foundation
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsProtocolTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settings/RegistryStorageTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settings/RegistryTextTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settings/DamagedHiveTest.cpp
    LIBS foundation SQLite::SQLite3)
endif()
# The hive as each platform has it (SQLite here, the registry on Windows): its private place
# in a test program and saves that fail.
quorvel_test(NAME foundation_hive_tests
    LABELS foundation
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings/HiveSaveTest.cpp
    LIBS foundation)
