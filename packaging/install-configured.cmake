# Install step: writes the launcher and the manual page for the prefix installed into, then
# installs them.
# Set beforehand by packaging/CMakeLists.txt: FF_SOURCE (this folder), FF_OUT (where to write),
# FF_VERSION, and the folders FF_BINDIR, FF_LIBEXECDIR, FF_DATADIR, FF_MANDIR (relative to the
# prefix or absolute).
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

# Compressed without name or time stamp, so the package's bytes do not depend on the build.
function(gzip_file path)
  execute_process(COMMAND gzip -9nf "${path}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${path}")
  endif()
endfunction()

set(READ_ONLY OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
configure_file("${FF_SOURCE}/frostfunkel.sh.in" "${FF_OUT}/frostfunkel" @ONLY)
configure_file("${FF_SOURCE}/frostfunkel.6.in" "${FF_OUT}/frostfunkel.6" @ONLY)
gzip_file("${FF_OUT}/frostfunkel.6")
file(INSTALL "${FF_OUT}/frostfunkel" DESTINATION "${FULL_BINDIR}"
  FILE_PERMISSIONS ${READ_ONLY} OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
file(INSTALL "${FF_OUT}/frostfunkel.6.gz" DESTINATION "${FULL_MANDIR}/man6"
  FILE_PERMISSIONS ${READ_ONLY})
