# The page's host (compat/web): the layer over the page, built with
# Emscripten into the build folder as one file, index.html, that carries the
# program. Included by CMakeLists.txt when the toolchain is Emscripten's;
# there are no tests in that build. The Linux build's tests include it too,
# for the host's plain C++ parts (its OpenGL 1.1, GLU and key table), which
# they build natively and drive with a stand-in for the browser.

set(WEB_HOST ${CMAKE_CURRENT_LIST_DIR}/../compat/web)
set(WEB_HOST_GL ${WEB_HOST}/web_gl.cpp ${WEB_HOST}/web_glu.cpp)
set(WEB_HOST_KEYS ${WEB_HOST}/web_keys.cpp)
if(NOT EMSCRIPTEN)
  return()
endif()

add_library(win32_web OBJECT
  ${WEB_HOST}/web_window.cpp
  ${WEB_HOST}/web_context.cpp
  ${WEB_HOST_GL}
  ${WEB_HOST_KEYS})
target_link_libraries(win32_web PUBLIC win32)

# web_page(TARGET PAGE): TARGET, a program over the layer and this host,
# linked for the page, and PAGE in the build folder: web_page.html with
# the program inside its script (web_page.cmake).
#
# WebGL 1 under the layer's own OpenGL 1.1 (web_gl.cpp); Asyncify, so that
# WinMain's endless loop can pause for the browser at each swap, for a
# message box and for an event; the exit status reaches the page (onExit);
# no file system, no Node. Optimised for size, with the smaller allocator and
# Closure Compiler (tools/web's npm packages): the page is what a visitor
# waits for, and the program allocates little.
# The .wasm travels inside the program's script and is compiled as the
# script runs, so the page asks for nothing once it is read: in Firefox every
# further request cost some 40 ms before the first frame, and the browser
# paints the page while it waits for a script. The glue calls neither eval
# nor Function (DYNAMIC_EXECUTION=0), which the page's policy forbids.
set(WEB_LIBRARY ${WEB_HOST}/web_library.js)
include(${CMAKE_CURRENT_LIST_DIR}/icons.cmake)
# NOTE: emcc's JavaScript optimiser needs acorn, which Debian keeps where its
# Node does not look by itself; Debian's Closure Compiler is too old for it.
set(WEB_TOOLS ${CMAKE_CURRENT_SOURCE_DIR}/tools/web/node_modules)
if(NOT EXISTS ${WEB_TOOLS}/.bin/google-closure-compiler)
  message(FATAL_ERROR "No Closure Compiler in ${WEB_TOOLS}: tools/install-deps.sh web installs it (make web does)")
endif()
function(web_page target page)
  target_link_libraries(${target} PRIVATE win32_entry win32_web win32)
  target_link_options(${target} PRIVATE
    -Os
    --closure=1
    -sMALLOC=emmalloc
    -sSINGLE_FILE=1
    -sWASM_ASYNC_COMPILATION=0
    -sDYNAMIC_EXECUTION=0
    -sASYNCIFY=1
    -sASYNCIFY_IMPORTS=web_wait_event,web_message_box,web_frame_done
    -sEXIT_RUNTIME=1
    -sFILESYSTEM=0
    -sENVIRONMENT=web
    --js-library=${WEB_LIBRARY})
  set_target_properties(${target} PROPERTIES
    CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;NODE_PATH=/usr/share/nodejs;EM_CLOSURE_COMPILER=${WEB_TOOLS}/.bin/google-closure-compiler"
    LINK_DEPENDS "${WEB_LIBRARY};${WEB_HOST}/web_page.html;${CMAKE_CURRENT_SOURCE_DIR}/cmake/web_page.cmake;${SINEBAND_ICON}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DPAGE=${WEB_HOST}/web_page.html -DPROGRAM=$<TARGET_FILE:${target}>
            -DICON=${SINEBAND_ICON} -DOUT=${CMAKE_CURRENT_BINARY_DIR}/${page}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/web_page.cmake
    BYPRODUCTS ${CMAKE_CURRENT_BINARY_DIR}/${page}
    VERBATIM)
endfunction()

add_executable(sineband)
target_link_libraries(sineband PRIVATE shell)
web_page(sineband index.html)

# Beside the page, the PNG icons its web app manifest names, for what takes
# no SVG when the page is installed, and Apple's touch icon; the maskable and
# touch icons on a square of black, as the system cuts them to its shape.
set(web_icons)
foreach(icon "icon-192 192" "icon-512 512" "icon-maskable-512 512 black" "apple-touch-icon 180 black")
  separate_arguments(icon)
  list(POP_FRONT icon name)
  icon_png(${CMAKE_CURRENT_BINARY_DIR}/${name}.png ${icon})
  list(APPEND web_icons ${CMAKE_CURRENT_BINARY_DIR}/${name}.png)
endforeach()
add_custom_target(web_icons ALL DEPENDS ${web_icons})

# The message probe in a page of its own, probe.html, whose log is its
# standard output: the page's console (tests/probe). Not shipped.
if(SINEBAND_TESTS)
  add_executable(probe ${CMAKE_CURRENT_SOURCE_DIR}/tests/probe/probe.cpp)
  web_page(probe probe.html)
endif()
