# The help file QORHelp.chm is compiled at build time from the HTML sources in help/ with the
# Free Pascal help compiler chmcmd, and is placed beside Vantrel.exe, where the program looks
# for it. A test reads it back with 7-Zip: every topic of the contents is inside, and no page
# links to a page or an anchor that is not there.
find_program(VANTREL_CHMCMD NAMES chmcmd PATHS /usr/bin NO_CMAKE_FIND_ROOT_PATH)
if(NOT VANTREL_CHMCMD)
    message(FATAL_ERROR "The help compiler chmcmd (Debian package fp-utils) is needed for the help file")
endif()

set(VANTREL_HELP_FILE ${CMAKE_BINARY_DIR}/src/app/QORHelp.chm)
# A folder of its own: an in-source build must never compile (and remove) help/ itself.
set(help_work ${CMAKE_BINARY_DIR}/help-compile)
file(GLOB help_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/help/*)

# chmcmd writes beside its project and leaves its own scratch there, so it works on a copy.
add_custom_command(OUTPUT ${VANTREL_HELP_FILE}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${help_work}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/help ${help_work}
    COMMAND ${CMAKE_COMMAND} -E chdir ${help_work} ${VANTREL_CHMCMD} --no-html-scan QORHelp.hhp
    COMMAND ${CMAKE_COMMAND} -E copy ${help_work}/QORHelp.chm ${VANTREL_HELP_FILE}
    DEPENDS ${help_sources}
    COMMENT "Compiling the help file QORHelp.chm"
    VERBATIM)
add_custom_target(vantrel_help ALL DEPENDS ${VANTREL_HELP_FILE})

find_program(VANTREL_7ZIP NAMES 7zz 7z PATHS /usr/bin NO_CMAKE_FIND_ROOT_PATH)
if(NOT VANTREL_7ZIP)
    message(FATAL_ERROR "7-Zip (Debian package 7zip) is needed to check the help file")
endif()
add_test(NAME HelpFile.HoldsEveryTopicAndLinksWithoutDeadEnds
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/reports/check_help.sh
            ${VANTREL_7ZIP} ${VANTREL_HELP_FILE} ${CMAKE_SOURCE_DIR}/help)
