# A manual page is installed compressed (gzip -9n: the same bytes every build),
# as man reads it and Debian wants it, into <prefix>/share/man/man<section>.
# Its .TH date is the release's (KESP_RELEASE_DATE), set here for every page
# at once, so that the pages of one release never disagree.
#
#   kesp_install_man_page(${CMAKE_CURRENT_SOURCE_DIR}/kesp_login.8)
set(KESP_MAN_PAGE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/KespManPageDate.cmake)

function(kesp_install_man_page source)
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE "^.*\\.([0-9])$" "\\1" section ${name})
  set(dated ${PROJECT_BINARY_DIR}/man/${name})
  set(compressed ${dated}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${source} -DOUTPUT=${dated} -DDATE=${KESP_RELEASE_DATE}
            -P ${KESP_MAN_PAGE_SCRIPT}
    COMMAND gzip -9 -n -f ${dated}
    DEPENDS ${source} ${KESP_MAN_PAGE_SCRIPT})
  add_custom_target(man_page_${name} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
