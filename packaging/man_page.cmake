# Writes the man page of the command-line tool from its own help texts, so
# the two never disagree. Run by the build:
#   cmake -DKALIBRON=path/to/kalibron -DVERSION=x.y.z -DOUTPUT=kalibron.1 -P man_page.cmake

function(help_of out)
    execute_process(COMMAND ${KALIBRON} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "kalibron ${ARGN} ended with ${status}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Help text to roff, kept as it is laid out: backslashes and minus signs
# escaped, a leading dot or quote kept from being read as a request.
function(roff_block out text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

help_of(main --help)
roff_block(main "${main}")
set(page ".TH KALIBRON 1 \"\" \"kalibron ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nkalibron \\- interpolated standard values for samples, without a window\n")
string(APPEND page ".SH SYNOPSIS\n.B kalibron\n.I COMMAND\n[\\fIOPTIONS\\fR] \\fITABLE\\fR\n.br\n")
string(APPEND page ".B kalibron\n\\-\\-help | \\-\\-version\n")
string(APPEND page ".SH DESCRIPTION\n${main}")
foreach(command export fit plot rank)
    help_of(text ${command} --help)
    roff_block(text "${text}")
    string(TOUPPER "${command}" title)
    string(APPEND page ".SH ${title}\n${text}")
endforeach()
string(APPEND page ".SH FILES\n.TP\n.I student.dat\n")
string(APPEND page "The Student t table of the confidence band: beside the program, or else in\n")
string(APPEND page ".IR ../share/kalibron/\nfrom the program's folder.\n")
string(APPEND page ".SH SEE ALSO\n.BR Kalibron\\-01 (1)\\ is the window program of the same calculation.\n")
file(WRITE ${OUTPUT} "${page}")
