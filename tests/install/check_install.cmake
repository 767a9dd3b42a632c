# `cmake --install` into a fresh folder must leave a program that runs from
# there, its papers, and (where help2man was found) a manual page whose
# synopsis and version come from the program itself.
file(REMOVE_RECURSE ${CHECK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${CHECK_DIR}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

execute_process(COMMAND ${CHECK_DIR}/bin/morvex-uninstall --version
                RESULT_VARIABLE status OUTPUT_VARIABLE version_line)
if(NOT status EQUAL 0 OR NOT version_line STREQUAL "morvex-uninstall ${VERSION}\n")
  message(FATAL_ERROR "the installed program answered --version with ${status}: '${version_line}'")
endif()

foreach(paper README.md LICENSE NOTICE docs/error-lines.md)
  if(NOT EXISTS ${CHECK_DIR}/share/doc/morvex-uninstall/${paper})
    message(FATAL_ERROR "share/doc/morvex-uninstall/${paper} was not installed")
  endif()
endforeach()

set(page ${CHECK_DIR}/share/man/man1/morvex-uninstall.1)
if(NOT EXPECT_MANUAL_PAGE)
  if(EXISTS ${page})
    message(FATAL_ERROR "a manual page was installed although the build skipped it")
  endif()
  return()
endif()
if(NOT EXISTS ${page})
  message(FATAL_ERROR "share/man/man1/morvex-uninstall.1 was not installed")
endif()
file(READ ${page} text)
foreach(expected
    "\n.TH MORVEX-UNINSTALL \"1\" "         # help2man read --version ...
    "\"morvex-uninstall ${VERSION}\""
    "\n.SH SYNOPSIS\n.B morvex-uninstall\n" # ... and found the usage line in --help
    "VERSION_KEY"
    "\n.SH FILES\n"                         # the extra sections were included
    "\n.SH DIAGNOSTICS\n")
  string(FIND "${text}" "${expected}" position)
  if(position EQUAL -1)
    message(FATAL_ERROR "the manual page lacks '${expected}'")
  endif()
endforeach()
