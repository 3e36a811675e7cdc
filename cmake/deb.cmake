# The Debian package, sineband_<version>_<arch>.deb (amd64, or arm64 from
# the cross build): cpack -G DEB over this build's install (tools/dist.sh
# deb). The program goes to /usr/bin, stripped, with its manual page; its Depends come from dpkg-shlibdeps;
# /usr/share/doc/sineband holds the copyright file and the changelog Debian
# asks for; its desktop entry, metainfo and icons are desktop.cmake's.
include(GNUInstallDirs)

# NOTE: the maintainer's address is a stand-in until the project has one of
# its own; Debian's tools insist on an address in the field.
set(SINEBAND_MAINTAINER "sineband developers <sineband@example.org>" CACHE STRING
  "The Debian package's Maintainer field")

# copyright: the licence and the notices under a line that says so.
# changelog.gz and sineband.1.gz: docs/changelog and docs/sineband.1 as
# Debian compresses them (gzip -9n: no name, no time stamp, so the same text
# gives the same bytes).
set(deb_doc ${CMAKE_CURRENT_BINARY_DIR}/deb-doc)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE deb_licence)
file(READ ${PROJECT_SOURCE_DIR}/NOTICES deb_notices)
file(WRITE ${deb_doc}/copyright
  "sineband ${PROJECT_VERSION}: its licence, then what of others' code it and\n"
  "its other builds carry.\n\n${deb_licence}\n${deb_notices}")
foreach(text changelog sineband.1)
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/${text}
    OUTPUT_FILE ${deb_doc}/${text}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/NOTICES
  ${PROJECT_SOURCE_DIR}/docs/changelog ${PROJECT_SOURCE_DIR}/docs/sineband.1)
install(FILES ${deb_doc}/copyright ${deb_doc}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)
# The manual page goes with the program, into the tarballs too.
install(FILES ${deb_doc}/sineband.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)

# Folders as Debian wants them whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sineband)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# NOTE: CPack names the architecture after the machine it runs on; a cross
# build's package is of its target's (linux.cmake's DEB_HOST_ARCH).
if(DEB_HOST_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${DEB_HOST_ARCH})
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# NOTE: on a Wayland compositor that draws no frames of its own (GNOME's
# mutter) SDL draws the window's title bar and close button through
# libdecor, whose plugin libdecor itself only recommends: without it the
# window cannot be moved or closed with the mouse.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdecor-0-plugin-1-cairo")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SINEBAND_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "white sine band drawn with OpenGL by a Win32 program
sineband is a small interactive OpenGL demonstration written as a Win32
program: one 600 x 450 window shows a still white sine band of 200 strips
on black. Escape or closing the window ends it.

On Linux the program runs over a small Win32 layer on SDL2 and X11, with
the system's OpenGL and GLU (Mesa).")
include(CPack)
