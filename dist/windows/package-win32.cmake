# The 32-bit Windows packages, beside the 64-bit ones of package.cmake: an NSIS setup
# that installs into the 32-bit Program Files, and a portable .zip, both with the two
# programs, the licence and how to set up the port I/O DLL (IO.DLL or inpout32.dll);
# the setup adds Start-menu entries and an uninstaller.
# `cmake --build build/windows-i686 --target package` makes both.
include(${CMAKE_CURRENT_LIST_DIR}/package-common.cmake)
lumatext_windows_packages(win32 Ports.txt "Port-DLL einrichten" "lumatext (32-Bit)" "$PROGRAMFILES" x86-unicode)
# An uninstall entry of its own: on 64-bit Windows both setups may be installed.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "lumatext (32-Bit)")

# The Windows service on the setup's last page, as in the 64-bit setup.
include(${CMAKE_CURRENT_LIST_DIR}/package-service.cmake)
