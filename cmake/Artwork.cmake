# The program's pictures are drawn at build time from the MVG sources in art/pictures/ with
# ImageMagick (art/draw_picture.cmake), into ${CMAKE_BINARY_DIR}/art/*.ico. The resource script
# src/app/Vantrel.rc picks them up from there; every target that compiles it gets it through
# VANTREL_RESOURCE_FILES and depends on vantrel_artwork.
find_program(VANTREL_CONVERT NAMES convert PATHS /usr/bin NO_CMAKE_FIND_ROOT_PATH)
if(NOT VANTREL_CONVERT)
    message(FATAL_ERROR "ImageMagick's convert is needed to draw the pictures")
endif()

set(VANTREL_ART_DIR ${CMAKE_BINARY_DIR}/art)
set(vantrel_art_outputs)

# vantrel_picture(<icon name> <source name> <sizes...>)
function(vantrel_picture name source)
    set(output ${VANTREL_ART_DIR}/${name}.ico)
    set(input ${CMAKE_SOURCE_DIR}/art/pictures/${source}.mvg)
    string(REPLACE ";" "," sizes "${ARGN}")
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DCONVERT=${VANTREL_CONVERT} -DSOURCE=${input}
                -DOUTPUT=${output} "-DSIZES=${ARGN}" -P ${CMAKE_SOURCE_DIR}/art/draw_picture.cmake
        DEPENDS ${input} ${CMAKE_SOURCE_DIR}/art/draw_picture.cmake
        COMMENT "Drawing ${name}.ico (${sizes} px)"
        VERBATIM)
    set(vantrel_art_outputs ${vantrel_art_outputs} ${output} PARENT_SCOPE)
endfunction()

set(main_sizes 16 20 24 32 40 48)
foreach(source
        image01_about image02_user image03_users image04_daily_limits image05_calendar
        image06_refresh image07_preferences image08_bonus_more image09_bonus_less
        image10_report image11_row_time_left image12_row_little_time image13_row_no_time
        image14_row_not_monitored image15_view_log image16_help image17_padlock
        image18_detailed_usage image19_programs)
    vantrel_picture(${source} ${source} ${main_sizes})
endforeach()
vantrel_picture(program program 16 20 24 32 40 48 64 256)
vantrel_picture(about_logo program 52 78 104)
vantrel_picture(bonus_increase bonus_increase 32 40 48 64)
vantrel_picture(bonus_decrease bonus_decrease 32 40 48 64)
vantrel_picture(prefs_general prefs_general 32 40 48 64)
vantrel_picture(prefs_network prefs_network 32 40 48 64)
vantrel_picture(prefs_messages prefs_messages 32 40 48 64)
vantrel_picture(prefs_advanced prefs_advanced 32 40 48 64)
vantrel_picture(store_local store_local 16 20 24 32 48)
vantrel_picture(store_remote store_remote 16 20 24 32 48)
foreach(source service_stopped service_not_responding service_warning)
    vantrel_picture(${source} ${source} 16 20 24 32 48)
endforeach()

# The resource compiler does not report the pictures it reads, so a picture drawn anew would
# not recompile the resources. The targets compile a copy of Vantrel.rc that is refreshed
# whenever a picture, the manifest or the ids change.
set(vantrel_rc ${VANTREL_ART_DIR}/Vantrel.rc)
add_custom_command(OUTPUT ${vantrel_rc}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/src/app/Vantrel.rc ${vantrel_rc}
    COMMAND ${CMAKE_COMMAND} -E touch ${vantrel_rc}
    DEPENDS ${CMAKE_SOURCE_DIR}/src/app/Vantrel.rc ${CMAKE_SOURCE_DIR}/src/app/Vantrel.manifest
            ${CMAKE_SOURCE_DIR}/src/ui/Resources.h ${vantrel_art_outputs}
    COMMENT "Refreshing the resource script"
    VERBATIM)

add_custom_target(vantrel_artwork DEPENDS ${vantrel_art_outputs} ${vantrel_rc})

# The resource compiler finds the pictures and the manifest through its include path.
include_directories($<$<COMPILE_LANGUAGE:RC>:${VANTREL_ART_DIR}>
                    $<$<COMPILE_LANGUAGE:RC>:${CMAKE_SOURCE_DIR}/src/app>)
set(VANTREL_RESOURCE_FILES ${vantrel_rc})
