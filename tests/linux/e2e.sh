#!/usr/bin/env bash
# End-to-end tests of lumatext-sim in a real X window system, driven by xdotool.
# Run inside xvfb-run at 96 dpi.
# Usage: e2e.sh CASE LUMATEXT-SIM LUMATEXT SEND-CLOSE ARTIFACT-DIR
set -euo pipefail

case_name=$1
sim=$2
lumatext=$3
send_close=$4
artifacts=$5/$case_name
rm -rf "$artifacts"
mkdir -p "$artifacts"
log=$artifacts/sim.log
title=" Ansteuerung Lumatext durch ITE 8705 Systemmonitor  von Telvaro"
# Button centres in pixels at 96 dpi: Messen at 8,32 289x49, Ende at 384,32 89x49.
messen_xy="152 56"
ende_xy="428 56"
sim_pid=""

fail() {
  echo "FAIL ($case_name): $*" >&2
  [ -f "$log" ] && { echo "--- last lines of $log:" >&2; tail -n 15 "$log" >&2; }
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  exit 1
}

start_sim() {
  "$sim" --log "$log" "$@" 2>"$artifacts/stderr.txt" &
  sim_pid=$!
}

# The id of the visible window whose name matches the regular expression $1.
find_window() {
  local id
  id=$(timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1) || fail "no window named /$1/"
  echo "$id"
}

# Waits until the log has a line matching $1.
wait_log() {
  for _ in $(seq 1 300); do
    grep -qE -- "$1" "$log" 2>/dev/null && return 0
    kill -0 "$sim_pid" 2>/dev/null || fail "lumatext-sim ended before /$1/"
    sleep 0.1
  done
  fail "the log never showed /$1/"
}

# Waits for lumatext-sim to end; checks its exit status is $1.
expect_exit() {
  local status=0
  for _ in $(seq 1 200); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$sim_pid" 2>/dev/null && fail "lumatext-sim did not end"
  wait "$sim_pid" || status=$?
  sim_pid=""
  [ "$status" = "$1" ] || fail "exit status $status, expected $1"
}

count() { grep -cE -- "$1" "$log" || true; }

click() { xdotool mousemove --window "$1" $2 click 1; }

screenshot() { import -window "$1" "$artifacts/$2.png" || fail "no screenshot $2"; }

# The first key pulse after Messen is the 4000 ms start of text entry, right after the
# temperature register was read.
check_cycle_start() {
  awk '
    $2 == "port-out" && $3 == "0x295" && $4 == "0x29" { selected = NR }
    $2 == "port-in" && $3 == "0x296" && selected && !read_at { read_at = NR }
    $2 == "write" && read_at && !press { if ($4 $5 $6 != "00FFFE") exit 1; press = $1; next }
    $2 == "write" && press && !release { release = $1 }
    END {
      if (!release) exit 1
      held = release - press
      printf "start of entry held %.3f ms\n", held
      exit (held >= 4000 && held < 4100) ? 0 : 1
    }' "$log" || fail "the cycle did not start with the temperature read and a 4000 ms press of line 0"
}

# After the temperature text, the program ended within the pause: one close, no fan read.
check_ended_in_pause() {
  [ "$(count ' close 1$')" = 1 ] || fail "the device was not closed exactly once"
  [ "$(count ' port-out 0x295 0x0D$')" = 0 ] || fail "a fan-speed reading followed"
  awk '$2 == "sign" { shown = $1 } $2 == "close" { closed = $1 }
       END { exit (shown && closed > shown && closed < shown + 60000) ? 0 : 1 }' "$log" \
    || fail "the close did not fall within the pause after the text"
}

