#!/bin/bash
# Runs in the i386 machine (Debian's 686 kernel on a processor without SSE2), as root,
# on the host's root, under a static i386 bash with a static i386 busybox's tools: the
# host's amd64 programs cannot run here. Attaches the emulated IO-Warrior 24 and runs
# the i386 build's lumatext as a user with only CAP_SYS_RAWIO, as the package's unit
# starts it. Writes "PASS CASE details" or "FAIL CASE: why" to ARTIFACT-DIR/results.
# Usage: guest-i386.sh SOURCE-DIR BUILD-DIR ARTIFACT-DIR CASE...
# ARTIFACT-DIR/programs holds the i386 programs: lumatext, lumatext-sim, usbip-relay,
# rawio-user-exec, bash and busybox.
set -uo pipefail
src=$1 art=$3
shift 3
programs=$art/programs
"$programs/busybox" mkdir -p /tmp/busybox && "$programs/busybox" --install -s /tmp/busybox
export PATH=/tmp/busybox
results=$art/results
device_log=$art/device.log
address_log=$art/address-port.log
attach=/sys/devices/platform/vhci_hcd.0
: >"$results"
mkdir -p "$art/cases"
echo "guest: Linux $(uname -r) $(uname -m), cases: $*"
text="CPU Temperatur : 45'C"
tolerance_ms=1

. "$src/tests/vm/text_checks.sh"

monitor_stand_in
attach_iowarrior_24 "$programs/usbip-relay"
user_id=4711
home=/tmp/home-user
mkdir -p "$home" && chown $user_id:$user_id "$home"

# The expected reports and their nominal distances, from the i386 simulator.
simulated_writes "$programs/lumatext-sim" --at 0:Messen --at 1:Ende >"$art/expected-writes"

# Runs lumatext as the user with only CAP_SYS_RAWIO, with its arguments; sets pid.
start_as_user() {
  local stderr=$1
  shift
  HOME=$home "$programs/rawio-user-exec" $user_id $user_id "$group_id" "$programs/lumatext" "$@" 2>"$stderr" &
  pid=$!
}

# i386_cpu: the processor has no SSE2, so an SSE2 instruction in what runs here traps.
case_i386_cpu() {
  local flags model
  flags=$(awk -F': ' '/^flags/ { print $2; exit }' /proc/cpuinfo)
  model=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
  [ -n "$flags" ] || { fail "no flags in /proc/cpuinfo"; return; }
  case " $flags " in *" sse2 "*) fail "the processor has sse2: $flags"; return ;; esac
  [ "$(uname -m)" = i686 ] || { fail "uname -m says $(uname -m)"; return; }
  pass i386_cpu "$model, $(uname -m), no sse2 among: $flags"
}

# i386_check: lumatext --check as the user with only CAP_SYS_RAWIO on the working set-up.
case_i386_check() {
  local address out ids node_line
  # What the helper gives: the user's ids and CAP_SYS_RAWIO (bit 17) alone.
  ids=$("$programs/rawio-user-exec" $user_id $user_id "$group_id" /tmp/busybox/cat /proc/self/status \
    | awk '/^(Uid|Gid|Groups|CapInh|CapPrm|CapEff|CapAmb):/ { printf "%s %s ", $1, $2 }')
  echo "$ids" | grep -q "^Uid: $user_id Gid: $user_id Groups: $group_id CapInh: 0000000000020000 CapPrm: 0000000000020000 CapEff: 0000000000020000 CapAmb: 0000000000020000 $" \
    || { fail "the user's ids and capabilities are $ids"; return; }
  address=$(size_of "$address_log")
  out=$(HOME=$home "$programs/rawio-user-exec" $user_id $user_id "$group_id" "$programs/lumatext" --check 2>&1)
  status=$?
  echo "$out" >"$dir/check.txt"
  check_working_report "$status" "$out" "$address" || return
  pass i386_check "$ids: exit 0; $(echo "$node_line" | tr -s ' '); $(echo "$out" | grep '^OK .*Messung' | tr -s ' ')"
}

# i386_headless: the temperature text byte for byte, each hold at least nominal; TERM in
# the pause ends it with nothing sent after the text.
case_i386_headless() {
  local start summary
  start=$(($(lines) + 1))
  start_as_user "$dir/stderr" --headless
  headless_term_in_pause "$start" 100 || return
  pass i386_headless "TERM in the pause: exit 143, nothing after the text; $summary"
}

# i386_unplug: the IO-Warrior unplugged in the middle of the text: lumatext closes it,
# sends nothing more and waits for it to come back; TERM then ends the wait (143), even
# when the loss came in the middle of a press.
case_i386_unplug() {
  local start at_unplug deadline
  start=$(($(lines) + 1))
  start_as_user "$dir/stderr" --headless
  wait_writes "$start" 30 40 || { fail "the text did not start: $(cat "$dir/stderr")"; return; }
  echo 0 >"$attach/detach" || { fail "detach failed"; return; }
  at_unplug=$(writes_from "$start")
  deadline=$((SECONDS + 15))
  until grep -q "IO-Warrior getrennt: lumatext wartet" "$dir/stderr"; do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "ended with $? after the unplug: $(cat "$dir/stderr")"; return; }
    [ $SECONDS -lt $deadline ] || { fail "no word of the loss within 15 s: $(cat "$dir/stderr")"; return; }
    sleep 0.2
  done
  sleep 2
  kill -0 "$pid" 2>/dev/null || { fail "ended while waiting for the IO-Warrior: $(cat "$dir/stderr")"; return; }
  [ "$(writes_from "$start")" = "$at_unplug" ] || { fail "reports after the unplug"; return; }
  kill -TERM "$pid"
  wait_exit "$pid" 10
  [ "$status" = 143 ] || { fail "exit status $status after TERM in the wait, expected 143: $(cat "$dir/stderr")"; return; }
  local summary
  summary=$(check_text "$start" prefix) || { fail "$summary"; return; }
  pass i386_unplug "unplugged after report $at_unplug: $(grep -m1 getrennt "$dir/stderr"), nothing sent after; TERM in the wait: exit 143; $summary"
}

for case_name in "$@"; do
  run_case "$case_name"
done
kill $relay 2>/dev/null
dmesg >"$art/dmesg.log"
