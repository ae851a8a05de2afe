# Installs the build into a staging directory (DESTDIR) as `cmake --install
# --prefix /usr` does (what Debian's tools pass) and checks that the appliance's
# files land at their fixed paths, the tool where the console's warning names
# it, and the files that follow the FHS below the prefix.
#   -DBUILD_DIR=<build tree> -DSTAGE=<scratch dir>
#   -DMANDIR= -DSBINDIR= -DUNITDIR= -DCOMPLETIONDIR= (the build's install dirs)

set(prefix /usr)
file(REMOVE_RECURSE "${STAGE}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${STAGE}"
          ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix ${prefix}
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
set(tool /opt/tolvex/share/kesp/kesp_config_net)
foreach(installed
    ${tool}
    /opt/tolvex/bin/kesp_login
    /opt/tolvex/share/kesp/kesp_login_textgen
    /opt/tolvex/share/kesp/kesp_set_timezone
    /opt/tolvex/lib/locale/de/LC_MESSAGES/kesp_set_timezone.mo
    /opt/tolvex/share/kesp/kesp.xml
    /opt/tolvex/share/kesp/kesp_set_hostname
    ${prefix}/${MANDIR}/man8/kesp_config_net.8.gz
    ${prefix}/${MANDIR}/man8/kesp_login.8.gz
    ${prefix}/${UNITDIR}/kesp-login@.service
    ${prefix}/${UNITDIR}/kesp-recover.service
    ${prefix}/${COMPLETIONDIR}/kesp_config_net
    ${prefix}/share/ansible/plugins/modules/kesp_network.py
    /opt/tolvex/lib/locale/de/LC_MESSAGES/kesp_config_net.mo)
  if(NOT EXISTS "${STAGE}${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
file(READ_SYMLINK "${STAGE}${prefix}/${SBINDIR}/kesp_config_net" link)
if(NOT link STREQUAL tool)
  message(FATAL_ERROR "${prefix}/${SBINDIR}/kesp_config_net points at '${link}', not ${tool}")
endif()
# Nothing of the appliance's tree below the prefix, nothing of the prefix twice.
foreach(misplaced ${prefix}/opt ${prefix}${prefix} opt/tolvex/usr)
  if(EXISTS "${STAGE}/${misplaced}")
    message(FATAL_ERROR "installed below ${misplaced}")
  endif()
endforeach()
execute_process(COMMAND "${STAGE}${tool}" --help RESULT_VARIABLE status OUTPUT_VARIABLE help)
if(NOT status EQUAL 0 OR NOT help MATCHES "^usage: kesp_config_net")
  message(FATAL_ERROR "the installed program does not run: ${status}")
endif()
file(REMOVE_RECURSE "${STAGE}")
