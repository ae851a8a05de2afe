# Message catalogues of one gettext domain: every PO_DIR/<lang>.po becomes
# <build dir>/locale/<lang>/LC_MESSAGES/<domain>.mo, laid out as under the
# appliance's /opt/tolvex/lib/locale, where it is also installed. TARGET is
# built after its catalogues and gets the build-tree locale directory in its
# KESP_LOCALE_DIR property (tests and the demo find the catalogues there).
#
#   kesp_message_catalogues(TARGET kesp_login DOMAIN kesp_login PO_DIR ${dir}/po)
function(kesp_message_catalogues)
  cmake_parse_arguments(ARG "" "TARGET;DOMAIN;PO_DIR" "" ${ARGN})
  find_package(Gettext REQUIRED)
  set(locale_dir ${CMAKE_CURRENT_BINARY_DIR}/locale)
  file(GLOB po_files CONFIGURE_DEPENDS ${ARG_PO_DIR}/*.po)
  set(mo_files)
  foreach(po_file ${po_files})
    get_filename_component(lang ${po_file} NAME_WE)
    set(mo_file ${locale_dir}/${lang}/LC_MESSAGES/${ARG_DOMAIN}.mo)
    add_custom_command(OUTPUT ${mo_file}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${locale_dir}/${lang}/LC_MESSAGES
      COMMAND ${GETTEXT_MSGFMT_EXECUTABLE} --check -o ${mo_file} ${po_file}
      DEPENDS ${po_file}
      VERBATIM)
    list(APPEND mo_files ${mo_file})
    install(FILES ${mo_file} DESTINATION ${KESP_APPLIANCE_DIR}/lib/locale/${lang}/LC_MESSAGES)
  endforeach()
  add_custom_target(${ARG_DOMAIN}_catalogues DEPENDS ${mo_files})
  add_dependencies(${ARG_TARGET} ${ARG_DOMAIN}_catalogues)
  set_target_properties(${ARG_TARGET} PROPERTIES KESP_LOCALE_DIR ${locale_dir})
endfunction()
