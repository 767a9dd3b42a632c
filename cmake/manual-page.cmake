# The manual page is made from the program's own --help and --version by
# help2man, with man/morvex-uninstall.h2m adding what --help leaves out, so
# the page cannot say something the program no longer does.
find_program(MORVEX_HELP2MAN help2man)
set(MORVEX_MANUAL_PAGE "")
if(CMAKE_CROSSCOMPILING)
  message(STATUS "Manual page skipped: a cross build's program cannot run here for help2man")
elseif(NOT MORVEX_HELP2MAN)
  message(STATUS "Manual page skipped: help2man not found (Debian's help2man package makes morvex-uninstall.1)")
else()
  set(MORVEX_MANUAL_PAGE ${PROJECT_BINARY_DIR}/morvex-uninstall.1)
  set(manual_page_extra ${PROJECT_SOURCE_DIR}/man/morvex-uninstall.h2m)
  add_custom_command(
    OUTPUT ${MORVEX_MANUAL_PAGE}
    COMMAND ${MORVEX_HELP2MAN} --no-info --section=1 --include=${manual_page_extra}
            --output=${MORVEX_MANUAL_PAGE} ./$<TARGET_FILE_NAME:morvex-uninstall>
    # help2man starts the program through the shell, unquoted: from its own
    # folder, a build folder with a blank in its name still works.
    WORKING_DIRECTORY $<TARGET_FILE_DIR:morvex-uninstall>
    DEPENDS morvex-uninstall ${manual_page_extra}
    COMMENT "Making the manual page morvex-uninstall.1 with help2man"
    VERBATIM)
  add_custom_target(morvex-uninstall-manual-page ALL DEPENDS ${MORVEX_MANUAL_PAGE})
endif()
