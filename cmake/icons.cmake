# The program's icon, data/sineband.svg, made into what each platform shows:
# PNGs with rsvg-convert (librsvg2-bin) and a Windows .ico with icotool
# (icoutils). Only the packaging steps make them (the Linux install, the
# Windows resources, the page's folder), never the program itself, so that
# make run needs neither tool.
include_guard(GLOBAL)

set(SINEBAND_ICON ${CMAKE_CURRENT_LIST_DIR}/../data/sineband.svg)
find_program(RSVG_CONVERT rsvg-convert)
find_program(ICOTOOL icotool)

# icon_png(OUT SIZE [BACKGROUND]): OUT, the icon SIZE pixels square. With a
# BACKGROUND colour its transparent corners are filled: a maskable icon or
# Apple's touch icon, which the system cuts to its own shape.
function(icon_png out size)
  if(NOT RSVG_CONVERT)
    message(FATAL_ERROR "No rsvg-convert for the icons: tools/install-deps.sh installs librsvg2-bin")
  endif()
  set(fill)
  if(ARGC GREATER 2)
    set(fill --background-color=${ARGV2})
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} ${fill} --output=${out} ${SINEBAND_ICON}
    DEPENDS ${SINEBAND_ICON} VERBATIM)
endfunction()

# icon_ico(OUT SIZES...): OUT, a Windows icon of those sizes. NOTE: each is
# kept as PNG, which Windows reads from Vista on, at a tenth of the size of
# uncompressed bitmaps.
function(icon_ico out)
  if(NOT ICOTOOL)
    message(FATAL_ERROR "No icotool for the Windows icon: tools/install-deps.sh installs icoutils")
  endif()
  get_filename_component(dir ${out} DIRECTORY)
  set(pngs)
  foreach(size ${ARGN})
    icon_png(${dir}/ico-${size}.png ${size})
    list(APPEND pngs ${dir}/ico-${size}.png)
  endforeach()
  list(TRANSFORM pngs PREPEND --raw= OUTPUT_VARIABLE raw)
  add_custom_command(OUTPUT ${out} COMMAND ${ICOTOOL} --create --output=${out} ${raw}
    DEPENDS ${pngs} VERBATIM)
endfunction()
