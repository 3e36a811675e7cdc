# Writes the web page, OUT: PAGE with the program, PROGRAM (sineband.js),
# where its script says @PROGRAM@, the icon ICON (an SVG) as a data: URL
# where it says @ICON@, and its content security policy's hashes where its
# policy says @SCRIPT_HASHES@ and @STYLE_HASH@: one for each of the page's
# scripts, one for its style.
cmake_minimum_required(VERSION 3.20)

# The base64 of the bytes that HEX (an even number of hex digits) spells,
# as a policy's hash source writes a digest, into VAR.
function(hex_to_base64 hex var)
  set(digits "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  string(LENGTH "${hex}" length)
  set(out "")
  # Three bytes (six hex digits) at a time make four characters; a last
  # one or two bytes make two or three, and "=" pads them to four.
  foreach(at RANGE 0 ${length} 6)
    if(at EQUAL length)
      break()
    endif()
    string(SUBSTRING "${hex}" ${at} 6 group)
    string(LENGTH "${group}" bytes)
    math(EXPR bytes "${bytes} / 2")
    string(SUBSTRING "${group}000000" 0 6 group)
    math(EXPR value "0x${group}")
    foreach(shift 18 12 6 0)
      math(EXPR index "(${value} >> ${shift}) & 63")
      string(SUBSTRING "${digits}" ${index} 1 digit)
      string(APPEND out "${digit}")
    endforeach()
    if(bytes EQUAL 1)
      string(REGEX REPLACE "..$" "==" out "${out}")
    elseif(bytes EQUAL 2)
      string(REGEX REPLACE ".$" "=" out "${out}")
    endif()
  endforeach()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

# A policy's hash source for TEXT: 'sha256-' and the base64 of its digest.
function(hash_source text var)
  string(SHA256 hex "${text}")
  hex_to_base64(${hex} base64)
  set(${var} "'sha256-${base64}'" PARENT_SCOPE)
endfunction()

# The texts between each OPEN and CLOSE in TEXT, as a list of hash sources.
function(hash_sources text open close var)
  set(sources "")
  string(LENGTH "${open}" skip)
  while(TRUE)
    string(FIND "${text}" "${open}" at)
    if(at EQUAL -1)
      break()
    endif()
    math(EXPR at "${at} + ${skip}")
    string(SUBSTRING "${text}" ${at} -1 text)
    string(FIND "${text}" "${close}" end)
    if(end EQUAL -1)
      message(FATAL_ERROR "${PAGE}: ${open} without ${close}")
    endif()
    string(SUBSTRING "${text}" 0 ${end} inside)
    hash_source("${inside}" source)
    list(APPEND sources "${source}")
    string(SUBSTRING "${text}" ${end} -1 text)
  endwhile()
  string(REPLACE ";" " " sources "${sources}")
  set(${var} "${sources}" PARENT_SCOPE)
endfunction()

if(HEX_TO_BASE64)   # cmake -DHEX_TO_BASE64=HEX -P web_page.cmake, to check it
  hex_to_base64(${HEX_TO_BASE64} base64)
  message("${base64}")
  return()
endif()

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
foreach(marker "@PROGRAM@" "@ICON@" "@SCRIPT_HASHES@" "@STYLE_HASH@")
  string(FIND "${page}" "${marker}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PAGE} has no ${marker}")
  endif()
endforeach()
# NOTE: a browser hashes a script's or a style's text after the parser has
# made every line end a line feed; the page is written with those already.
# The style is looked for before the program is in.
foreach(text page program)
  string(REPLACE "\r\n" "\n" ${text} "${${text}}")
  string(REPLACE "\r" "\n" ${text} "${${text}}")
endforeach()
# The icon in an attribute in double quotes: its comments and line ends
# left out, its quotes made single, and what a URL may not hold escaped.
file(READ "${ICON}" icon)
string(REGEX REPLACE "<!--([^-]|-[^-])*-->" "" icon "${icon}")
string(REGEX REPLACE "[\r\n]+ *" "" icon "${icon}")
string(REPLACE "\"" "'" icon "${icon}")
foreach(pair "%;%25" "#;%23" "<;%3C" ">;%3E")
  list(GET pair 0 from)
  list(GET pair 1 to)
  string(REPLACE "${from}" "${to}" icon "${icon}")
endforeach()
string(REPLACE "@ICON@" "data:image/svg+xml,${icon}" page "${page}")
hash_sources("${page}" "<style>" "</style>" style)
string(REPLACE "@PROGRAM@" "${program}" page "${page}")
hash_sources("${page}" "<script>" "</script>" scripts)
string(REPLACE "@SCRIPT_HASHES@" "${scripts}" page "${page}")
string(REPLACE "@STYLE_HASH@" "${style}" page "${page}")
file(WRITE "${OUT}" "${page}")
