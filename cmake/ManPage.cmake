# Writes the go-md2man source of one manual page to OUT:
#   cmake -DIN=page.md -DOUT=page.man.md -DNAME=vellrun-cli -DVERSION=0.1.0
#         [-DSUMMARY="..."] -P ManPage.cmake
# With SUMMARY, IN is one of the user documents: its title line is dropped,
# the text before its first section is the page's description, its sections
# and subsections are the page's (the sections' names in capitals, as
# manual pages have them), links to other documents become their names, and
# the page ends with a SEE ALSO. Without it, IN is a page already.
#
#   cmake -DROFF=page.1 -P ManPage.cmake
# mends go-md2man's output in place: it passes a line of text that begins
# with "." or "'" on as it stands, and roff would take that line for a
# request and drop it ("...", ".Sales.Corp", "'objectClass'").
if(DEFINED ROFF)
    file(READ "${ROFF}" text)
    string(REPLACE "\n'" "\n\\&'" text "${text}")
    string(REPLACE "\n." "\n\\&." text "${text}")
    # The requests go-md2man writes are themselves again; two rounds, since a
    # request's line end is the next one's line start.
    foreach(round 1 2)
        string(REGEX REPLACE "\n\\\\&\\.([A-Z][A-Z]|nf|fi|nh)([ \n])" "\n.\\1\\2"
               text "${text}")
    endforeach()
    file(WRITE "${ROFF}" "${text}")
    return()
endif()
file(READ "${IN}" text)
if(DEFINED SUMMARY)
    string(REGEX REPLACE "^# [^\n]*\n" "" text "${text}")
    # go-md2man makes sections of "#" and "##", subsections of "###" (no
    # line of the documents' code blocks begins with "#").
    string(REGEX MATCHALL "\n## [^\n]*" sections "${text}")
    foreach(section IN LISTS sections)
        string(TOUPPER "${section}" upper)
        string(REPLACE "${section}" "${upper}" text "${text}")
    endforeach()
    string(REGEX REPLACE "\\[([^]]*)\\]\\([^)]*\\.md[^)]*\\)" "\\1" text "${text}")
    string(PREPEND text "# NAME\n\n${NAME} - ${SUMMARY}\n\n# DESCRIPTION\n")
    string(APPEND text "\n# SEE ALSO\n\n**vellrun**(1); the documents installed with the "
                       "programs, in *share/doc/vellrun* under their prefix "
                       "(*/usr/share/doc/vellrun* from the Debian package).\n")
endif()
file(WRITE "${OUT}" "${NAME} 1 \"\" \"Vellrun ${VERSION}\" \"User Commands\"\n"
                    "==========\n\n${text}")
