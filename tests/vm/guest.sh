#!/usr/bin/env bash
# Runs in the virtual machine, as root, on the host's root: attaches the emulated
# IO-Warrior 24 and runs the cases named on the command line, each as a user runs the
# program. Writes "PASS CASE details" or "FAIL CASE: why" lines to ARTIFACT-DIR/results.
# The device's log (device.log) and the address port's log are written outside the
# machine and read here through the shared artifact directory.
# Usage: guest.sh SOURCE-DIR BUILD-DIR ARTIFACT-DIR CASE...
set -uo pipefail
src=$1 build=$2 art=$3
shift 3
results=$art/results
device_log=$art/device.log
address_log=$art/address-port.log
lumatext=$build/app/lumatext
sim=$build/sim/lumatext-sim
attach=/sys/devices/platform/vhci_hcd.0
: >"$results"
mkdir -p "$art/cases"
echo "guest: Linux $(uname -r), cases: $*"

title="^ Ansteuerung Lumatext"
# Button centres in pixels at 96 dpi.
messen_xy="152 56"
ende_xy="428 56"
text="CPU Temperatur : 45'C"
# The holds and waits of the temperature text add up to 41.0 s.
text_seconds=41.0
# A hold measured at the device may fall short of its nominal length by no more than
# the clocks' granularity: the press is logged before the write returns to the program.
tolerance_ms=1

# --- the machine's set-up ---------------------------------------------------------

. "$src/tests/vm/text_checks.sh"

monitor_stand_in
attach_iowarrior_24 "$build/tests/vm/usbip-relay"

# The user: not root, the rule's group as a supplementary group, a home in /tmp.
user_id=4711
home=/tmp/home-user
mkdir -p "$home" && chown $user_id:$user_id "$home"

# The program as the package installs it: the capability for the ports as a file
# capability, which needs a file system with extended attributes (tmpfs; not 9p).
mkdir -p /tmp/bin
cp "$lumatext" /tmp/bin/lumatext
setcap cap_sys_rawio+ep /tmp/bin/lumatext
program=/tmp/bin/lumatext

Xvfb :1 -nolisten tcp -screen 0 1280x1024x24 -dpi 96 >"$art/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 1 200); do [ -S /tmp/.X11-unix/X1 ] && break; sleep 0.05; done
export DISPLAY=:1

# The expected text: every report and its nominal distance to the one before, from the
# simulator in virtual time.
simulated_writes "$sim" --at 0:Messen --at 1:Ende >"$art/expected-writes"

# --- helpers ------------------------------------------------------------------------

# Runs the program as the user, with its arguments; sets pid.
start_as_user() {
  local stderr=$1
  shift
  setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- \
    env HOME="$home" DISPLAY=:1 "$program" "$@" 2>"$stderr" &
  pid=$!
}

wait_window() {
  timeout 60 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}
click() { xdotool mousemove --window "$1" $2 click 1; }

# --- the cases ----------------------------------------------------------------------

