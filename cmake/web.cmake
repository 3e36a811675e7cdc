# The web page: the same shell/ and scene/ over the layer, whose host is the
# page (compat/src/web_*), built with Emscripten into the build folder as
# index.html, sineband.js and sineband.wasm. Included by CMakeLists.txt when
# the toolchain is Emscripten's; there are no tests in this build (the Linux
# build's test suite drives the page in a browser).

set(WEB_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/compat/src)
add_library(win32_web OBJECT
  ${WEB_SOURCES}/web_window.cpp
  ${WEB_SOURCES}/web_context.cpp
  ${WEB_SOURCES}/web_gl.cpp
  ${WEB_SOURCES}/web_keys.cpp
  ${WEB_SOURCES}/web_glu.cpp)
target_link_libraries(win32_web PUBLIC win32)

add_executable(sineband)
target_link_libraries(sineband PRIVATE shell win32_entry win32_web win32)

# WebGL 1 under the layer's own OpenGL 1.1 (web_gl.cpp); Asyncify, so that
# WinMain's endless loop can pause for the browser at each swap, for a
# message box and for an event; the exit status reaches the page (onExit);
# no file system, no Node. Optimised for size, with the smaller allocator:
# the page is what a visitor waits for, and the program allocates little.
set(WEB_LIBRARY ${WEB_SOURCES}/web_library.js)
target_link_options(sineband PRIVATE
  -Os
  -sMALLOC=emmalloc
  -sASYNCIFY=1
  -sASYNCIFY_IMPORTS=web_wait_event,web_message_box,web_frame_done
  -sEXIT_RUNTIME=1
  -sFILESYSTEM=0
  -sENVIRONMENT=web
  --js-library=${WEB_LIBRARY})
set_target_properties(sineband PROPERTIES LINK_DEPENDS ${WEB_LIBRARY})
# NOTE: emcc's JavaScript optimiser needs acorn, which Debian keeps where
# its Node does not look by itself.
set_target_properties(sineband PROPERTIES
  CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;NODE_PATH=/usr/share/nodejs")

# The page that loads sineband.js.
configure_file(${WEB_SOURCES}/web_page.html ${CMAKE_CURRENT_BINARY_DIR}/index.html COPYONLY)
