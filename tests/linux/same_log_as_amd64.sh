#!/usr/bin/env bash
# The i386 simulator against the amd64 one: the same runs in virtual time (two cycles
# across a minute's end, readings that overflow, a pause across midnight ended by an
# unplugged IO-Warrior, refused writes) must give the same log byte for byte and the
# same exit status.
#   same_log_as_amd64.sh SIM-I386 SIM-AMD64 WORK-DIR
# Skipped (77) where the amd64 build is missing (cmake --workflow --preset default).
set -uo pipefail
sim32=$1 sim64=$2 work=$3
if [ ! -x "$sim64" ]; then
  echo "no amd64 simulator $sim64: cmake --workflow --preset default"
  exit 77
fi
mkdir -p "$work"
runs=(
  "--headless --time-of-day 11:59:59.750 --at 0:Messen --at 400:Ende"
  "--headless --time-of-day 08:00:00 --temperature 200,5,128,255 --fan-count 255,0,1 --at 0:Messen --at 600:Ende"
  "--unattended --time-of-day 23:59:30 --unplug-at 100"
  "--headless --time-of-day 12:00:00 --reject-writes --at 0:Messen --at 100:Ende"
)
status=0
n=0
for run in "${runs[@]}"; do
  n=$((n + 1))
  # shellcheck disable=SC2086
  "$sim32" --speed 0 $run --log - >"$work/$n.i386.log" 2>"$work/$n.i386.err"
  echo "exit status $?" >>"$work/$n.i386.log"
  # shellcheck disable=SC2086
  "$sim64" --speed 0 $run --log - >"$work/$n.amd64.log" 2>"$work/$n.amd64.err"
  echo "exit status $?" >>"$work/$n.amd64.log"
  if ! diff -u "$work/$n.amd64.log" "$work/$n.i386.log" || ! diff -u "$work/$n.amd64.err" "$work/$n.i386.err"; then
    echo "run $n ($run): the i386 simulator differs from the amd64 one (above)"
    status=1
  elif [ "$(wc -l <"$work/$n.i386.log")" -lt 5 ]; then
    echo "run $n ($run) gave almost no log:"; cat "$work/$n.i386.log" "$work/$n.i386.err"
    status=1
  else
    echo "run $n: same log, $(wc -l <"$work/$n.i386.log") lines, $(tail -n 1 "$work/$n.i386.log") ($run)"
  fi
done
exit $status
