# The installer VantrelSetup.exe is built with NSIS (makensis, Debian package nsis) from
# installer/Vantrel.nsi, with Vantrel.exe, QORsvc.exe, QORtray.exe and QORHelp.chm inside. A
# second one, built only for the tests, answers the administrator check with a standard user's
# account.
find_program(VANTREL_MAKENSIS NAMES makensis PATHS /usr/bin NO_CMAKE_FIND_ROOT_PATH)
if(NOT VANTREL_MAKENSIS)
    message(FATAL_ERROR "NSIS's makensis (Debian package nsis) is needed for the installer")
endif()

set(VANTREL_SETUP ${CMAKE_BINARY_DIR}/VantrelSetup.exe)
set(VANTREL_SETUP_STANDARD_USER ${CMAKE_BINARY_DIR}/tests/installer/VantrelSetupStandardUser.exe)
set(installer_script ${CMAKE_SOURCE_DIR}/installer/Vantrel.nsi)

# The picture on the left of the first and the last page (164 x 314, as the wizard wants it):
# the program's picture, drawn at 256 px for its icon, on a pale gradient.
set(installer_picture ${VANTREL_ART_DIR}/installer_wizard.bmp)
add_custom_command(OUTPUT ${installer_picture}
    COMMAND ${VANTREL_CONVERT} -size 164x314 "gradient:#ffffff-#dce8f7"
            ( ${VANTREL_ART_DIR}/program.sizes/program_256.png -filter box -resize 128x128 )
            -gravity north -geometry +0+56 -composite -type truecolor BMP3:${installer_picture}
    DEPENDS ${VANTREL_ART_DIR}/program.ico
    COMMENT "Drawing installer_wizard.bmp"
    VERBATIM)

set(installer_inputs
    -DVANTREL_EXE=$<TARGET_FILE:Vantrel>
    -DSERVICE_EXE=$<TARGET_FILE:QORsvc>
    -DTRAY_EXE=$<TARGET_FILE:QORtray>
    -DHELP_FILE=${VANTREL_HELP_FILE}
    -DICON_FILE=${VANTREL_ART_DIR}/program.ico
    -DWIZARD_PICTURE=${installer_picture}
    -DVERSION=${PROJECT_VERSION})

# vantrel_setup(<output> [makensis definitions...])
function(vantrel_setup output)
    get_filename_component(folder ${output} DIRECTORY)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${VANTREL_MAKENSIS} -V2 -NOCD ${installer_inputs} ${ARGN} -DOUT_FILE=${output}
                ${installer_script}
        DEPENDS ${installer_script} Vantrel QORsvc QORtray ${VANTREL_HELP_FILE}
                ${VANTREL_ART_DIR}/program.ico ${installer_picture}
        COMMENT "Building the installer ${output}"
        VERBATIM)
endfunction()

vantrel_setup(${VANTREL_SETUP})
vantrel_setup(${VANTREL_SETUP_STANDARD_USER} -DACCOUNT_TYPE=User)
add_custom_target(vantrel_setup ALL DEPENDS ${VANTREL_SETUP})
add_custom_target(vantrel_setup_tests ALL DEPENDS ${VANTREL_SETUP_STANDARD_USER})

add_test(NAME Installer.InstallsRunsAndUninstallsUnderWine
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/installer/check_installer.sh
            ${VANTREL_SETUP} ${VANTREL_SETUP_STANDARD_USER}
            $<TARGET_FILE:Vantrel> $<TARGET_FILE:QORsvc> ${VANTREL_HELP_FILE}
            $<TARGET_FILE:QorStandIn> $<TARGET_FILE:QORtray>)
set_tests_properties(Installer.InstallsRunsAndUninstallsUnderWine PROPERTIES TIMEOUT 900)
