# Writes the man page of a window program from its --help, which it answers
# without a display. Run by the build:
#   cmake -DPROGRAM=path/to/Kalibron-01 -DNAME=Kalibron-01 -DVERSION=x.y.z
#         "-DWHATIS=short description" -DOUTPUT=Kalibron-01.1
#         -DSEE_ALSO=kalibron,... -P window_man_page.cmake
include(${CMAKE_CURRENT_LIST_DIR}/man_roff.cmake)

help_of(help ${PROGRAM} --help)
# The usage line becomes the synopsis; the rest is the description.
string(REGEX REPLACE "^Usage:[^\n]*\n" "" help "${help}")
roff_block(help "${help}")
roff_word(name "${NAME}")
string(TOUPPER "${name}" title)
set(page ".TH ${title} 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${name} \\- ${WHATIS}\n")
string(APPEND page ".SH SYNOPSIS\n.B ${name}\n[\\fIOPTIONS\\fR]\n")
string(APPEND page ".SH DESCRIPTION\n${help}")
string(APPEND page ".SH ENVIRONMENT\n.TP\n.B DISPLAY\\fR, \\fBWAYLAND_DISPLAY\n")
string(APPEND page "The display the window shows on. Without either, and without\n.BR QT_QPA_PLATFORM ,\n")
string(APPEND page "the program says so in one line and ends with exit status 1.\n")
string(APPEND page ".TP\n.B QT_QPA_PLATFORM\n")
string(APPEND page "The Qt platform;\n.B offscreen\nruns the program without a display.\n")
string(APPEND page ".SH EXIT STATUS\n0 when the window is closed (or the screenshot written), 1 without a display\n")
string(APPEND page "or when the screenshot cannot be written.\n")
string(REPLACE "," ";" SEE_ALSO "${SEE_ALSO}")
see_also(references ${SEE_ALSO})
string(APPEND page ".SH SEE ALSO\n${references}")
file(WRITE ${OUTPUT} "${page}")
