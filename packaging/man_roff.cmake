# What the two man page scripts share: a program's help text, and that text
# in roff.

# The standard output of PROGRAM ARGS..., which must end with status 0.
# No display is needed: the programs answer --help without one.
function(help_of out program)
    execute_process(COMMAND ${program} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${program} ${ARGN} ended with ${status}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A name or word in roff: backslashes and minus signs escaped.
function(roff_word out text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Help text to roff, kept as it is laid out: backslashes and minus signs
# escaped, a leading dot or quote kept from being read as a request.
function(roff_block out text)
    roff_word(text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

# References to other pages: one a line, as .BR joins its arguments into
# one word (the name in bold, the section in roman), separated by commas.
function(see_also out)
    set(text "")
    list(LENGTH ARGN count)
    set(index 0)
    foreach(page IN LISTS ARGN)
        math(EXPR index "${index} + 1")
        roff_word(name "${page}")
        if(index LESS count)
            string(APPEND text ".BR \\%${name} (1),\n")
        else()
            string(APPEND text ".BR \\%${name} (1)\n")
        endif()
    endforeach()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()
