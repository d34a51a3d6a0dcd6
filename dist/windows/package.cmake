# The Windows packages: an NSIS setup and a portable .zip, both with the programs, the
# licence, how to set up PawnIO, PawnIO's signed module LpcIO.bin beside lumatext.exe
# (with its licence and its source) and PawnIO's own signed setup; the setup adds
# Start-menu entries and an uninstaller, and runs PawnIO's setup where PawnIO is
# missing or older. `cmake --build build/windows --target package` makes both.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/PawnIO.txt DESTINATION .)
# LpcIO.bin where lumatext looks for it; LGPL 2.1: its licence and its source beside.
set(lumatext_pawnio_modules ${PROJECT_SOURCE_DIR}/third_party/pawnio-modules)
install(FILES ${lumatext_pawnio_modules}/LpcIO.bin DESTINATION bin)
install(FILES ${lumatext_pawnio_modules}/COPYING DESTINATION third-party/LpcIO RENAME COPYING.txt)
install(FILES ${lumatext_pawnio_modules}/README.md DESTINATION third-party/LpcIO RENAME README.txt)
install(DIRECTORY ${lumatext_pawnio_modules}/source/ DESTINATION third-party/LpcIO/source)
# PawnIO's own signed setup and its terms: the setup runs it when its section "PawnIO"
# is ticked (the default).
set(lumatext_pawnio_setup ${PROJECT_SOURCE_DIR}/third_party/pawnio-setup)
install(FILES ${lumatext_pawnio_setup}/PawnIO_setup.exe ${lumatext_pawnio_setup}/LicenseSigned.txt DESTINATION PawnIO)
install(FILES ${lumatext_pawnio_setup}/README.md DESTINATION PawnIO RENAME README.txt)

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
# The PawnIO step (dist/windows/pawnio.nsh): its section, ticked by default, on the
# components page; run at the end of the core section, when the files are in place.
# CPack writes the values into CPackConfig.cmake unescaped: backslashes twice, NSIS's
# single quotes.
string(APPEND CPACK_NSIS_DEFINES "\n!include '${CMAKE_CURRENT_LIST_DIR}/pawnio.nsh'")
set(CPACK_NSIS_PAGE_COMPONENTS "!insertmacro MUI_PAGE_COMPONENTS")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro LumatextPawnIoSection")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "Delete '$INSTDIR\\PawnIO\\setup.log'")
# Into the folder the user picks itself, not under the Debian package's /usr.
unset(CPACK_PACKAGING_INSTALL_PREFIX)

# The Windows service on the setup's last page (shared with the 32-bit setup), after the
# PawnIO step: the service starts with PawnIO in place.
include(${CMAKE_CURRENT_LIST_DIR}/package-service.cmake)
