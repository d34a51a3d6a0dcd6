# The Windows service (dist/windows/service.nsh): a page of its own after the components
# page offers it; an update keeps a registered service with its start type and starts it
# again if it ran, a silent setup too, and /SERVICE sets one up. lumatext.exe registers
# it with all its other settings. The uninstaller stops and removes it first.
# The setup runs the installed version's uninstaller itself, after noting the service:
# CPack's own run of it comes before anything the setup could note.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
string(APPEND CPACK_NSIS_DEFINES "\n!include '${CMAKE_CURRENT_LIST_DIR}/service.nsh'")
string(APPEND CPACK_NSIS_PAGE_COMPONENTS "\n  Page custom LumatextServicePage LumatextServicePageLeave")
string(APPEND CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "\n  Call LumatextReplaceInstalled")
# After what the setup does after its files (the 64-bit setup's PawnIO step); the
# uninstaller removes the service before anything else.
string(APPEND CPACK_NSIS_EXTRA_INSTALL_COMMANDS "\n  Call LumatextSetUpService")
string(PREPEND CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  ExecWait '$\\\"$INSTDIR\\bin\\lumatext.exe$\\\" --remove-service'
")
