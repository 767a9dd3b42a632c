# `cpack` in a build folder: the host build gives a Debian package, a Windows
# build gives the zip installer authors take the executables from.
set(CPACK_PACKAGE_NAME morvex-uninstall)
set(CPACK_PACKAGE_VENDOR "The morvex-uninstall developers")
set(CPACK_PACKAGE_CONTACT "The morvex-uninstall developers <maintainers@morvex-uninstall.invalid>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "uninstaller of the Morvex C/C++ Compiler add-on for Developer Studio")
set(CPACK_PACKAGE_DESCRIPTION
"Removes one release of the Morvex C/C++ Compiler, an add-on for Microsoft
Developer Studio 4.x and 5.0: takes it out of the compiler registrations,
puts an IDE's own settings back when no release is left there, removes
release 2.4's files by their shared-file counts, deletes the release's keys
and starts the installer's follow-on program. Outside Windows a folder laid
out as a Wine prefix, with the registry in regedit's export format, stands
for the machine.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME morvex-uninstall-${PROJECT_VERSION}-windows)
  # Either Windows build packs both: the 32-bit program at the top under the
  # name installers ship, which runs on every Windows the IDEs ran on, and the
  # 64-bit one in x64/. Each build folder knows only itself, so the other is
  # named here (by default the folder README and scripts/test use).
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(default_i686_build_dir ${PROJECT_BINARY_DIR})
    set(default_x86_64_build_dir ${PROJECT_SOURCE_DIR}/build-windows-x86_64)
  else()
    set(default_i686_build_dir ${PROJECT_SOURCE_DIR}/build-windows-i686)
    set(default_x86_64_build_dir ${PROJECT_BINARY_DIR})
  endif()
  set(MORVEX_WINDOWS_I686_BUILD_DIR ${default_i686_build_dir}
      CACHE PATH "32-bit Windows build whose program the zip ships at its top")
  set(MORVEX_WINDOWS_X86_64_BUILD_DIR ${default_x86_64_build_dir}
      CACHE PATH "64-bit Windows build whose program the zip ships in x64/")
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${MORVEX_WINDOWS_I686_BUILD_DIR};${PROJECT_NAME};ALL;/"
      "${MORVEX_WINDOWS_X86_64_BUILD_DIR};${PROJECT_NAME};program;/x64")
  set(CPACK_MORVEX_WINDOWS_BUILD_DIRS ${MORVEX_WINDOWS_I686_BUILD_DIR} ${MORVEX_WINDOWS_X86_64_BUILD_DIR})
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packages-windows-check.cmake)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/packages-deb-docs.cmake)
endif()

include(CPack)
