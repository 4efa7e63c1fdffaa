# Writes the man page of the command-line tool from its own help texts, so
# the two never disagree. Run by the build:
#   cmake -DKALIBRON=path/to/kalibron -DVERSION=x.y.z -DOUTPUT=kalibron.1
#         -DSEE_ALSO=Kalibron-01,... -P man_page.cmake
# SEE_ALSO names the installed pages of the window programs.
include(${CMAKE_CURRENT_LIST_DIR}/man_roff.cmake)

help_of(main ${KALIBRON} --help)
roff_block(main "${main}")
set(page ".TH KALIBRON 1 \"\" \"kalibron ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nkalibron \\- interpolated standard values for samples, without a window\n")
string(APPEND page ".SH SYNOPSIS\n")
string(APPEND page ".B kalibron\n\\fBexport\\fR|\\fBfit\\fR|\\fBplot\\fR|\\fBrank\\fR|\\fBvalues\\fR [\\fIOPTIONS\\fR] \\fITABLE\\fR\n.br\n")
string(APPEND page ".B kalibron sequence\n[\\fIOPTIONS\\fR] \\fB\\-\\-day\\fR \\fIYYMM_DD\\fR \\fB\\-\\-ext\\fR \\fIEXT\\fR \\fIDIR\\fR\n.br\n")
string(APPEND page ".B kalibron\n\\fICOMMAND\\fR \\fB\\-\\-help\\fR\n.br\n")
string(APPEND page ".B kalibron\n\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n")
string(APPEND page ".SH DESCRIPTION\n${main}")
foreach(command export fit plot rank values sequence)
    help_of(text ${KALIBRON} ${command} --help)
    roff_block(text "${text}")
    string(TOUPPER "${command}" title)
    string(APPEND page ".SH ${title}\n${text}")
endforeach()
string(APPEND page ".SH FILES\n.TP\n.I student.dat\n")
string(APPEND page "The Student t table of the confidence band: beside the program, or else in\n")
string(APPEND page ".IR ../share/kalibron/\nfrom the program's folder.\n")
if(SEE_ALSO)
    string(REPLACE "," ";" SEE_ALSO "${SEE_ALSO}")
    see_also(references ${SEE_ALSO})
    string(APPEND page ".SH SEE ALSO\nThe window programs of the same calculation:\n${references}")
endif()
file(WRITE ${OUTPUT} "${page}")
