# Renders the manual page into README.TXT for Windows users: plain ASCII without overstriking,
# lines left-aligned and never hyphenated, CR LF line ends so every Windows editor shows the lines.
# Any groff warning fails the build, so a fault in the page never reaches the archive.
# Usage: cmake -DGROFF=groff -DMANUAL=page.1 -DOUTPUT=README.TXT -P render_readme.cmake
foreach(var GROFF MANUAL OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "render_readme.cmake needs -D${var}=...")
  endif()
endforeach()

file(READ ${MANUAL} page)
set(source ${OUTPUT}.roff)
file(WRITE ${source} ".ad l\n${page}")
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou -rHY=0 -ww ${source}
  OUTPUT_VARIABLE text ERROR_VARIABLE warnings RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff could not render ${MANUAL} cleanly (exit ${result}):\n${warnings}")
endif()

# groff pads the page with runs of blank lines below the header and above the footer.
string(REGEX REPLACE "\n\n\n+" "\n\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
