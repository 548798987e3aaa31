# Install step: writes the launcher and the manual page for the prefix installed into, which
# "cmake --install --prefix" may change after configuring, and installs both.
# Set by CMakeLists.txt beforehand: FF_SOURCE, FF_BINARY, FF_VERSION and FF_BINDIR,
# FF_LIBEXECDIR, FF_DATADIR, FF_MANDIR (relative to the prefix or absolute).
foreach(dir BINDIR LIBEXECDIR DATADIR MANDIR)
  if(IS_ABSOLUTE "${FF_${dir}}")
    set(FULL_${dir} "${FF_${dir}}")
  else()
    set(FULL_${dir} "${CMAKE_INSTALL_PREFIX}/${FF_${dir}}")
  endif()
endforeach()
set(FULL_PROGRAM "${FULL_LIBEXECDIR}/frostfunkel/frostfunkel")
set(FULL_LAUNCHER "${FULL_BINDIR}/frostfunkel")
set(FULL_DATA "${FULL_DATADIR}/frostfunkel")
file(RELATIVE_PATH LAUNCHER_TO_PROGRAM "${FULL_BINDIR}" "${FULL_PROGRAM}")
file(RELATIVE_PATH LAUNCHER_TO_DATA "${FULL_BINDIR}" "${FULL_DATA}")
foreach(path LAUNCHER_TO_PROGRAM LAUNCHER_TO_DATA FULL_PROGRAM FULL_DATA FULL_LAUNCHER)
  # For the shell: in single quotes, a quote in the path closed, escaped and reopened.
  string(REPLACE "'" "'\\''" quoted "${${path}}")
  set(SH_${path} "'${quoted}'")
  # For the manual page: backslashes and hyphens escaped, no hyphenation inside.
  string(REPLACE "\\" "\\e" escaped "${${path}}")
  string(REPLACE "-" "\\-" escaped "${escaped}")
  string(REPLACE " " "\\ " escaped "${escaped}")
  set(MAN_${path} "\\%${escaped}")
endforeach()
set(PROJECT_VERSION "${FF_VERSION}")
set(out "${FF_BINARY}/installed")
configure_file("${FF_SOURCE}/packaging/frostfunkel.sh.in" "${out}/frostfunkel" @ONLY)
configure_file("${FF_SOURCE}/packaging/frostfunkel.6.in" "${out}/frostfunkel.6" @ONLY)
# Compressed without name or time stamp, so the package's bytes do not depend on the build.
execute_process(COMMAND gzip -9nf frostfunkel.6 WORKING_DIRECTORY "${out}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the manual page")
endif()
file(INSTALL "${out}/frostfunkel" DESTINATION "${FULL_BINDIR}" FILE_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(INSTALL "${out}/frostfunkel.6.gz" DESTINATION "${FULL_MANDIR}/man6" FILE_PERMISSIONS
  OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
