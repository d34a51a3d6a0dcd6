# Runs lumatext-sim with command lines it must refuse: each exits 2, prints nothing on
# standard output (nothing was simulated), and names the argument in its first line of
# standard error, followed by the usage. Arguments of one row are separated by "|".
# EMULATOR, when set, runs SIM (Wine for the Windows build).
set(rows
  "--temperature|abc"          "--temperature"
  "--temperature|256"          "--temperature"
  "--temperature|-3"           "--temperature"
  "--fan-count|1,,2"           "--fan-count"
  "--fan-count|99999999999"    "--fan-count"
  "--time-of-day|25:00:00"     "--time-of-day"
  "--time-of-day|12:00"        "--time-of-day"
  "--time-of-day|noon"         "--time-of-day"
  "--at|5:Starten"             "--at"
  "--at|5Messen"               "--at"
  "--at|-1:Ende"               "--at"
  "--speed|-1"                 "--speed"
  "--speed|schnell"            "--speed"
  "--max-time|1e400"           "--max-time"
  "--unplug-at|x"              "--unplug-at"
  "--iowarrior|27"             "--iowarrior"
  "--bogus"                    "--bogus"
  "--log"                      "--log"
  "--headless|--at"            "--at"
  "--type|Größe"               "--type"
  "--type|a\tb"                "--type"
  "--type|A|--unattended"      "--type"
  "--test-keys|--at|1:Ende"    "--test-keys"
  "--test-keys|--type|A"       "--test-keys"
)
include(${CMAKE_CURRENT_LIST_DIR}/refused_arguments.cmake)
check_refused_arguments(lumatext-sim "${rows}" ${EMULATOR} ${SIM} --headless --speed 0 --log -)
