# Run by cpack on the Debian package's staged files, to give them Debian's
# form: the licence as a machine-readable copyright file, a changelog, and
# documents over 4 KB and the manual page compressed (-n keeps the package the
# same from one build to the next). `cmake --install` keeps the plain papers.
file(GLOB docs "${CPACK_TEMPORARY_DIRECTORY}/*/share/doc/${CPACK_PACKAGE_NAME}")
if(NOT docs)
  message(FATAL_ERROR "no share/doc/${CPACK_PACKAGE_NAME} among the staged files")
endif()

# The licence text is LICENSE's, from its first paragraph after the copyright line.
file(READ "${docs}/LICENSE" license)
string(REGEX REPLACE "^.*\nCopyright \\(c\\) ([^\n]*)\n\n" "" license_text "${license}")
string(REGEX MATCH "\nCopyright \\(c\\) ([^\n]*)\n" ignored "${license}")
set(holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n+$" "" license_text "${license_text}")
string(REGEX REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REGEX REPLACE "\n" "\n " license_text "${license_text}")
file(WRITE "${docs}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${CPACK_PACKAGE_NAME}
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}

Files: *
Copyright: ${holder}
License: Expat

License: Expat
 ${license_text}
")
file(REMOVE "${docs}/LICENSE")

# A native package's changelog: one entry for the version packed; the
# project's history is its git log. The date honours SOURCE_DATE_EPOCH.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${docs}/changelog"
"${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Release ${CPACK_PACKAGE_VERSION}.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")

file(GLOB_RECURSE pages "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man1/*.1")
file(GLOB_RECURSE documents "${docs}/*")
set(compress "${docs}/changelog" ${pages})
foreach(document IN LISTS documents)
  file(SIZE "${document}" size)
  if(size GREATER 4096)
    list(APPEND compress "${document}")
  endif()
endforeach()
list(REMOVE_DUPLICATES compress)
foreach(file IN LISTS compress)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed: ${status}")
  endif()
endforeach()
