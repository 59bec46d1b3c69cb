# Writes the man page OUTPUT of the program NAME from its help text: the
# output of PROGRAM --help, or the file TEXT for a program without --help.
# The text's first paragraph (its "usage:" lines) is the synopsis, the rest
# the description, kept as laid out; a line of letters and blanks ending in a
# colon ("options:") is a subheading.
#   cmake -DNAME=telva-cif -DSUMMARY="..." -DVERSION=0.3.0 -DPROGRAM=path
#         -DOUTPUT=telva-cif.1 -P man_page.cmake
if(DEFINED TEXT AND NOT TEXT STREQUAL "")
  file(READ ${TEXT} help)
else()
  # argparse wraps its help to the terminal's width: a fixed width here.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env COLUMNS=80 ${PROGRAM} --help
                  OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed (${status}): no man page for ${NAME}")
  endif()
endif()

# roff: a backslash is \e, a hyphen \-, and a line may not begin with a
# control character.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(STRIP "${help}" help)

string(FIND "${help}" "\n\n" split)
if(split EQUAL -1)
  set(synopsis "${help}")
  set(body "")
else()
  string(SUBSTRING "${help}" 0 ${split} synopsis)
  math(EXPR rest "${split} + 2")
  string(SUBSTRING "${help}" ${rest} -1 body)
endif()
string(REGEX REPLACE "(^|\n)usage: " "\\1" synopsis "${synopsis}")
# Continuation lines of the usage are indented by the width of "usage: ".
string(REPLACE "\n       " "\n" synopsis "${synopsis}")
string(REGEX REPLACE "(^|\n)([A-Za-z][A-Za-z ]*:)(\n|$)" "\\1.fi\n.SS \"\\2\"\n.nf\\3" body
       "${body}")

string(TOUPPER "${NAME}" title)
string(REPLACE "-" "\\-" name "${NAME}")
file(WRITE ${OUTPUT}
     ".TH ${title} 1 \"\" \"telva ${VERSION}\" \"User Commands\"\n"
     ".SH NAME\n${name} \\- ${SUMMARY}\n"
     ".SH SYNOPSIS\n.nf\n${synopsis}\n.fi\n"
     ".SH DESCRIPTION\n.nf\n${body}\n.fi\n"
     ".SH VERSION\n${name} ${VERSION}\n")
