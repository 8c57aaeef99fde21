# The application settings record (app/core), stored in the sandboxed per-user hive.
if(TARGET appcore)
    quorvel_test(NAME appcore_settings_tests
        LABELS suntrack
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/appsettings/QuorvelAppSettingsTest.cpp
        LIBS appcore)
endif()
