# sineband as a desktop app, wherever the Linux build is installed (the
# Debian packages, the tarballs, cmake --install): its desktop entry, its
# AppStream metainfo and its icon in the hicolor theme, under share/ in the
# install component "desktop". Included by linux.cmake.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/icons.cmake)

set(DESKTOP_DATA ${PROJECT_SOURCE_DIR}/data)
set(desktop_dir ${CMAKE_CURRENT_BINARY_DIR}/desktop)

# NOTE: AppStream shows a screenshot only from a web address, and the project
# has none of its own yet: until it has, the metainfo goes without.
set(SINEBAND_SCREENSHOT_URL "" CACHE STRING
  "Where docs/screenshot.png is published, for the AppStream metainfo (none: no screenshot)")

# The metainfo's <release> elements, newest first, from docs/changelog: each
# entry's version, the date of its closing line and its items.
function(changelog_releases changelog var)
  file(READ ${changelog} text)
  # One list element a line; the text's own semicolons are kept apart.
  string(ASCII 1 semicolon)
  string(REPLACE ";" "${semicolon}" text "${text}")
  foreach(pair "&;&amp;" "<;&lt;" ">;&gt;")
    list(GET pair 0 from)
    list(GET pair 1 to)
    string(REPLACE "${from}" "${to}" text "${text}")
  endforeach()
  string(REPLACE "\n" ";" lines "${text}")
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  set(releases "")
  set(items "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[a-z0-9.+-]+ \\(([^)]+)\\)")
      set(version ${CMAKE_MATCH_1})
      set(items "")
    elseif(line MATCHES "^  \\* (.*)")
      string(APPEND items "</li><li>${CMAKE_MATCH_1}")
    elseif(line MATCHES "^    +(.*)")
      string(APPEND items " ${CMAKE_MATCH_1}")
    elseif(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
      set(day ${CMAKE_MATCH_1})
      set(year ${CMAKE_MATCH_3})
      list(FIND months ${CMAKE_MATCH_2} month)
      math(EXPR month "${month} + 1")
      if(month LESS 10)
        set(month 0${month})
      endif()
      string(REGEX REPLACE "^</li>" "" items "${items}")
      string(APPEND releases "    <release version=\"${version}\" date=\"${year}-${month}-${day}\">\n"
        "      <description><ul>${items}</li></ul></description>\n    </release>\n")
    endif()
  endforeach()
  if(releases STREQUAL "")
    message(FATAL_ERROR "${changelog} holds no entry")
  endif()
  string(REPLACE "${semicolon}" ";" releases "${releases}")
  set(${var} "${releases}" PARENT_SCOPE)
endfunction()

changelog_releases(${PROJECT_SOURCE_DIR}/docs/changelog RELEASES)
set(SCREENSHOTS "")
if(SINEBAND_SCREENSHOT_URL)
  string(CONCAT SCREENSHOTS "  <screenshots>\n    <screenshot type=\"default\">\n"
    "      <caption>The band in its window</caption>\n"
    "      <image>${SINEBAND_SCREENSHOT_URL}</image>\n    </screenshot>\n  </screenshots>\n")
endif()
configure_file(${DESKTOP_DATA}/sineband.metainfo.xml.in ${desktop_dir}/sineband.metainfo.xml @ONLY)

install(FILES ${DESKTOP_DATA}/sineband.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
  COMPONENT desktop)
install(FILES ${desktop_dir}/sineband.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
  COMPONENT desktop)
set(hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${SINEBAND_ICON} DESTINATION ${hicolor}/scalable/apps COMPONENT desktop)
# The PNG sizes only where rsvg-convert is: make run's packages lack it, and
# its configure must not fail. make dist stops on a package without them.
if(RSVG_CONVERT)
  set(pngs)
  foreach(size 16 24 32 48 64 128 256 512)
    icon_png(${desktop_dir}/sineband-${size}.png ${size})
    list(APPEND pngs ${desktop_dir}/sineband-${size}.png)
    install(FILES ${desktop_dir}/sineband-${size}.png DESTINATION ${hicolor}/${size}x${size}/apps
      RENAME sineband.png COMPONENT desktop)
  endforeach()
  add_custom_target(icons ALL DEPENDS ${pngs})
else()
  message(STATUS "No rsvg-convert: the icon's PNG sizes are left out (tools/install-deps.sh all brings it)")
endif()
