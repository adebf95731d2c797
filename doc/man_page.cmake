# Turns the scdoc source of a man page into roff: cmake -DSCDOC=... -DINPUT=x.scd -DOUTPUT=x.1
# -P man_page.cmake. scdoc opens a paragraph (.P) after every heading and before every list
# end, which mandoc -T lint reports as empty paragraphs; those are dropped here.
execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_VARIABLE roff RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "scdoc failed on ${INPUT}")
endif()
set(before "")
while(NOT before STREQUAL roff)
  set(before "${roff}")
  # A paragraph that ends before it starts: .P followed by a heading, another .P or a list end.
  string(REGEX REPLACE "\n\\.P\n(\\.(SH|SS|P|RE)[ \n])" "\n\\1" roff "${roff}")
  # A paragraph right after a heading or the title, which start one themselves.
  string(REGEX REPLACE "(\n\\.(SH|SS|TH) [^\n]*)\n\\.P\n" "\\1\n" roff "${roff}")
  # The paragraph scdoc opens before the first heading or at the very end.
  string(REGEX REPLACE "\n\\.P\n(\\.SH)" "\n\\1" roff "${roff}")
  string(REGEX REPLACE "\n\\.P\n*$" "\n" roff "${roff}")
endwhile()
file(WRITE ${OUTPUT} "${roff}")
