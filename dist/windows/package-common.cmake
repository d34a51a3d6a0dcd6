# What the 64-bit and the 32-bit Windows packages share: an NSIS setup and a portable
# .zip with both programs, the licence and `ports_text` (how to set up the port access,
# in the Start menu as `ports_link`); the setup, named `name`, installs into
# `install_root` (an NSIS folder variable), adds Start-menu entries and an uninstaller,
# and is built for `nsis_target` (amd64-unicode, x86-unicode). A macro: its settings are
# the including file's.
macro(lumatext_windows_packages bits ports_text ports_link name install_root nsis_target)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${ports_text} DESTINATION .)

  set(CPACK_GENERATOR NSIS ZIP)
  set(CPACK_PACKAGE_VENDOR "lumatext developers")
  set(CPACK_PACKAGE_FILE_NAME lumatext-${PROJECT_VERSION}-${bits})
  set(CPACK_PACKAGE_INSTALL_DIRECTORY lumatext)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  # Start-menu entries: both programs, then the ports' set-up and the licence.
  set(CPACK_PACKAGE_EXECUTABLES lumatext lumatext lumatext-sim "lumatext-sim (Simulator)")
  set(CPACK_NSIS_MENU_LINKS ${ports_text} "${ports_link}" LICENSE.txt "Lizenz")
  set(CPACK_NSIS_PACKAGE_NAME "${name}")
  set(CPACK_NSIS_DISPLAY_NAME "${name}")
  set(CPACK_NSIS_INSTALL_ROOT "${install_root}")
  set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\lumatext.exe)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  set(CPACK_NSIS_MODIFY_PATH OFF)
  # A setup of the programs' own bitness. Its target is set before the script
  # (makensis-target): set later, in CPACK_NSIS_DEFINES, it makes a 64-bit setup's
  # $PROGRAMFILES64 give the 32-bit Program Files (x86).
  if(CMAKE_HOST_UNIX)
    set(CPACK_NSIS_EXECUTABLE ${CMAKE_CURRENT_LIST_DIR}/makensis-target)
    set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS -DLUMATEXT_NSIS_TARGET=${nsis_target})
  else()
    set(CPACK_NSIS_DEFINES "Target ${nsis_target}")
  endif()
  # Into the folder the user picks itself, not under the Debian package's /usr.
  unset(CPACK_PACKAGING_INSTALL_PREFIX)
endmacro()
