# Scores the systemd unit as systemd-analyze does (offline, no systemd needed) and fails
# when its exposure exceeds MAX.
find_program(SYSTEMD_ANALYZE systemd-analyze)
if(NOT SYSTEMD_ANALYZE)
  message(FATAL_ERROR "systemd-analyze not found: apt-get install systemd (tools/install-deps does)")
endif()
execute_process(COMMAND ${SYSTEMD_ANALYZE} security --offline=yes --no-pager ${UNIT}
  OUTPUT_VARIABLE report ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT report MATCHES "Overall exposure level for [^:]+: ([0-9]+\\.[0-9]+)")
  message(FATAL_ERROR "no exposure level in the output of systemd-analyze (status ${status}):\n${report}${errors}")
endif()
set(score ${CMAKE_MATCH_1})
message("exposure of ${UNIT}: ${score} (at most ${MAX})")
if(score GREATER MAX)
  string(REGEX MATCHALL "\n[^\n]*✗[^\n]*" penalties "${report}")
  list(JOIN penalties "" penalties)
  message(FATAL_ERROR "exposure ${score} above ${MAX}; what costs:${penalties}")
endif()
