# A manual page is installed compressed (gzip -9n: the same bytes every build),
# as man reads it and Debian wants it, into <prefix>/share/man/man<section>.
#
#   kesp_install_man_page(${CMAKE_CURRENT_SOURCE_DIR}/kesp_login.8)
function(kesp_install_man_page source)
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE "^.*\\.([0-9])$" "\\1" section ${name})
  set(compressed ${PROJECT_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND gzip -9 -n -c ${source} > ${compressed}
    DEPENDS ${source})
  add_custom_target(man_page_${name} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
