# Copies the manual page SOURCE to OUTPUT with DATE as the date of its .TH line.
#   cmake -DSOURCE=kesp_login.8 -DOUTPUT=out/kesp_login.8 -DDATE=2026-12-07 -P KespManPageDate.cmake
file(READ ${SOURCE} page)
string(REGEX MATCH "(^|\n)\\.TH [^ \n]+ [0-9]+ \"[^\"\n]*\"" heading "${page}")
if(NOT heading)
  message(FATAL_ERROR "${SOURCE}: no .TH line with a quoted date")
endif()
string(REGEX REPLACE "\"[^\"]*\"$" "\"${DATE}\"" dated_heading "${heading}")
string(REPLACE "${heading}" "${dated_heading}" page "${page}")
get_filename_component(directory ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${directory})
file(WRITE ${OUTPUT} "${page}")