# a: the windowed program as a user starts it; e: a second one while it types.
case_a() {
  local start address form count_at_ende summary second box
  start=$(($(lines) + 1))
  address=$(size_of "$address_log")
  start_as_user "$dir/stderr" 
  form=$(wait_window "$title") || true
  [ -n "$form" ] || { fail "no window"; return; }
  local before
  before=$(log_from "$start" | grep -E " (open|write|close) " | cut -d' ' -f2-)
  [ "$before" = $'open 1\nwrite 0 00 FF FF' ] || { fail "before the window the device saw: $before"; return; }
  local caps
  caps=$(capabilities "$pid")
  [ -z "$caps" ] || { fail "capabilities left while it runs: $caps"; return; }
  click "$form" "$messen_xy"
  wait_writes "$start" 2 15 || { fail "no key press after Messen"; return; }
  [ "$(log_from "$start" | awk '$2 == "write"' | sed -n 2p | cut -d' ' -f3-)" = "0 00 FF FE" ] \
    || { fail "the first report after Messen is not the start of entry 00 FF FE"; return; }

  # e: a second lumatext while this one types.
  case_name=e failed=""
  dir=$art/cases/e && mkdir -p "$dir"
  local first=$pid
  start_as_user "$dir/stderr"
  second=$pid
  box=$(wait_window "^Error$") || true
  if [ -z "$box" ]; then
    fail "the second lumatext showed no message"
  else
    xdotool windowfocus --sync "$box" && xdotool key Return
    wait_exit "$second" 20
    if [ "$status" != 1 ]; then fail "the second lumatext ended with status $status, expected 1"
    elif ! grep -q "IowKitOpenDevice: /dev/usb/iowarrior0: Device or resource busy" "$dir/stderr"; then
      fail "standard error does not say the IO-Warrior is in use: $(cat "$dir/stderr")"
    elif ! kill -0 "$first" 2>/dev/null; then fail "the first lumatext ended"
    else pass e "message box 'Error', exit 1; $(head -n 1 "$dir/stderr")"
    fi
  fi
  kill "$second" 2>/dev/null
  case_name=a failed="" pid=$first dir=$art/cases/a

  wait_writes "$start" 20 30 || { fail "the text stopped early"; return; }
  count_at_ende=$(writes_from "$start")
  click "$form" "$ende_xy"
  wait_exit "$pid" 120
  [ "$status" = 0 ] || { fail "exit status $status, expected 0"; return; }
  summary=$(check_text "$start" all) || { fail "$summary"; return; }
  local total
  total=$(writes_from "$start")
  [ "$count_at_ende" -lt "$total" ] || { fail "Ende was not clicked while the text was typed"; return; }
  log_from "$start" | grep -q " sign $text$" || { fail "the sign did not read back '$text'"; return; }
  [ "$(log_from "$start" | grep -c ' close 1$')" = 1 ] || { fail "the node was not closed exactly once"; return; }
  log_from "$start" | awk '$2 == "sign" { s = NR } $2 == "write" { w = NR } $2 == "close" { c = NR }
                           END { exit (w < s && s < c) ? 0 : 1 }' || { fail "a report came after the text"; return; }
  local addr
  addr=$(address_bytes_from "$address")
  [ "$addr" = "$identification 29" ] || { fail "the address port received '$addr', expected $identification, then 29"; return; }
  pass a "Ende clicked at report $count_at_ende of $total, exit 0, one close; address port 0x29; $summary"
}

# b: the headless program types the same text; no capability is left while it runs;
# SIGTERM in the pause that follows ends it with nothing sent after the text.
case_b() {
  local start address summary
  start=$(($(lines) + 1))
  address=$(size_of "$address_log")
  start_as_user "$dir/stderr" --headless
  headless_term_in_pause "$start" 100 || return
  local addr
  addr=$(address_bytes_from "$address")
  [ "$addr" = "$identification 29" ] || { fail "the address port received '$addr', expected $identification, then 29"; return; }
  pass b "headless: capabilities all zero while it runs, SIGTERM in the pause: exit 143, nothing sent after the text; $summary"
}