case $case_name in
  window_and_messen)
    start_sim --speed 20
    form=$(find_window "^ Ansteuerung Lumatext")
    [ "$(xdotool getwindowname "$form")" = "$title" ] || fail "title is '$(xdotool getwindowname "$form")'"
    geometry=$(xwininfo -id "$form")
    echo "$geometry" | grep -q "Width: 620$" || fail "client width is not 620 px: $geometry"
    echo "$geometry" | grep -q "Height: 140$" || fail "client height is not 140 px: $geometry"
    hints=$(xprop -id "$form" WM_NORMAL_HINTS)
    echo "$hints" | grep -q "minimum size: 620 by 140" && echo "$hints" | grep -q "maximum size: 620 by 140" \
      || fail "the window can be resized: $hints"
    screenshot "$form" form1-ready
    click "$form" "$messen_xy"
    sign=$(find_window "^LED-Laufschrift")
    # Mid-entry: the characters accepted so far and the one being selected.
    wait_log " write 0 00 FF FB$"
    sleep 1
    screenshot "$sign" sign-entering
    wait_log " sign CPU Temperatur : 45'C$"
    check_cycle_start
    sleep 1
    screenshot "$form" form1
    screenshot "$sign" sign
    import -window root "$artifacts/screen.png"
    click "$form" "$ende_xy"
    expect_exit 0
    check_ended_in_pause
    ;;
  close_box)
    start_sim --speed 20
    form=$(find_window "^ Ansteuerung Lumatext")
    click "$form" "$messen_xy"
    wait_log " sign CPU Temperatur : 45'C$"
    "$send_close" "$form" || fail "send_close"
    expect_exit 0
    check_ended_in_pause
    ;;
  keyboard)
    # Messen has the focus: Return clicks it; Tab moves to Ende, Space clicks that.
    start_sim --speed 20
    form=$(find_window "^ Ansteuerung Lumatext")
    xdotool windowfocus --sync "$form"
    xdotool key Return
    wait_log " sign CPU Temperatur : 45'C$"
    check_cycle_start
    xdotool key Tab
    xdotool key space
    expect_exit 0
    check_ended_in_pause
    ;;
  ende_during_typing)
    # Ende clicked while the text is typed waits for the pause that follows: the whole
    # text first, then the close at once.
    start_sim --speed 20
    form=$(find_window "^ Ansteuerung Lumatext")
    click "$form" "$messen_xy"
    wait_log " write 0 00 FF FB$"
    click "$form" "$ende_xy"
    [ "$(count ' sign ')" = 0 ] || fail "the text was finished before Ende was clicked"
    expect_exit 0
    [ "$(count ' sign CPU Temperatur : 45.C$')" = 1 ] || fail "the temperature text was not typed in full"
    [ "$(count ' close 1$')" = 1 ] || fail "the device was not closed exactly once"
    # Within the first second of the one-minute pause (simulated time): the waiting click is
    # taken as the pause begins. At speed 20 a second is 50 ms of real time, which a loaded
    # machine or the sanitizers can take up; 100 ms (5 ms real) were once exceeded by 11.
    awk '$2 == "sign" { shown = $1 } $2 == "close" { closed = $1 } $2 == "write" { last_write = $1 }
         END { exit (shown && closed >= shown && closed < shown + 1000 && last_write <= shown) ? 0 : 1 }' "$log" \
      || fail "the close did not come right after the text, or a write followed it"
    ;;
  no_device)
    start_sim --speed 20 --no-device
    box=$(find_window "^Error$")
    screenshot "$box" message-box
    if xdotool search --onlyvisible --name "^ Ansteuerung Lumatext" >/dev/null; then fail "Form1 was shown"; fi
    xdotool windowfocus --sync "$box"
    xdotool key Return
    expect_exit 1
    grep -q " message Error | IO-Warrior kann nicht geöffnet werden!$" "$log" || fail "no message logged"
    [ "$(count ' (write|close) ')" = 0 ] || fail "a write or close was made"
    ;;
  lumatext_no_device)
    # The real program on a machine without an IO-Warrior (no /dev/usb/iowarrior* node).
    "$lumatext" 2>"$artifacts/stderr.txt" &
    sim_pid=$!
    box=$(find_window "^Error$")
    xdotool windowfocus --sync "$box"
    xdotool key Return
    expect_exit 1
    grep -q "^IowKitOpenDevice: " "$artifacts/stderr.txt" || fail "no reason on standard error"
    ;;
  lumatext_signal)
    # SIGTERM while the start-up message waits: no key is held, so the program ends at once.
    "$lumatext" 2>"$artifacts/stderr.txt" &
    sim_pid=$!
    find_window "^Error$" >/dev/null
    kill -TERM "$sim_pid"
    expect_exit 143
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "PASS ($case_name), artifacts in $artifacts"
