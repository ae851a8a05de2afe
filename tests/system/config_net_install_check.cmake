# Installs the build into a staging directory (DESTDIR) as `cmake --install`
# does and checks that the network tool and its manual page land where the
# console's warning and `man` look for them, below the build's prefix.
#   -DBUILD_DIR=<build tree> -DPREFIX=<its CMAKE_INSTALL_PREFIX> -DSTAGE=<scratch dir>

file(REMOVE_RECURSE "${STAGE}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${STAGE}" ${CMAKE_COMMAND} --install "${BUILD_DIR}"
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(installed opt/tolvex/share/kesp/kesp_config_net usr/share/man/man8/kesp_config_net.8
    opt/tolvex/lib/locale/de/LC_MESSAGES/kesp_config_net.mo)
  set(path "${STAGE}/${PREFIX}/${installed}")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
execute_process(COMMAND "${STAGE}/${PREFIX}/opt/tolvex/share/kesp/kesp_config_net" --help
  RESULT_VARIABLE status OUTPUT_VARIABLE help)
if(NOT status EQUAL 0 OR NOT help MATCHES "^usage: kesp_config_net")
  message(FATAL_ERROR "the installed program does not run: ${status}")
endif()
file(REMOVE_RECURSE "${STAGE}")
