# Writes the go-md2man source of one manual page to OUT:
#   cmake -DIN=page.md -DOUT=page.man.md -DNAME=vellrun-cli -DVERSION=0.1.0
#         -DDOCS=/usr/share/doc/vellrun [-DSUMMARY="..."] -P ManPage.cmake
# With SUMMARY, IN is one of the user documents: its title line is dropped,
# the text before its first section is the page's description, its sections
# and subsections become the page's, links to other documents become their
# names, and the page ends with a SEE ALSO. Without it, IN is a page already.
# "@VELLRUN_DOCS@" in IN becomes DOCS, where the documents are installed.
file(READ "${IN}" text)
string(REPLACE "@VELLRUN_DOCS@" "${DOCS}" text "${text}")
if(DEFINED SUMMARY)
    string(REGEX REPLACE "^# [^\n]*\n" "" text "${text}")
    # Sections and subsections move up one level (no line of the documents'
    # code blocks begins with "#").
    string(REPLACE "\n##" "\n#" text "${text}")
    string(REGEX REPLACE "\\[([^]]*)\\]\\([^)]*\\.md[^)]*\\)" "\\1" text "${text}")
    string(PREPEND text "# NAME\n\n${NAME} - ${SUMMARY}\n\n# DESCRIPTION\n")
    string(APPEND text "\n# SEE ALSO\n\n**vellrun**(1); the documents in *${DOCS}*.\n")
endif()
file(WRITE "${OUT}" "${NAME} 1 \"\" \"Vellrun ${VERSION}\" \"User Commands\"\n"
                    "==========\n\n${text}")
