# The Windows packages: an NSIS setup and a portable .zip, both with the programs, the
# licence, how to set up PawnIO, PawnIO's signed modules beside lumatext.exe (LpcIO.bin
# and the CPU temperature modules, with their licence and their sources) and PawnIO's own signed setup; the setup adds
# Start-menu entries and an uninstaller, and runs PawnIO's setup where PawnIO is
# missing or older. `cmake --build build/windows --target package` makes both.
include(${CMAKE_CURRENT_LIST_DIR}/package-common.cmake)
lumatext_windows_packages(win64 PawnIO.txt "PawnIO einrichten" lumatext "$PROGRAMFILES64" amd64-unicode)
# The modules where lumatext looks for them, unchanged; LGPL 2.1: their licence and their
# sources beside.
set(lumatext_pawnio_modules ${PROJECT_SOURCE_DIR}/third_party/pawnio-modules)
install(FILES ${LUMATEXT_PAWNIO_MODULE_FILES} DESTINATION bin)
install(FILES ${lumatext_pawnio_modules}/COPYING DESTINATION third-party/PawnIO.Modules RENAME COPYING.txt)
install(FILES ${lumatext_pawnio_modules}/README.md DESTINATION third-party/PawnIO.Modules RENAME README.txt)
install(DIRECTORY ${lumatext_pawnio_modules}/source/ DESTINATION third-party/PawnIO.Modules/source)
# PawnIO's own signed setup and its terms: the setup runs it when its section "PawnIO"
# is ticked (the default).
set(lumatext_pawnio_setup ${PROJECT_SOURCE_DIR}/third_party/pawnio-setup)
install(FILES ${lumatext_pawnio_setup}/PawnIO_setup.exe ${lumatext_pawnio_setup}/LicenseSigned.txt DESTINATION PawnIO)
install(FILES ${lumatext_pawnio_setup}/README.md DESTINATION PawnIO RENAME README.txt)

# The PawnIO step (dist/windows/pawnio.nsh): its section, ticked by default, on the
# components page; run at the end of the core section, when the files are in place.
# CPack writes the values into CPackConfig.cmake unescaped: backslashes twice, NSIS's
# single quotes.
string(APPEND CPACK_NSIS_DEFINES "\n!include '${CMAKE_CURRENT_LIST_DIR}/pawnio.nsh'")
set(CPACK_NSIS_PAGE_COMPONENTS "!insertmacro MUI_PAGE_COMPONENTS")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro LumatextPawnIoSection")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "Delete '$INSTDIR\\PawnIO\\setup.log'")

# The Windows service on the setup's last page (shared with the 32-bit setup), after the
# PawnIO step: the service starts with PawnIO in place.
include(${CMAKE_CURRENT_LIST_DIR}/package-service.cmake)
