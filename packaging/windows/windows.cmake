# The show on Windows, in one place: the program's Windows settings (GUI subsystem, resources,
# link options), its one folder (program, DLLs, data, README and licences)
# and that folder packaged as a per-user NSIS installer through CPack; scripts/windows zips the
# same folder. FROSTFUNKEL_WINDOWS_PREFIX is the prefix the cross-built libraries were
# installed into.
set(FROSTFUNKEL_WINDOWS_PREFIX "" CACHE PATH
  "Prefix of the Windows builds of SDL 1.2 and its companions")
if(NOT IS_DIRECTORY "${FROSTFUNKEL_WINDOWS_PREFIX}/bin")
  message(FATAL_ERROR "FROSTFUNKEL_WINDOWS_PREFIX must name the prefix of the cross-built "
    "libraries (scripts/windows sets it)")
endif()
set(_ff_windows "${CMAKE_CURRENT_LIST_DIR}")
set(_ff_out "${PROJECT_BINARY_DIR}/windows")
# What the installer is called, by whom, and that its files are stripped; the name Windows
# users see, the project's address (from the AppStream entry) and the copyright line of the
# licence.
set(CPACK_PACKAGE_NAME frostfunkel)
set(CPACK_PACKAGE_VENDOR "The Frostfunkel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen Christmas greeting show with a carol medley")
set(CPACK_STRIP_FILES ON)
set(FF_NAME Frostfunkel)
file(STRINGS "${CMAKE_CURRENT_SOURCE_DIR}/org.example.frostfunkel.metainfo.xml" FF_HOMEPAGE
  REGEX "<url type=\"homepage\">")
