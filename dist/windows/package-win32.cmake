# The 32-bit Windows packages, beside the 64-bit ones of package.cmake: an NSIS setup
# that installs into the 32-bit Program Files, and a portable .zip, both with the two
# programs, the licence and how to set up the port I/O DLL (IO.DLL or inpout32.dll);
# the setup adds Start-menu entries and an uninstaller.
# `cmake --build build/windows-i686 --target package` makes both.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/Ports.txt DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_VENDOR "lumatext developers")
set(CPACK_PACKAGE_FILE_NAME lumatext-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_INSTALL_DIRECTORY lumatext)
# An uninstall entry of its own: on 64-bit Windows both setups may be installed.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "lumatext (32-Bit)")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Start-menu entries: both programs, then the port DLL's set-up and the licence.
set(CPACK_PACKAGE_EXECUTABLES lumatext lumatext lumatext-sim "lumatext-sim (Simulator)")
set(CPACK_NSIS_MENU_LINKS Ports.txt "Port-DLL einrichten" LICENSE.txt "Lizenz")
set(CPACK_NSIS_PACKAGE_NAME "lumatext (32-Bit)")
set(CPACK_NSIS_DISPLAY_NAME "lumatext (32-Bit)")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\lumatext.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
# A 32-bit setup, as the programs are: it runs on every Windows they run on. The target
# set before the script (makensis-target), as for the 64-bit setup.
if(CMAKE_HOST_UNIX)
  set(CPACK_NSIS_EXECUTABLE ${CMAKE_CURRENT_LIST_DIR}/makensis-target)
  set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS -DLUMATEXT_NSIS_TARGET=x86-unicode)
else()
  set(CPACK_NSIS_DEFINES "Target x86-unicode")
endif()
# Into the folder the user picks itself, not under the Debian package's /usr.
unset(CPACK_PACKAGING_INSTALL_PREFIX)

# The Windows service on the setup's last page, as in the 64-bit setup.
include(${CMAKE_CURRENT_LIST_DIR}/package-service.cmake)
