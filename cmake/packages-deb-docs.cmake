# Run by cpack on the Debian package's staged files: Debian ships manual pages
# compressed (man reads either), and -n keeps the package the same from one
# build to the next.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man1/*.1")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page} failed: ${status}")
  endif()
endforeach()
