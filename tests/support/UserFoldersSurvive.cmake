# Runs a test program by hand, as a developer would, with XDG_CONFIG_HOME, XDG_STATE_HOME,
# QUORVEL_PORT_DIR and HOME pointing at a pretend user's folders, and fails when anything of
# that user's has been changed or removed afterwards.
#   cmake -DPROGRAM=<test program> -DFILTER=<gtest filter> -DUSER_DIR=<scratch> -P this file
foreach(var PROGRAM FILTER USER_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "UserFoldersSurvive.cmake needs -D${var}=...")
    endif()
endforeach()

set(app "Pelvarin/Quorvel Control Software")
set(files
    "config/${app}/settings.sqlite"
    "state/${app}/logs/2026-01-01_00-00-00_SystemLog.log"
    "ports/COM7"
    "home/.config/${app}/settings.sqlite")
file(REMOVE_RECURSE "${USER_DIR}")
foreach(f ${files})
    file(WRITE "${USER_DIR}/${f}" "the user's own ${f}\n")
endforeach()

execute_process(
    COMMAND ${CMAKE_COMMAND} -E env
        "XDG_CONFIG_HOME=${USER_DIR}/config" "XDG_STATE_HOME=${USER_DIR}/state"
        "QUORVEL_PORT_DIR=${USER_DIR}/ports" "HOME=${USER_DIR}/home"
        "${PROGRAM}" "--gtest_filter=${FILTER}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} failed (${result}):\n${output}")
endif()

foreach(f ${files})
    if(NOT EXISTS "${USER_DIR}/${f}")
        message(FATAL_ERROR "the test program removed the user's ${f}")
    endif()
    file(READ "${USER_DIR}/${f}" content)
    if(NOT content STREQUAL "the user's own ${f}\n")
        message(FATAL_ERROR "the test program changed the user's ${f}")
    endif()
endforeach()
file(GLOB_RECURSE left RELATIVE "${USER_DIR}" "${USER_DIR}/*")
list(LENGTH left count)
list(LENGTH files expected)
if(NOT count EQUAL expected)
    message(FATAL_ERROR "the test program wrote into the user's folders: ${left}")
endif()
file(REMOVE_RECURSE "${USER_DIR}")
