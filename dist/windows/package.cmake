# The Windows packages: an NSIS setup and a portable .zip, both with the two programs,
# the licence and how to set up PawnIO; the setup adds Start-menu entries and an
# uninstaller. `cmake --build build/windows --target package` makes both.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/PawnIO.txt DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_VENDOR "lumatext developers")
set(CPACK_PACKAGE_FILE_NAME lumatext-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY lumatext)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Start-menu entries: both programs, then the PawnIO set-up and the licence.
set(CPACK_PACKAGE_EXECUTABLES lumatext lumatext lumatext-sim "lumatext-sim (Simulator)")
set(CPACK_NSIS_MENU_LINKS PawnIO.txt "PawnIO einrichten" LICENSE.txt "Lizenz")
set(CPACK_NSIS_PACKAGE_NAME lumatext)
set(CPACK_NSIS_DISPLAY_NAME lumatext)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\lumatext.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
# A 64-bit setup, as the programs are: it also runs where Windows (or Wine) has no 32-bit part.
# Set before the script (makensis-target): set later, in CPACK_NSIS_DEFINES, it makes
# $PROGRAMFILES64 give the 32-bit Program Files (x86).
if(CMAKE_HOST_UNIX)
  set(CPACK_NSIS_EXECUTABLE ${CMAKE_CURRENT_LIST_DIR}/makensis-target)
  set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS -DLUMATEXT_NSIS_TARGET=amd64-unicode)
else()
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
endif()
# Into the folder the user picks itself, not under the Debian package's /usr.
unset(CPACK_PACKAGING_INSTALL_PREFIX)

# The Windows service on the setup's last page (shared with the 32-bit setup).
include(${CMAKE_CURRENT_LIST_DIR}/package-service.cmake)
