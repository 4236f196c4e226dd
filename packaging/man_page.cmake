# Writes a gzipped manual page from a program's --help text:
#   cmake -DPROGRAM=P -DNAME=N -DSECTION=S -DSUMMARY=TEXT -DOUTPUT=F.gz -P man_page.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()
# Backslashes and lines that start with a control character are taken literally.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" title)
string(REPLACE "-" "\\-" name "${NAME}")
get_filename_component(page "${OUTPUT}" NAME_WLE)
set(text ".TH ${title} ${SECTION} \"\" \"Quellmark 1.0\" \"Quellmark family filter\"
.SH NAME
${name} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
")
get_filename_component(folder "${OUTPUT}" DIRECTORY)
file(WRITE "${folder}/${page}" "${text}")
execute_process(COMMAND gzip -9nf "${folder}/${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed")
endif()
