# Installs the show for Windows as one folder (program, DLLs, data, README and licences) and
# packages that folder as an NSIS installer through CPack; scripts/windows zips the same folder.
# FROSTFUNKEL_WINDOWS_PREFIX is the prefix the cross-built libraries were installed into.
set(FROSTFUNKEL_WINDOWS_PREFIX "" CACHE PATH
  "Prefix of the Windows builds of SDL 1.2 and its companions")
if(NOT IS_DIRECTORY "${FROSTFUNKEL_WINDOWS_PREFIX}/bin")
  message(FATAL_ERROR "FROSTFUNKEL_WINDOWS_PREFIX must name the prefix of the cross-built "
    "libraries (scripts/windows sets it)")
endif()
set(_ff_windows "${CMAKE_CURRENT_LIST_DIR}")

# No PE time stamp and the GCC runtime linked in: the same sources give the same program, and
# it needs no DLL beyond the libraries' and the system's.
target_link_options(frostfunkel PRIVATE -Wl,--no-insert-timestamp -static-libgcc -static-libstdc++)

# Everything in one folder, the shortcut's start folder: the show opens its data by bare name
# and SDL writes stdout.txt and stderr.txt beside the program.
install(TARGETS frostfunkel RUNTIME DESTINATION .)
install(FILES ${FROSTFUNKEL_DATA_FILES} DESTINATION .)
# The prefix's bin holds exactly the DLLs the recipe built, all of which the show loads; they
# are shipped without their symbol tables, as the program is (strip takes the PE time stamp
# from SOURCE_DATE_EPOCH, which scripts/windows sets).
file(GLOB _ff_dlls "${FROSTFUNKEL_WINDOWS_PREFIX}/bin/*.dll")
set(_ff_stripped)
foreach(_ff_dll ${_ff_dlls})
  get_filename_component(_ff_name "${_ff_dll}" NAME)
  set(_ff_out "${PROJECT_BINARY_DIR}/windows/${_ff_name}")
  add_custom_command(OUTPUT "${_ff_out}"
    COMMAND "${CMAKE_STRIP}" --strip-unneeded -o "${_ff_out}" "${_ff_dll}"
    DEPENDS "${_ff_dll}" VERBATIM)
  list(APPEND _ff_stripped "${_ff_out}")
endforeach()
add_custom_target(frostfunkel_dlls ALL DEPENDS ${_ff_stripped})
install(FILES ${_ff_stripped} DESTINATION .)

# Text files with Windows line ends, readable in any Windows editor.
function(ff_windows_text source destination)
  get_filename_component(name "${destination}" NAME)
  file(READ "${source}" text)
  string(REPLACE "@VERSION@" "${PROJECT_VERSION}" text "${text}")
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${PROJECT_BINARY_DIR}/windows/${destination}" "${text}")
  get_filename_component(folder "${destination}" DIRECTORY)
  install(FILES "${PROJECT_BINARY_DIR}/windows/${destination}" DESTINATION "./${folder}")
endfunction()
ff_windows_text("${_ff_windows}/README.txt" README.txt)
ff_windows_text("${PROJECT_SOURCE_DIR}/LICENSE" LICENSE.txt)
file(GLOB _ff_licences "${FROSTFUNKEL_WINDOWS_PREFIX}/share/licences/*.txt")
foreach(_ff_licence ${_ff_licences})
  get_filename_component(_ff_name "${_ff_licence}" NAME)
  ff_windows_text("${_ff_licence}" "licences/${_ff_name}")
endforeach()

# The installer: the same folder under Program Files, a Start-menu shortcut to the program
# (starting in the install folder, where the data is) and an uninstaller that also removes the
# output files the show wrote there.
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_FILE_NAME "frostfunkel-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Frostfunkel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Frostfunkel)
set(CPACK_PACKAGE_EXECUTABLES frostfunkel Frostfunkel)
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_BINARY_DIR}/windows/LICENSE.txt")
set(CPACK_NSIS_PACKAGE_NAME Frostfunkel)
set(CPACK_NSIS_DISPLAY_NAME Frostfunkel)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/packaging/icons/frostfunkel.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/packaging/icons/frostfunkel.ico")
set(CPACK_NSIS_INSTALLED_ICON_NAME frostfunkel.exe)
# A 64-bit installer, like the program; no file times stored in it, so that the same folder
# gives the same installer.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\n  SetDateSave off")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
  "Delete '$INSTDIR\\\\stdout.txt'\nDelete '$INSTDIR\\\\stderr.txt'")
# CPack's uninstaller removes the program's registry key but leaves the publisher's key above
# it, empty; this step comes after that removal.
set(CPACK_NSIS_DELETE_ICONS_EXTRA
  "DeleteRegKey /ifempty SHCTX 'Software\\\\${CPACK_PACKAGE_VENDOR}'")
include(CPack)
