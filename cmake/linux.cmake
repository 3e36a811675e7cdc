# The Linux host (compat/linux): the layer over SDL2, with GL through GLX on
# X11 and through EGL on a Wayland surface of its own, and the system's
# OpenGL and GLU under the program. Included by CMakeLists.txt for every
# build that is neither Windows nor Emscripten; it makes the program, its
# Debian package, the suite and the bench.

target_link_libraries(scene PUBLIC OpenGL::GL OpenGL::GLU)
find_package(SDL2 REQUIRED)
find_package(X11 REQUIRED)
# On Wayland the layer's GL goes through EGL on a wl_egl_window of its own;
# the headers come with SDL2's (libegl-dev, libwayland-dev).
find_package(OpenGL REQUIRED COMPONENTS EGL)
find_library(WAYLAND_CLIENT_LIBRARY wayland-client REQUIRED)
find_library(WAYLAND_EGL_LIBRARY wayland-egl REQUIRED)

set(LINUX_HOST ${CMAKE_CURRENT_LIST_DIR}/../compat/linux)
add_library(win32_sdl OBJECT
  ${LINUX_HOST}/sdl_window.cpp
  ${LINUX_HOST}/sdl_context.cpp
  ${LINUX_HOST}/glx_context.cpp
  ${LINUX_HOST}/x11_window.cpp
  ${LINUX_HOST}/egl_context.cpp
  ${LINUX_HOST}/wayland_window.cpp)
target_link_libraries(win32_sdl PUBLIC win32 SDL2::SDL2 X11::X11 OpenGL::GL OpenGL::EGL
  ${WAYLAND_CLIENT_LIBRARY} ${WAYLAND_EGL_LIBRARY})

add_executable(sineband)
target_link_libraries(sineband PRIVATE shell win32_entry win32_sdl win32)
install(TARGETS sineband RUNTIME DESTINATION bin COMPONENT program)
# make dist's Debian package of this build.
include(${CMAKE_CURRENT_LIST_DIR}/deb.cmake)

if(SINEBAND_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()

# make bench: the benchmark against a freeglut peer (bench/run.sh).
option(SINEBAND_BENCH "Build the benchmark's runner; make bench builds the rest" ON)
if(SINEBAND_BENCH AND EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
