# What `cmake --install` puts where. Components let the Windows zip take only
# the program from the second Windows build (see packages.cmake).
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/manual-page.cmake)

if(WIN32)
  # Installers copy the executable from a flat folder, with its papers beside it.
  set(MORVEX_PROGRAM_DESTINATION .)
  set(MORVEX_DOCUMENT_DESTINATION .)
else()
  set(MORVEX_PROGRAM_DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Named for the program rather than the CMake project, as Debian names it.
  set(MORVEX_DOCUMENT_DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/morvex-uninstall)
endif()

install(TARGETS morvex-uninstall RUNTIME DESTINATION ${MORVEX_PROGRAM_DESTINATION} COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/NOTICE DESTINATION ${MORVEX_DOCUMENT_DESTINATION} COMPONENT documents)
# README's links lead here.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${MORVEX_DOCUMENT_DESTINATION}/docs COMPONENT documents
        FILES_MATCHING PATTERN "*.md")
if(MORVEX_MANUAL_PAGE)
  # The whole build makes the page; one of the program alone does not, and
  # installing what it built still works, without the page and saying so.
  install(CODE "if(NOT EXISTS \"${MORVEX_MANUAL_PAGE}\")
      message(STATUS \"Manual page not installed: build the target morvex-uninstall-manual-page (or all) to make it\")
    endif()" COMPONENT manual)
  install(FILES ${MORVEX_MANUAL_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT manual OPTIONAL)
endif()