# b_press: SIGTERM during the 4 s press that opens text entry: the press completes, the
# entry is finished with line 6, every key is released, exit 143.
case_b_press() {
  local start
  start=$(($(lines) + 1))
  start_as_user "$dir/stderr" --headless
  wait_writes "$start" 2 20 || { fail "no start of entry"; return; }
  sleep 1
  kill -TERM "$pid"
  wait_exit "$pid" 15
  [ "$status" = 143 ] || { fail "exit status $status, expected 143"; return; }
  local got
  got=$(log_from "$start" | awk '$2 == "write" { printf "%s%s ", $5, $6 }')
  [ "$got" = "FFFF FFFE FFFF FFBF FFFF " ] || { fail "the device received $got"; return; }
  local timing
  timing=$(log_from "$start" | awk -v tol=$tolerance_ms '
    $2 == "write" { n++; t[n] = $1 }
    END {
      hold = t[3] - t[2]; gap = t[4] - t[3]; finish = t[5] - t[4]
      printf "press held %.3f ms, %.3f ms to line 6, line 6 held %.3f ms", hold, gap, finish
      exit (hold >= 4000 - tol && gap >= 50 - tol && finish >= 50 - tol) ? 0 : 1
    }') || { fail "$timing"; return; }
  log_from "$start" | awk '$2 == "write" { w = NR } $2 == "sign" { s = NR } $2 == "close" { c++; cl = NR }
                           END { exit (c == 1 && s > w && cl > w) ? 0 : 1 }' \
    || { fail "the sign did not close the entry, or the node was not closed once after the last report"; return; }
  pass b_press "SIGTERM 1 s into the press: $timing; last report 00 FF FF, one close, exit 143"
}

# c: lumatext --check on the working set-up, without the group's access to the node,
# and without the capability. The rule is put where udev would find it, in /run (the
# root here is read-only); udev itself does not run.
case_c() {
  local address out node_line
  address=$(size_of "$address_log")
  mkdir -p /run/udev/rules.d && cp "$rule" /run/udev/rules.d/
  out=$(setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" "$program" --check 2>&1)
  status=$?
  echo "$out" >"$dir/working.txt"
  check_working_report "$status" "$out" "$address" || return

  # The node's group access taken away, as without the udev rule.
  chmod 0600 /dev/usb/iowarrior*
  out=$(setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" "$program" --check 2>&1)
  status=$?
  chmod "$mode" /dev/usb/iowarrior*
  echo "$out" >"$dir/no-group-access.txt"
  [ "$status" = 1 ] || { fail "exit status $status without the group's access, expected 1: $out"; return; }
  local why
  why=$(echo "$out" | grep "^FEHLER .*iowarrior0: .*darf ihn nicht" | head -n 1)
  [ -n "$why" ] || { fail "the report does not say the user may not open the node: $out"; return; }

  # The program without its file capability.
  cp "$lumatext" /tmp/bin/lumatext-plain
  out=$(setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" /tmp/bin/lumatext-plain --check 2>&1)
  status=$?
  echo "$out" >"$dir/no-capability.txt"
  [ "$status" = 1 ] || { fail "exit status $status without the capability, expected 1: $out"; return; }
  local setcap_line
  setcap_line=$(echo "$out" | grep "^FEHLER .*sudo setcap cap_sys_rawio+ep /tmp/bin/lumatext-plain")
  [ -n "$setcap_line" ] || { fail "the report gives no setcap command: $out"; return; }
  pass c "working: exit 0, ${node_line#OK }; group access taken: exit 1, ${why#FEHLER }; no capability: exit 1, ${setcap_line#FEHLER }"
}

# c_i386: the i386 build's lumatext on this 64-bit kernel, as on a Debian i386 system
# booted with the amd64 kernel: the iowarrior driver answers no ioctl of a 32-bit
# program (ENOTTY), so lumatext reads the node's facts from sysfs. --check as the user,
# then the start of a text with TERM in the first press.
case_c_i386() {
  local program32=$art/i386/programs/lumatext out node_line start got
  [ -f "$program32" ] || { fail "no i386 lumatext in $art/i386/programs"; return; }
  cp "$program32" /tmp/bin/lumatext-i386 && setcap cap_sys_rawio+ep /tmp/bin/lumatext-i386
  out=$(setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" /tmp/bin/lumatext-i386 --check 2>&1)
  status=$?
  echo "$out" >"$dir/check.txt"
  [ "$status" = 0 ] || { fail "exit status $status: $out"; return; }
  node_line=$(echo "$out" | grep "^OK .*iowarrior0: .*IO-Warrior 24.*Seriennummer 00001A2B.*Report 2 Bytes")
  [ -n "$node_line" ] || { fail "the report does not describe the IO-Warrior 24: $out"; return; }
  start=$(($(lines) + 1))
  setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- \
    env HOME="$home" /tmp/bin/lumatext-i386 --headless 2>"$dir/stderr" &
  pid=$!
  wait_writes "$start" 2 20 || { fail "no start of entry: $(cat "$dir/stderr")"; return; }
  kill -TERM "$pid"
  wait_exit "$pid" 15
  [ "$status" = 143 ] || { fail "exit status $status, expected 143: $(cat "$dir/stderr")"; return; }
  got=$(log_from "$start" | awk '$2 == "write" { printf "%s%s ", $5, $6 }')
  [ "$got" = "FFFF FFFE FFFF FFBF FFFF " ] || { fail "the device received $got"; return; }
  pass c_i386 "$(file -b /tmp/bin/lumatext-i386 | cut -d, -f1-2): --check exit 0, $(echo "${node_line#OK}" | tr -s ' '); --headless with TERM in the first press: $got, exit 143"
}

# bench: the timing through the real driver, reported and not judged: the headless
# program types the text with nothing else running, then single writes are timed.
case_bench() {
  local start
  start=$(($(lines) + 1))
  start_as_user "$dir/stderr" --headless
  local deadline=$((SECONDS + 100))
  until log_from "$start" | grep -q " sign $text$"; do
    [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null || { fail "the sign never read back '$text'"; return; }
    sleep 0.1
  done
  kill -TERM "$pid"
  wait_exit "$pid" 10
  local summary latency
  summary=$(check_text "$start" all) || { fail "$summary"; return; }
  latency=$("$build/tools/lumatext-write-latency" /dev/usb/iowarrior0 500 2>&1) || { fail "$latency"; return; }
  pass bench "temperature text at the device: $summary; $latency"
}

# keys: lumatext --test-keys with five Enters on standard input, then lumatext --type,
# as the user, through the kernel's driver: what the simulator sends for the same
# commands in virtual time, byte for byte, each hold and wait at least nominal; exit 0;
# every key released at the end; the node closed once by each.
case_keys() {
  local start summary_keys summary_type
  printf '\n\n\n\n\n' >"$dir/enter"
  simulated_writes "$sim" --test-keys <"$dir/enter" >"$dir/expected-writes"
  start=$(($(lines) + 1))
  setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- \
    env HOME="$home" "$program" --test-keys <"$dir/enter" >"$dir/stdout" 2>"$dir/stderr" &
  pid=$!
  wait_exit "$pid" 30
  [ "$status" = 0 ] || { fail "--test-keys: exit status $status, expected 0: $(cat "$dir/stderr")"; return; }
  # The same checks as for the temperature text, against the key test's own writes.
  summary_keys=$(art=$dir check_text "$start" all) || { fail "--test-keys: $summary_keys"; return; }
  [ "$(last_report "$start")" = "0 00 FF FF" ] \
    || { fail "--test-keys: the last report does not release every key"; return; }
  [ "$(log_from "$start" | grep -c ' close 1$')" = 1 ] || { fail "--test-keys: the node was not closed once"; return; }
  grep -q "Leitung 6 (P1.6)" "$dir/stdout" || { fail "--test-keys said nothing of line 6: $(cat "$dir/stdout")"; return; }

  simulated_writes "$sim" --type Hallo >"$dir/expected-writes"
  start=$(($(lines) + 1))
  setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- \
    env HOME="$home" "$program" --type Hallo </dev/null >"$dir/type.stdout" 2>"$dir/type.stderr" &
  pid=$!
  wait_exit "$pid" 30
  [ "$status" = 0 ] || { fail "--type: exit status $status, expected 0: $(cat "$dir/type.stderr")"; return; }
  summary_type=$(art=$dir check_text "$start" all) || { fail "--type: $summary_type"; return; }
  log_from "$start" | grep -q " sign Hallo$" || { fail "--type: the sign did not read back 'Hallo'"; return; }
  [ "$(log_from "$start" | grep -c ' close 1$')" = 1 ] || { fail "--type: the node was not closed once"; return; }
  pass keys "--test-keys: exit 0, one close, $summary_keys; --type Hallo: exit 0, the sign reads Hallo, one close, $summary_type"
}

# d: the IO-Warrior unplugged in the middle of the text, Ende clicked right after.
case_d() {
  local start form t0 t_exit
  start=$(($(lines) + 1))
  start_as_user "$dir/stderr"
  form=$(wait_window "$title") || true
  [ -n "$form" ] || { fail "no window"; return; }
  click "$form" "$messen_xy"
  t0=$(date +%s.%N)
  wait_writes "$start" 30 30 || { fail "the text did not start"; return; }
  echo 0 >"$attach/detach" || { fail "detach failed"; return; }
  local at_unplug
  at_unplug=$(writes_from "$start")
  click "$form" "$ende_xy"
  wait_exit "$pid" 120
  t_exit=$(date +%s.%N)
  [ "$status" = 0 ] || { fail "exit status $status, expected 0"; return; }
  local summary
  summary=$(check_text "$start" prefix) || { fail "$summary"; return; }
  local reports
  reports=$(grep -c "IowKitWrite" "$dir/stderr" || true)
  [ "$reports" = 1 ] || { fail "the write failure was reported $reports times: $(cat "$dir/stderr")"; return; }
  local seconds
  seconds=$(awk -v a="$t0" -v b="$t_exit" 'BEGIN { printf "%.3f", b - a }')
  # At least the text's 41 s (the sequence is kept); above it what the 740 holds
  # overshoot with three machines sharing two cores (up to 47 s seen; 45 s more allowed,
  # twice that), far short of 1394 failed writes that each wait.
  awk -v s="$seconds" -v n=$text_seconds 'BEGIN { exit (s >= n && s < n + 45) ? 0 : 1 }' \
    || { fail "Messen to the end took $seconds s; the text takes $text_seconds s"; return; }
  grep -q detached "$art/relay.log" || { fail "the relay did not see the detach"; return; }
  pass d "unplugged after report $at_unplug; one report: $(grep IowKitWrite "$dir/stderr"); Messen to exit ${seconds} s; exit 0"
}

# Lays hwmon device $1 (name $2, platform device $3) with its files "FILE=VALUE"...
hwmon_device() {
  local hwmon=/sys/class/hwmon/$1 platform=/tmp/platform/$3 file
  mkdir -p "$hwmon" "$platform"
  echo "$2" >"$hwmon/name"
  ln -s "$platform" "$hwmon/device"
  shift 3
  for file in "$@"; do echo "${file#*=}" >"$hwmon/${file%%=*}"; done
}
# lumatext $@ as the user under strace for ioperm and iopl (under which its file capability
# does not take effect); sets out, status and address (the address port's log size before).
traced_lumatext() {
  address=$(size_of "$address_log")
  out=$(setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" \
        strace -f -qq -e trace=ioperm,iopl -o "$home/strace.log" "$program" "$@" 2>&1)
  status=$?
  cp "$home/strace.log" "$dir/strace-$case_step.log"
}
# The same without strace: the file capability gives it the ports.
user_lumatext() {
  address=$(size_of "$address_log")
  out=$(setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" "$program" "$@" 2>&1)
  status=$?
}
# h (before d, which unplugs the device): the kernel's it87 driver serves the chip. No emulated ITE chip exists for the
# driver to bind to, so its hwmon device is a tree made here over /sys/class/hwmon,
# named as the driver names it (it87, its platform device it87.656 for 0x290). --check
# and --headless read its files: no ioperm or iopl call (strace), no byte to the address
# port; --check shows the texts of the files' values.
case_h() {
  [ -d /sys/class/hwmon ] || { fail "this kernel has no /sys/class/hwmon"; return; }
  command -v strace >/dev/null || { fail "strace is missing (tools/install-deps --tests installs it)"; return; }
  mount -t tmpfs hwmon /sys/class/hwmon || { fail "no tmpfs over /sys/class/hwmon"; return; }
  case_h_driver
  umount /sys/class/hwmon
  [ -n "$failed" ] && return
  # Without the driver the same trace shows the ioperm call: the check above can see one.
  setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" \
    strace -f -qq -e trace=ioperm,iopl -o "$home/ports-strace.log" "$program" --check >/dev/null 2>&1
  cp "$home/ports-strace.log" "$dir/"
  grep -q "ioperm(0x295," "$dir/ports-strace.log" \
    || { fail "without the driver strace saw no ioperm: $(cat "$dir/ports-strace.log")"; return; }
  pass h "it87 files: --check shows \"CPU Temperatur : 52'C\" and \"CPU Luefterdrehzahl : 3000 rpm\"; --check and" \
    "--headless without ioperm or iopl and without a byte to 0x295 (without the driver: $(head -n 1 "$dir/ports-strace.log"))"
}
case_h_driver() {
  local hwmon=/sys/class/hwmon/hwmon0 address out status start case_step=check
  hwmon_device hwmon0 it87 it87.656 temp1_input=52000 fan1_input=3000
  traced_lumatext --check
  echo "$out" >"$dir/check.txt"
  [ "$status" = 0 ] || { fail "--check: exit status $status: $out"; return; }
  echo "$out" | grep -q "^OK      Messwerte: aus den Dateien des Treibers it87 ($hwmon/temp1_input" \
    || { fail "--check does not say the readings come from the driver's files: $out"; return; }
  echo "$out" | grep -q "\"CPU Temperatur : 52'C\" und \"CPU Luefterdrehzahl : 3000 rpm\"" \
    || { fail "--check does not show the files' texts: $out"; return; }
  ! grep -qE "ioperm|iopl" "$dir/strace-check.log" || { fail "--check: $(cat "$dir/strace-check.log")"; return; }

  start=$(($(lines) + 1))
  setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" \
    strace -f --seccomp-bpf -qq -e trace=ioperm,iopl -o "$home/strace.log" "$program" --headless 2>"$dir/stderr" &
  local tracer=$!
  # Text entry starts once the temperature is read; the typing itself is case b's.
  wait_writes "$start" 2 30 || { fail "--headless: no start of entry"; return; }
  pid=$(cut -d" " -f1 "/proc/$tracer/task/$tracer/children" 2>/dev/null)
  local caps
  caps=$(capabilities "$pid")
  kill -TERM "$pid"
  wait_exit "$tracer" 10
  [ -z "$caps" ] || { fail "capabilities left while it runs: $caps"; return; }
  cp "$home/strace.log" "$dir/"
  ! grep -qE "ioperm|iopl" "$dir/strace.log" || { fail "--headless: $(cat "$dir/strace.log")"; return; }
  [ "$(size_of "$address_log")" = "$address" ] \
    || { fail "the address port received '$(address_bytes_from "$address")'"; return; }
  grep -q "lumatext liest dessen Dateien $hwmon/temp1_input" "$dir/stderr" \
    || { fail "start-up does not say where the readings come from: $(cat "$dir/stderr")"; return; }
}

# k: PCs without the ITE 8705, their kernel's monitors laid over /sys/class/hwmon as case
# h lays the it87 driver's (no emulated Super-I/O chip exists for a driver to bind to).
# The Intel desktop: coretemp and a Nuvoton chip whose driver serves 0x290 (platform
# device nct6775.656): no ioperm, no byte to the address port, the CPU's package sensor
# and fan2. The AMD desktop: k10temp and an ITE chip elsewhere (it87.2624), nothing at
# 0x290 (the stand-in's register 0x58 set to 0x00): the ports are identified and left,
# never register 0x29 or 0x0D. Nothing to read: --check says FEHLER, the start fails.
case_k() {
  [ -d /sys/class/hwmon ] || { fail "this kernel has no /sys/class/hwmon"; return; }
  mount -t tmpfs hwmon /sys/class/hwmon || { fail "no tmpfs over /sys/class/hwmon"; return; }
  case_k_machines
  umount /sys/class/hwmon
  stand_in_register 0x58 0x90
}
case_k_machines() {
  local out status address case_step addr
  case_step=intel
  hwmon_device hwmon0 coretemp coretemp.0 "temp1_label=Package id 0" temp1_input=52000 "temp2_label=Core 0" temp2_input=50000
  hwmon_device hwmon1 nct6798 nct6775.656 temp1_label=SYSTIN temp1_input=31000 fan1_input=800 fan2_input=1234
  traced_lumatext --check
  echo "$out" >"$dir/check-intel.txt"
  [ "$status" = 0 ] || { fail "intel: --check exit status $status: $out"; return; }
  echo "$out" | grep -q "^OK .*bedient der Treiber nct6775 des Kernels einen Chip (hwmon1, nct6798)" \
    || { fail "intel: --check does not name the driver at 0x290: $out"; return; }
  echo "$out" | grep -q "\"CPU Temperatur : 52'C\" und \"CPU Luefterdrehzahl : 1234 rpm\"" \
    || { fail "intel: --check does not show 52'C and 1234 rpm: $out"; return; }
  ! grep -qE "ioperm|iopl" "$dir/strace-intel.log" || { fail "intel: $(cat "$dir/strace-intel.log")"; return; }
  [ "$(size_of "$address_log")" = "$address" ] \
    || { fail "intel: the address port received '$(address_bytes_from "$address")'"; return; }
  traced_lumatext --sensors
  echo "$out" >"$dir/sensors-intel.txt"
  echo "$out" | grep -q "coretemp:Package id 0   52,0 'C" && echo "$out" | grep -q "lumatext liest den L.*nct6798:fan2" \
    || { fail "intel: --sensors: $out"; return; }
  rm -rf /sys/class/hwmon/* /tmp/platform

  case_step=amd
  stand_in_register 0x58 0x00
  hwmon_device hwmon0 k10temp 0000:00:18.3 temp1_label=Tctl temp1_input=61750
  hwmon_device hwmon1 it8686 it87.2624 fan1_input=980 fan2_input=1500
  user_lumatext --check
  echo "$out" >"$dir/check-amd.txt"
  [ "$status" = 0 ] || { fail "amd: --check exit status $status: $out"; return; }
  echo "$out" | grep -q "\"CPU Temperatur : 62'C\" und \"CPU Luefterdrehzahl : 980 rpm\"" \
    || { fail "amd: --check does not show 62'C and 980 rpm: $out"; return; }
  addr=$(address_bytes_from "$address")
  [ "$addr" = "$identification" ] || { fail "amd: the address port received '$addr', expected $identification only"; return; }
  rm -rf /sys/class/hwmon/* /tmp/platform

  case_step=nothing
  hwmon_device hwmon0 acpitz LNXTHERM:00 temp1_input=40000
  user_lumatext --check
  echo "$out" >"$dir/check-nothing.txt"
  [ "$status" = 1 ] || { fail "nothing: --check exit status $status, expected 1: $out"; return; }
  echo "$out" | grep -q "^FEHLER .*kein Temperatursensor der CPU gefunden" || { fail "nothing: --check: $out"; return; }
  user_lumatext --headless
  [ "$status" = 1 ] || { fail "nothing: --headless exit status $status, expected 1: $out"; return; }
  echo "$out" | grep -q "Keine CPU-Temperatur" || { fail "nothing: --headless says: $out"; return; }
  addr=$(address_bytes_from "$address")
  [ "$addr" = "$identification" ] || { fail "nothing: the address port received '$addr'"; return; }
  rm -rf /sys/class/hwmon/* /tmp/platform

  # The chip's own PC with its CPU's sensor driver loaded (an Athlon 64's k8temp): the ITE
  # monitor answers, so its ports give the readings as ever.
  case_step=ite
  stand_in_register 0x58 0x90
  hwmon_device hwmon0 k8temp 0000:00:18.3 temp1_input=38000
  user_lumatext --check
  echo "$out" >"$dir/check-ite.txt"
  [ "$status" = 0 ] || { fail "ite: --check exit status $status: $out"; return; }
  echo "$out" | grep -q "CPU Temperatur : 45'C" || { fail "ite: --check does not read the ports: $out"; return; }
  addr=$(address_bytes_from "$address")
  [ "$addr" = "$identification 29 0d" ] || { fail "ite: the address port received '$addr'"; return; }
  pass k "intel (nct6775.656): no ioperm, nothing at 0x295, --check 52'C and 1234 rpm, --sensors names both;" \
    "amd (it87.2624, nothing at 0x290): only $identification at the address port, 62'C and 980 rpm;" \
    "nothing: --check FEHLER (1), --headless refused (1); the ITE 8705's PC with k8temp: the ports, 45'C"
}

# models: every further IO-Warrior model the machine has a port for (iow40, iow56, ...),
# plugged in one after another with the 24 unplugged: the kernel's driver binds it,
# IOW_GETINFO gives the model's report size (as lumatext --check shows it), and lumatext
# --headless sends the temperature text's reports byte for byte, port 1 as for the 24 and
# every further port byte FF. The IO-Warrior 56 types the whole text; the others until
# the first characters have been selected, then SIGTERM.
case_models() {
  local ports model vhci=1 summary="" any=""
  ports=$(cat /sys/class/virtio-ports/*/name 2>/dev/null | sed -n 's/^iow//p' | grep -vx 24)
  [ -n "$ports" ] || { fail "the machine has no port for a further model"; return; }
  [ -e /dev/usb/iowarrior0 ] && echo 0 >"$attach/detach" 2>/dev/null
  for _ in $(seq 1 100); do [ -e /dev/usb/iowarrior0 ] || break; sleep 0.05; done
  local main_log=$device_log
  for model in $ports; do
    any=1
    model_once "$model" "$vhci" || { device_log=$main_log; return; }
    vhci=$((vhci + 1))
  done
  device_log=$main_log
  [ -n "$any" ] && pass models "$summary"
}

# One model for case_models: $1 the model, $2 its vhci port. Adds to summary.
model_once() {
  local model=$1 port=$2 speed=2 size product name relay_pid
  case $model in
    40) speed=1 size=4 product=0x1500 ;;
    56) size=7 product=0x1503 ;;
    28) size=4 product=0x1504 ;;
    28L) size=4 product=0x1505 ;;
    100) size=12 product=0x1506 ;;
    *) fail "no facts for the model $model"; return 1 ;;
  esac
  name="IO-Warrior $model ($product)"
  device_log=$art/device-$model.log
  "$build/tests/vm/usbip-relay" "iow$model" "$port" $((65538 + port)) $speed >"$art/relay-$model.log" 2>&1 &
  relay_pid=$!
  for _ in $(seq 1 100); do [ -e /dev/usb/iowarrior1 ] && break; sleep 0.05; done
  [ -e /dev/usb/iowarrior1 ] || { fail "$model: no iowarrior nodes after plugging it in: $(cat "$art/relay-$model.log")"; return 1; }
  for node in /dev/usb/iowarrior*; do chgrp "$group" "$node" && chmod "$mode" "$node"; done
  local bound
  bound=$(dmesg | grep "IOWarrior product=$product, .*interface=0" | tail -n 1 | sed 's/^\[[^]]*\] //')
  [ -n "$bound" ] || { fail "$model: the driver did not bind interface 0"; return 1; }
  local out line
  out=$(setpriv --reuid=$user_id --regid=$user_id --groups="$group_id" -- env HOME="$home" "$program" --check 2>&1)
  echo "$out" >"$art/cases/models/check-$model.txt"
  line=$(echo "$out" | grep "Schnittstelle 0 (I/O-Pins)" | head -n 1)
  case $line in
    "OK "*"$name"*"Report $size Bytes; lumatext benutzt ihn") ;;
    *) fail "$model: lumatext --check on the pins interface: ${line:-$out}"; return 1 ;;
  esac
  simulated_writes "$sim" --iowarrior "$model" --at 0:Messen --at 1:Ende >"$art/expected-writes-$model"
  local start=1 check
  start_as_user "$dir/stderr-$model" --headless
  # The reports are judged byte for byte, their distances shown: the holds through the
  # driver are judged on the 24 (a, b, d). The full-speed models' driver returns from
  # write() once the interrupt-OUT transfer is submitted, so their holds at the device are
  # the program's only as far as the transfers are not delayed, which a loaded machine
  # under TCG does.
  local untimed=untimed
  if [ "$model" = 56 ]; then
    # The whole text: the release at start and every report of the text.
    wait_writes "$start" $(($(wc -l <"$art/expected-writes-$model") + 1)) 100 \
      || { fail "$model: the text did not arrive whole: $(writes_from "$start") reports"; return 1; }
    sleep 0.5
    kill -TERM "$pid"
    wait_exit "$pid" 10
    check=$(check_text "$start" all "$art/expected-writes-$model" $untimed) || { fail "$model: $check"; return 1; }
  else
    # The start of entry, its release and the first characters' presses.
    wait_writes "$start" 14 20 || { fail "$model: the text did not start: $(cat "$dir/stderr-$model")"; return 1; }
    local seen
    seen=$(writes_from "$start")
    kill -TERM "$pid"
    wait_exit "$pid" 15
    # The reports up to SIGTERM are the text's; after it the program finishes the entry.
    log_from "$start" | awk -v n="$seen" '$2 == "write" && ++k <= n' >"$dir/before-term-$model"
    check=$(device_log=$dir/before-term-$model check_text 1 prefix "$art/expected-writes-$model" $untimed) \
      || { fail "$model: $check"; return 1; }
    local last
    last=$(last_report "$start" | cut -d' ' -f2-)
    [ "$last" = "00$(printf ' FF%.0s' $(seq 1 "$size"))" ] \
      || { fail "$model: the last report after SIGTERM is $last, not every line released"; return 1; }
  fi
  [ "$status" = 143 ] || { fail "$model: exit status $status after SIGTERM, expected 143"; return 1; }
  echo "$port" >"$attach/detach"
  wait_exit "$relay_pid" 10
  for _ in $(seq 1 100); do [ -e /dev/usb/iowarrior0 ] || break; sleep 0.05; done
  summary="$summary$model: ${bound#*: }, ${line#OK *; }, Report $size; ${check%%;*}. "
}

for case_name in "$@"; do
  run_case "$case_name"
done
kill $xvfb $relay 2>/dev/null
dmesg >"$art/dmesg.log"
