# Fails when code outside platform/ reaches the operating system, the toolkit or the
# real clocks directly instead of through the injected services, and when the product
# (app/, monitor/, display/, platform/) reaches into the simulator. The simulator's own
# windows (sim/fltk/, sim/windows/) may use their toolkit, never the real clocks.
set(toolkit "#include <(windows\\.h|FL/|sys/io\\.h|unistd\\.h|linux/)")
set(clocks "sleep_for|sleep_until\\(std|steady_clock::now|system_clock::now|localtime")
set(simulator "#include \"sim/")

function(check pattern)
  foreach(source IN LISTS ARGN)
    file(STRINGS ${source} lines REGEX "${pattern}")
    foreach(line IN LISTS lines)
      string(APPEND violations "${source}: ${line}\n")
    endforeach()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
endfunction()

set(violations "")
file(GLOB_RECURSE core ${ROOT}/app/*.?pp ${ROOT}/monitor/*.?pp ${ROOT}/display/*.?pp ${ROOT}/sim/*.?pp)
file(GLOB_RECURSE sim_views ${ROOT}/sim/fltk/*.?pp ${ROOT}/sim/windows/*.?pp)
list(REMOVE_ITEM core ${sim_views})
file(GLOB_RECURSE product ${ROOT}/app/*.?pp ${ROOT}/monitor/*.?pp ${ROOT}/display/*.?pp ${ROOT}/platform/*.?pp)
check("${toolkit}|${clocks}" ${core})
check("${clocks}" ${sim_views})
check("${simulator}" ${product})
if(violations)
  message(FATAL_ERROR "Outside platform/ only the injected services may be used, and the product never uses "
                      "the simulator:\n${violations}")
endif()
