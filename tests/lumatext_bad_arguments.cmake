# Runs lumatext with command lines it must refuse: each exits 2, prints nothing on
# standard output, and names the argument in its first line of standard error, followed
# by the usage. Arguments of one row are separated by "|". EMULATOR, when set, runs
# PROGRAM (Wine for the Windows build).
set(rows
  "--bogus"             "--bogus"
  "--headless|-x"       "-x"
  "--check|--headles"   "--headles"
  "--type|Größe"        "--type"
  "--type|a\tb"         "--type"
  "--type"              "--type"
)
include(${CMAKE_CURRENT_LIST_DIR}/refused_arguments.cmake)
check_refused_arguments(lumatext "${rows}" ${EMULATOR} ${PROGRAM})
