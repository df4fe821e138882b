# Draws one picture of art/pictures/ at several sizes and packs them into one icon file.
#   cmake -DCONVERT=/usr/bin/convert -DSOURCE=art/pictures/x.mvg -DOUTPUT=out/x.ico
#         -DSIZES="16;24;32" -P art/draw_picture.cmake
# The drawing is on a 16-unit grid of pixel edges. Each size is drawn four times larger and
# reduced with a box filter, so edges on the grid stay sharp and curves get even shading; the
# faint fringe that ImageMagick leaves around shapes is then cut from the alpha channel.
foreach(var CONVERT SOURCE OUTPUT SIZES)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "draw_picture.cmake needs -D${var}=...")
    endif()
endforeach()

file(READ "${SOURCE}" drawing)
get_filename_component(name "${OUTPUT}" NAME_WE)
get_filename_component(folder "${OUTPUT}" DIRECTORY)
set(work "${folder}/${name}.sizes")
file(MAKE_DIRECTORY "${work}")

set(pngs)
foreach(size IN LISTS SIZES)
    math(EXPR big "${size} * 4")
    # Scale of the 16-unit grid, as a decimal with three places.
    math(EXPR milli "${big} * 1000 / 16")
    math(EXPR whole "${milli} / 1000")
    math(EXPR frac "${milli} % 1000 + 1000")
    string(SUBSTRING "${frac}" 1 3 frac)
    set(scale "${whole}.${frac}")
    set(png "${work}/${name}_${size}.png")
    execute_process(
        COMMAND "${CONVERT}" -size ${big}x${big} xc:none
                -draw "affine ${scale},0,0,${scale},-0.5,-0.5\n${drawing}"
                -filter box -resize ${size}x${size}
                -channel A -level 7%,100% +channel
                -define png:color-type=6 "PNG32:${png}"
        RESULT_VARIABLE result ERROR_VARIABLE errors)
    if(NOT result EQUAL 0 OR errors)
        message(FATAL_ERROR "Drawing ${SOURCE} at ${size} px failed: ${errors}")
    endif()
    list(APPEND pngs "${png}")
endforeach()

execute_process(COMMAND "${CONVERT}" ${pngs} "ICO:${OUTPUT}"
    RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Packing ${OUTPUT} failed: ${errors}")
endif()