string(REGEX REPLACE ".*>(.*)</url>.*" "\\1" FF_HOMEPAGE "${FF_HOMEPAGE}")
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" FF_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
# The libraries' pinned sources, for the README.
file(STRINGS "${_ff_windows}/libraries.env" _ff_sources REGEX "^[A-Z_]+=")
foreach(_ff_line ${_ff_sources})
  string(REGEX MATCH "^([A-Z_]+)=(.*)" _ff_line "${_ff_line}")
  set(FF_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
endforeach()

# ---- The program
# A GUI-subsystem executable: no console, SDL's entry wrapper calls SDL_main.
set_target_properties(frostfunkel PROPERTIES WIN32_EXECUTABLE ON)
# No PE time stamp and the GCC runtime linked in: the same sources give the same program, and
# it needs no DLL beyond the libraries' and the system's.
target_link_options(frostfunkel PRIVATE -Wl,--no-insert-timestamp -static-libgcc -static-libstdc++)
# The resources: the icon as resource SDL_app, the first icon in the executable (classic SDL 1.2
# loads its window icon by that name, sdl12-compat through SDL2 takes the executable's first
# icon), the manifest and the version details, all from the project's version.
set(FROSTFUNKEL_ICO "${PROJECT_SOURCE_DIR}/packaging/icons/frostfunkel.ico")
set(FF_MANIFEST "${_ff_out}/frostfunkel.manifest")
set(FF_VERSION4 "${PROJECT_VERSION}.0")
string(REPLACE "." "," FF_VERSION_COMMAS "${FF_VERSION4}")
set(FF_DESCRIPTION "${FF_NAME}, a ${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
configure_file("${_ff_windows}/frostfunkel.manifest.in" "${FF_MANIFEST}" @ONLY)
configure_file("${_ff_windows}/frostfunkel.rc.in" "${_ff_out}/frostfunkel.rc" @ONLY)
target_sources(frostfunkel PRIVATE "${_ff_out}/frostfunkel.rc")
# windres reads the icon and the manifest, which CMake's scan of the script does not see.
set_source_files_properties("${_ff_out}/frostfunkel.rc" DIRECTORY "${PROJECT_SOURCE_DIR}"
  PROPERTIES OBJECT_DEPENDS "${FROSTFUNKEL_ICO};${FF_MANIFEST}")

# ---- The folder
# Everything in one folder, the shortcut's start folder: the show opens its data by bare name
# and SDL writes stdout.txt and stderr.txt beside the program. Each file's name goes into
# _ff_files too, for the uninstaller.
install(TARGETS frostfunkel RUNTIME DESTINATION .)
install(FILES ${FROSTFUNKEL_DATA_FILES} DESTINATION .)
set(_ff_files frostfunkel.exe)
foreach(_ff_file ${FROSTFUNKEL_DATA_FILES})
  get_filename_component(_ff_name "${_ff_file}" NAME)
  list(APPEND _ff_files "${_ff_name}")
endforeach()
# The prefix's bin holds exactly the DLLs the recipe built, all of which the show loads; they
# are shipped without their symbol tables, as the program is (strip takes the PE time stamp
# from SOURCE_DATE_EPOCH, which scripts/windows sets).
file(GLOB _ff_dlls "${FROSTFUNKEL_WINDOWS_PREFIX}/bin/*.dll")
set(_ff_stripped)
foreach(_ff_dll ${_ff_dlls})
  get_filename_component(_ff_name "${_ff_dll}" NAME)
  add_custom_command(OUTPUT "${_ff_out}/${_ff_name}"
    COMMAND "${CMAKE_STRIP}" --strip-unneeded -o "${_ff_out}/${_ff_name}" "${_ff_dll}"
    DEPENDS "${_ff_dll}" VERBATIM)
  list(APPEND _ff_stripped "${_ff_out}/${_ff_name}")
  list(APPEND _ff_files "${_ff_name}")
endforeach()
add_custom_target(frostfunkel_dlls ALL DEPENDS ${_ff_stripped})
install(FILES ${_ff_stripped} DESTINATION .)

# Text files with Windows line ends, readable in any Windows editor; the README gets the
# project's values filled in, the licence names the data files as the folder has them (beside
# the program, not in the source tree's data/).
function(ff_windows_text source destination)
  file(READ "${source}" text)
  if(destination STREQUAL "README.txt")
    string(CONFIGURE "${text}" text @ONLY)
  elseif(destination STREQUAL "LICENSE.txt")
    string(REPLACE "data/" "" text "${text}")
  endif()
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${_ff_out}/${destination}" "${text}")
  get_filename_component(folder "${destination}" DIRECTORY)
  install(FILES "${_ff_out}/${destination}" DESTINATION "./${folder}")
  set(_ff_files ${_ff_files} "${destination}" PARENT_SCOPE)
endfunction()
ff_windows_text("${_ff_windows}/README.txt" README.txt)
ff_windows_text("${PROJECT_SOURCE_DIR}/LICENSE" LICENSE.txt)
file(GLOB _ff_licences "${FROSTFUNKEL_WINDOWS_PREFIX}/share/licences/*.txt")
foreach(_ff_licence ${_ff_licences})
  get_filename_component(_ff_name "${_ff_licence}" NAME)
  ff_windows_text("${_ff_licence}" "licences/${_ff_name}")
endforeach()

# ---- The installer
# CPack's NSIS generator with the project's own script (NSIS.template.in beside this file):
# installed for the user who runs it, without administrator rights, under
# %LOCALAPPDATA%\Programs\Frostfunkel, a Start-menu shortcut for that user and an uninstall
# entry under HKCU. CPack passes these values to the script as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_MODULE_PATH "${_ff_windows}")
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_FILE_NAME "frostfunkel-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${FF_NAME}")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "${FF_NAME}")
set(CPACK_NSIS_DISPLAY_NAME "${FF_NAME}")
set(CPACK_NSIS_PACKAGE_NAME "${FF_NAME} ${PROJECT_VERSION}")
set(CPACK_NSIS_BRANDING_TEXT "${FF_NAME} ${PROJECT_VERSION}, a Christmas greeting show")
set(CPACK_NSIS_URL_INFO_ABOUT "${FF_HOMEPAGE}")
set(CPACK_NSIS_FF_COPYRIGHT "${FF_COPYRIGHT}")
set(CPACK_NSIS_FF_VERSION4 "${FF_VERSION4}")
# The installer's own icon at every size Windows shows, 16 to 256 pixels, and the picture of its
# welcome and finish pages (both made by tools/make-icon).
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/packaging/icons/frostfunkel-installer.ico")
set(CPACK_NSIS_FF_WELCOME_BITMAP "${PROJECT_SOURCE_DIR}/packaging/icons/frostfunkel-installer.bmp")
# The licence page shows each paragraph as one line, which the page wraps to its width, and
# names the data files as LICENSE.txt does.
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" _ff_licence)
string(REPLACE "data/" "" _ff_licence "${_ff_licence}")
string(REPLACE "\n\n" "\r" _ff_licence "${_ff_licence}")
string(REPLACE "\n" " " _ff_licence "${_ff_licence}")
string(STRIP "${_ff_licence}" _ff_licence)
string(REPLACE "\r" "\r\n\r\n" _ff_licence "${_ff_licence}")
file(WRITE "${_ff_out}/licence-page.txt" "${_ff_licence}")
set(CPACK_RESOURCE_FILE_LICENSE "${_ff_out}/licence-page.txt")
# The uninstaller removes the installed files by name, in a fixed order (so that the installer's
# bytes do not depend on how a file system lists a folder), and then their folders when empty.
list(SORT _ff_files)
set(CPACK_NSIS_FF_DELETE_FILES "")
set(CPACK_NSIS_FF_REMOVE_FOLDERS "")
set(_ff_folders)
foreach(_ff_file ${_ff_files})
  get_filename_component(_ff_folder "${_ff_file}" DIRECTORY)
  list(APPEND _ff_folders ${_ff_folder})
  string(REPLACE "/" "\\" _ff_file "${_ff_file}")
  string(APPEND CPACK_NSIS_FF_DELETE_FILES "  Delete \"$INSTDIR\\${_ff_file}\"\n")
endforeach()
list(REMOVE_DUPLICATES _ff_folders)
foreach(_ff_folder ${_ff_folders})
  string(APPEND CPACK_NSIS_FF_REMOVE_FOLDERS "  RMDir \"$INSTDIR\\${_ff_folder}\"\n")
endforeach()
include(CPack)
