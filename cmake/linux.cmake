# The Linux host (compat/linux): the layer over SDL2, with GL through GLX on
# X11 and through EGL on a Wayland surface of its own, and the system's
# OpenGL and GLU under the program. Included by CMakeLists.txt for every
# build that is neither Windows nor Emscripten; it makes the program, its
# Debian package, the suite and the bench.

target_link_libraries(scene PUBLIC OpenGL::GL OpenGL::GLU)

# Debian's name (amd64, arm64) for the machine the program is built for:
# the hardening flags and the package (deb.cmake) are that machine's.
find_program(DPKG_ARCHITECTURE dpkg-architecture)
if(DPKG_ARCHITECTURE AND CMAKE_LIBRARY_ARCHITECTURE)
  execute_process(COMMAND ${DPKG_ARCHITECTURE} -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE DEB_HOST_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()

# Hardened as Debian builds its packages: what dpkg-buildflags gives with
# every hardening feature on (stack protector, fortified functions,
# read-only relocations, immediate binding), and stack clash protection and,
# on x86-64, control-flow protection, which Debian 12's dpkg-buildflags does
# not know yet. The sanitizer presets turn it off: fortified functions would
# keep their calls from AddressSanitizer's checks.
option(SINEBAND_HARDENING "Build with Debian's hardening flags" ON)
if(SINEBAND_HARDENING AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS AND DEB_HOST_ARCH)
    # NOTE: only the flags that hardening adds: those with it all on less
    # those with it all off, so the build type keeps its -O and -g.
    foreach(kind CPPFLAGS CFLAGS LDFLAGS)
      foreach(state on off)
        set(features -all)
        if(state STREQUAL on)
          set(features +all)
        endif()
        execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_HOST_ARCH=${DEB_HOST_ARCH}
            DEB_BUILD_MAINT_OPTIONS=hardening=${features} ${DPKG_BUILDFLAGS} --get ${kind}
          OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags_${state} UNIX_COMMAND "${flags}")
      endforeach()
      list(REMOVE_ITEM flags_on ${flags_off})
      set(HARDENING_${kind} ${flags_on})
    endforeach()
  else()
    set(HARDENING_CPPFLAGS -D_FORTIFY_SOURCE=2)
    set(HARDENING_CFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
    set(HARDENING_LDFLAGS -Wl,-z,relro -Wl,-z,now)
  endif()
  list(APPEND HARDENING_CFLAGS -fstack-clash-protection)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    list(APPEND HARDENING_CFLAGS -fcf-protection)
  endif()
  # Every target of the build, as CFLAGS and LDFLAGS would give them.
  list(JOIN HARDENING_CPPFLAGS " " cppflags)
  list(JOIN HARDENING_CFLAGS " " cflags)
  list(JOIN HARDENING_LDFLAGS " " ldflags)
  message(STATUS "Hardening: ${cppflags} ${cflags} ${ldflags}")
  foreach(lang C CXX)
    string(APPEND CMAKE_${lang}_FLAGS " ${cppflags} ${cflags}")
  endforeach()
  foreach(kind EXE SHARED MODULE)
    string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${ldflags}")
  endforeach()
endif()
find_package(SDL2 REQUIRED)
find_package(X11 REQUIRED)
# On Wayland the layer's GL goes through EGL on a wl_egl_window of its own;
# the headers come with SDL2's (libegl-dev, libwayland-dev).
find_package(OpenGL REQUIRED COMPONENTS EGL)
find_library(WAYLAND_CLIENT_LIBRARY wayland-client REQUIRED)
find_library(WAYLAND_EGL_LIBRARY wayland-egl REQUIRED)
# The scale protocols the layer speaks beside SDL, made into C by
# wayland-scanner (libwayland-bin) from wayland-protocols' descriptions.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
find_path(WAYLAND_PROTOCOLS_DIR stable/viewporter/viewporter.xml
  PATHS /usr/share/wayland-protocols NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(WAYLAND_PROTOCOL_CODE)
foreach(xml stable/viewporter/viewporter.xml staging/fractional-scale/fractional-scale-v1.xml)
  get_filename_component(name ${xml} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/wayland/${name})
  add_custom_command(OUTPUT ${out}-client-protocol.h ${out}-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/wayland
    COMMAND ${WAYLAND_SCANNER} client-header ${WAYLAND_PROTOCOLS_DIR}/${xml} ${out}-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${WAYLAND_PROTOCOLS_DIR}/${xml} ${out}-protocol.c
    DEPENDS ${WAYLAND_PROTOCOLS_DIR}/${xml} VERBATIM)
  list(APPEND WAYLAND_PROTOCOL_CODE ${out}-client-protocol.h ${out}-protocol.c)
endforeach()

set(LINUX_HOST ${CMAKE_CURRENT_LIST_DIR}/../compat/linux)
add_library(win32_sdl OBJECT
  ${LINUX_HOST}/sdl_window.cpp
  ${LINUX_HOST}/sdl_context.cpp
  ${LINUX_HOST}/glx_context.cpp
  ${LINUX_HOST}/x11_window.cpp
  ${LINUX_HOST}/egl_context.cpp
  ${LINUX_HOST}/wayland_window.cpp
  ${LINUX_HOST}/gl_pixels.cpp
  ${WAYLAND_PROTOCOL_CODE})
target_include_directories(win32_sdl PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/wayland)
target_link_libraries(win32_sdl PUBLIC win32 SDL2::SDL2 X11::X11 OpenGL::GL OpenGL::EGL
  ${WAYLAND_CLIENT_LIBRARY} ${WAYLAND_EGL_LIBRARY} ${CMAKE_DL_LIBS})

add_executable(sineband)
target_link_libraries(sineband PRIVATE shell win32_entry win32_sdl win32)
install(TARGETS sineband RUNTIME DESTINATION bin COMPONENT program)
# NOTE: strip leaves the .comment section, the compilers' names and
# versions, which Debian's packages drop.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/$<TARGET_FILE_NAME:sineband>\" COMMAND_ERROR_IS_FATAL ANY)
endif()" COMPONENT program)
# Its desktop entry, metainfo and icons; make dist's Debian package of this build.
include(${CMAKE_CURRENT_LIST_DIR}/desktop.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deb.cmake)

if(SINEBAND_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()
# A cross build's program is tested by the build machine's suite, under
# qemu-user: from this build it needs glcheck.so, built for its machine.
if(CMAKE_CROSSCOMPILING AND NOT SINEBAND_TESTS AND NOT SINEBAND_BENCH)
  add_subdirectory(tests/support)
endif()

# make bench: the benchmark against a freeglut peer (bench/run.sh).
option(SINEBAND_BENCH "Build the benchmark's runner; make bench builds the rest" ON)
if(SINEBAND_BENCH AND EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
