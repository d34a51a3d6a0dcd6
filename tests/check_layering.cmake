# Fails when code outside platform/ reaches the operating system, the toolkit or the
# real clocks directly instead of through the injected services.
set(forbidden "#include <(windows\\.h|FL/|sys/io\\.h|unistd\\.h|linux/)|sleep_for|sleep_until\\(std|steady_clock::now|system_clock::now|localtime")
file(GLOB_RECURSE sources ${ROOT}/app/*.?pp ${ROOT}/monitor/*.?pp ${ROOT}/display/*.?pp ${ROOT}/sim/*.?pp)
set(violations "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines REGEX "${forbidden}")
  foreach(line IN LISTS lines)
    string(APPEND violations "${source}: ${line}\n")
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "Outside platform/ only the injected services may be used:\n${violations}")
endif()
