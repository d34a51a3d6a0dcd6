# Sourced by the machines' case scripts: the emulated IO-Warrior 24 attached, running a
# case and its results, the device's log, the simulator's expected reports, waiting for
# writes and for the program's end, and the checks of the temperature text at the
# device. The caller defines results (the machine's results file), case_name,
# device_log, address_log, dir (the case's artifacts), art (the machine's artifacts,
# with expected-writes from the simulator), tolerance_ms, and text (the temperature text).

# What the Linux program selects at the address port at its start, before any reading:
# the configuration register 0x00 and the vendor ID 0x58, which tell an ITE monitor.
identification="00 58"

. "$src/tests/vm/stand_in.sh"

pass() { echo "PASS $*" | tee -a "$results"; }
failed=""
fail() { [ -n "$failed" ] || echo "FAIL $case_name: $*" | tee -a "$results"; failed=1; }

lines() { wc -l <"$device_log"; }
# The device's log from line $1 on.
log_from() { tail -n +"$1" "$device_log"; }
# Number of writes in the device's log from line $1 on.
writes_from() { log_from "$1" | grep -c " write " || true; }

# Waits until the device has received $2 writes from line $1 on, or $3 seconds.
wait_writes() {
  local deadline=$((SECONDS + $3))
  while [ "$(writes_from "$1")" -lt "$2" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# Waits for process $1, a child of this shell, to end within $2 seconds; sets status
# to its exit status, or to "timeout".
wait_exit() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { status=timeout; return; }
    sleep 0.05
  done
  status=0
  wait "$1" || status=$?
}

# The reports the simulator $1 sends for its further arguments in virtual time, as
# check_text expects them: "TIME BYTE..." each, the first (the release at start) left out.
simulated_writes() {
  local sim=$1
  shift
  "$sim" --headless --speed 0 "$@" --log - 2>/dev/null \
    | awk '$2 == "write" { n++; if (n > 1) { line = $1; for (i = 4; i <= NF; i++) line = line " " $i; print line } }'
}
# The last report in the device's log from line $1 on: "ID BYTE...".
last_report() { log_from "$1" | awk '$2 == "write"' | tail -n 1 | cut -d' ' -f3-; }

# Capability sets of process $1 that are not zero (the bounding set is no privilege).
capabilities() {
  awk '/^Cap(Inh|Prm|Eff|Amb):/ && $2 !~ /^0+$/ { printf "%s%s ", $1, $2 }' "/proc/$1/status"
}

# The headless program (pid, its standard error in $dir/stderr), started when the
# device's log had $1 lines: no capability left once it writes; the sign reads back text
# within $2 seconds; TERM in the pause that follows ends it with 143, nothing sent after
# the text and the node closed once. Sets summary to check_text's; fails the case and
# returns 1 otherwise.
headless_term_in_pause() {
  local start=$1 count caps deadline=$((SECONDS + $2))
  wait_writes "$start" 2 30 || { fail "no start of entry: $(cat "$dir/stderr")"; return 1; }
  caps=$(capabilities "$pid")
  [ -z "$caps" ] || { fail "capabilities left while it runs: $caps"; return 1; }
  until log_from "$start" | grep -q " sign $text$"; do
    [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null || { fail "the sign never read back '$text'"; return 1; }
    sleep 0.1
  done
  # In the pause now.
  sleep 1
  count=$(writes_from "$start")
  kill -TERM "$pid"
  wait_exit "$pid" 10
  [ "$status" = 143 ] || { fail "exit status $status after TERM in the pause, expected 143"; return 1; }
  summary=$(check_text "$start" all) || { fail "$summary"; return 1; }
  [ "$(writes_from "$start")" = "$count" ] || { fail "a report came after TERM in the pause"; return 1; }
  [ "$(log_from "$start" | grep -c ' close 1$')" = 1 ] || { fail "the node was not closed exactly once"; return 1; }
}

# lumatext --check on the working set-up, which ended with status $1 and reported $2:
# exit 0, the IO-Warrior 24 named with its serial, the temperature read through the
# ports (register 29, then 0d, written to the address port since it had $3 bytes). Sets
# node_line to the report's line for the node; fails the case and returns 1 otherwise.
check_working_report() {
  local addr
  [ "$1" = 0 ] || { fail "exit status $1 on the working set-up: $2"; return 1; }
  node_line=$(echo "$2" | grep "^OK .*iowarrior0: .*IO-Warrior 24.*Seriennummer 00001A2B")
  [ -n "$node_line" ] || { fail "the report does not name the IO-Warrior 24 and its serial: $2"; return 1; }
  echo "$2" | grep -q "CPU Temperatur : 45'C" || { fail "no reading in the report: $2"; return 1; }
  addr=$(address_bytes_from "$3")
  [ "$addr" = "$identification 29 0d" ] || { fail "the address port received '$addr', expected $identification 29 0d"; return 1; }
}

# Attaches the emulated IO-Warrior 24 through the relay program $1 (sets relay), and does
# to its node what the package's udev rule does, as udev would on plugging (the machines
# run no udev). Sets rule, group, mode and group_id.
attach_iowarrior_24() {
  local node
  "$1" iow24 0 65538 1 >"$art/relay.log" 2>&1 &
  relay=$!
  for _ in $(seq 1 100); do [ -e /dev/usb/iowarrior0 ] && break; sleep 0.05; done
  rule=$src/dist/60-lumatext-iowarrior.rules
  group=$(sed -n 's/.*GROUP="\([^"]*\)".*/\1/p' "$rule")
  mode=$(sed -n 's/.*MODE="\([^"]*\)".*/\1/p' "$rule")
  for node in /dev/usb/iowarrior*; do chgrp "$group" "$node" && chmod "$mode" "$node"; done
  group_id=$(awk -F: -v g="$group" '$1 == g { print $3 }' /etc/group)
}

# Runs case $1 (the function case_$1) with an artifacts folder of its own, then ends the
# program it left running, if any.
run_case() {
  case_name=$1 failed=""
  dir=$art/cases/$case_name && mkdir -p "$dir"
  if declare -F "case_$case_name" >/dev/null; then
    "case_$case_name"
  else
    fail "no such case"
  fi
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  pid=""
}

size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
# The bytes written to the address port since it had $1 bytes, in hex.
address_bytes_from() { tail -c +$(($1 + 1)) "$address_log" | od -An -tx1 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

# Compares the device's writes from line $1 on (after the release at start) with the
# expected text, report by report (every byte of each), and each distance with its
# nominal length; prints the holds' excess over nominal: min, median, max in ms, and the
# median distance of the reports written back to back (one write's round trip). $2: all
# (the whole text) or prefix (the writes may stop early); $3: the expected writes, "TIME
# BYTE..." per report (default: $art/expected-writes); $4: "untimed" where the distances
# are shown but not judged (a driver whose write returns before the report is sent).
check_text() {
  log_from "$1" | awk '$2 == "write"' | tail -n +2 >"$dir/text-writes"
  awk -v mode="$2" -v tol=$tolerance_ms -v untimed="${4:-}" '
    NR == FNR { et[NR] = $1; eb[NR] = $2; for (i = 3; i <= NF; i++) eb[NR] = eb[NR] " " $i; n = NR; next }
    { m++; t[m] = $1; b[m] = $4; for (i = 5; i <= NF; i++) b[m] = b[m] " " $i }
    END {
      if (m == 0) { print "no writes"; exit 1 }
      if (mode == "all" && m != n) { printf "%d writes, expected %d\n", m, n; exit 1 }
      if (m > n) { printf "%d writes, more than the %d of the text\n", m, n; exit 1 }
      for (i = 1; i <= m; i++) if (b[i] != eb[i]) { printf "write %d is %s, expected %s\n", i, b[i], eb[i]; exit 1 }
      k = 0; z = 0
      for (i = 2; i <= m; i++) {
        nominal = et[i] - et[i - 1]
        if (nominal < 1) { z++; bb[z] = t[i] - t[i - 1]; continue }
        d = (t[i] - t[i - 1]) - nominal
        if (d < -tol && untimed == "") { printf "distance before write %d: %.3f ms, nominal %.3f ms\n", i, t[i] - t[i - 1], nominal; exit 1 }
        k++; ex[k] = d
      }
      for (i = 2; i <= k; i++) { v = ex[i]; j = i - 1; while (j >= 1 && ex[j] > v) { ex[j + 1] = ex[j]; j-- } ex[j + 1] = v }
      for (i = 2; i <= z; i++) { v = bb[i]; j = i - 1; while (j >= 1 && bb[j] > v) { bb[j + 1] = bb[j]; j-- } bb[j + 1] = v }
      typed = (t[m] - t[1]) / 1000
      printf "%d reports, holds and waits over nominal: min %.3f ms, median %.3f ms, max %.3f ms; typed in %.3f s",
             m, ex[1], ex[int((k + 1) / 2)], ex[k], typed
      if (m == n) printf ", %.5f x the ideal %.3f s", typed / ((et[n] - et[1]) / 1000), (et[n] - et[1]) / 1000
      if (z > 0) printf "; reports back to back %.3f ms apart (median)", bb[int((z + 1) / 2)]
      printf "\n"
    }' "${3:-$art/expected-writes}" "$dir/text-writes"
}
