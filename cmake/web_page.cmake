# Writes the web page, OUT: PAGE with the program, PROGRAM (sineband.js),
# where its script says @PROGRAM@.
cmake_minimum_required(VERSION 3.20)
file(READ "${PAGE}" page)
file(READ "${PROGRAM}" program)
# Inside <script>, the HTML parser ends the script at "</script" and treats
# "<!--" and "<script" specially; the program must hold none of them.
string(TOLOWER "${program}" lower)
foreach(marker "</script" "<!--" "<script")
  string(FIND "${lower}" "${marker}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${PROGRAM} holds \"${marker}\" and cannot go inside the page's script")
  endif()
endforeach()
string(FIND "${page}" "@PROGRAM@" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${PAGE} has no @PROGRAM@")
endif()
string(REPLACE "@PROGRAM@" "${program}" page "${page}")
file(WRITE "${OUT}" "${page}")
