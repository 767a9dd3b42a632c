# Read by cpack before it packs the Windows zip: a build folder the zip takes
# a program from must exist, or cpack would only say its install step failed.
foreach(build_dir IN LISTS CPACK_MORVEX_WINDOWS_BUILD_DIRS)
  if(NOT EXISTS "${build_dir}/cmake_install.cmake")
    message(FATAL_ERROR
      "The Windows zip takes a program from ${build_dir}, which is not a configured build folder. "
      "Build it as README.md says, or configure this build with MORVEX_WINDOWS_I686_BUILD_DIR "
      "and MORVEX_WINDOWS_X86_64_BUILD_DIR naming the two Windows builds.")
  endif()
endforeach()
