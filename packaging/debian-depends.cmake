# CPack project config: the Debian package's Depends, from dpkg-shlibdeps on the built program.
# dpkg-shlibdeps names only the SDL 1.2 runtime installed on the build machine; the show runs on
# either, since the classic libsdl1.2debian and sdl12-compat's shim both put libSDL-1.2.so.0 on
# the library path (the shim also provides libsdl1.2debian).
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
  message(WARNING "The Debian package is meant for the prefix /usr, not "
    "${CPACK_PACKAGING_INSTALL_PREFIX}; scripts/package configures it so.")
endif()
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_DEBIAN_PACKAGE_DEPENDS)
  set(_work "${CPACK_PACKAGE_DIRECTORY}/_shlibdeps")
  file(MAKE_DIRECTORY "${_work}/debian")
  file(WRITE "${_work}/debian/control" "Source: frostfunkel\n\nPackage: frostfunkel\nArchitecture: any\n")
  execute_process(
    COMMAND dpkg-shlibdeps -O "-e$<TARGET_FILE:frostfunkel>"
    WORKING_DIRECTORY "${_work}"
    RESULT_VARIABLE _status OUTPUT_VARIABLE _out ERROR_VARIABLE _err
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT _status EQUAL 0 OR NOT _out MATCHES "^shlibs:Depends=")
    message(FATAL_ERROR "dpkg-shlibdeps failed: ${_err}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=" "" _deps "${_out}")
  string(REGEX REPLACE "libsdl1\\.2-compat-shim( \\([^)]*\\))?|libsdl1\\.2debian( \\([^)]*\\))?"
    "libsdl1.2debian (>= 1.2.11) | libsdl1.2-compat-shim" _wide "${_deps}")
  if(_wide STREQUAL _deps)
    message(FATAL_ERROR "no SDL 1.2 runtime among the dependencies: ${_deps}")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_wide}")
endif()
