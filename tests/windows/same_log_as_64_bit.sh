#!/usr/bin/env bash
# The 32-bit simulator against the 64-bit one: the same run (two cycles in virtual time)
# must give the same log, byte for byte, each under its own Wine prefix.
#   same_log_as_64_bit.sh WINE-RUN SIM32 SIM64 PREFIX64 WORK-DIR
# The 32-bit one runs in the prefix of the environment. Skipped (77) where the 64-bit
# build or its prefix is missing (cmake --workflow --preset windows makes both).
set -euo pipefail
wine_run=$1 sim32=$2 sim64=$3 prefix64=$4 work=$5
if [ ! -f "$sim64" ] || [ ! -f "$prefix64/system.reg" ]; then
  echo "no 64-bit simulator $sim64 with its Wine prefix $prefix64: cmake --workflow --preset windows"
  exit 77
fi
mkdir -p "$work"
# The time of day fixed: the pause ends by it, and the real one differs between the runs.
run=(--headless --speed 0 --time-of-day 11:59:59.750 --at 0:Messen --at 400:Ende --log -)
"$wine_run" "$sim32" "${run[@]}" >"$work/win32.log" 2>"$work/win32.err"
# The 64-bit prefix's own server: a server of the other prefix does not serve it.
env -u WINEARCH WINEPREFIX="$prefix64" "$wine_run" "$sim64" "${run[@]}" >"$work/win64.log" 2>"$work/win64.err"
WINEPREFIX=$prefix64 wineserver -w || true
grep -q "sign CPU Luefterdrehzahl : 2812 rpm" "$work/win32.log" || { echo "32-bit log without the second text:"; cat "$work/win32.log" "$work/win32.err"; exit 1; }
if ! diff -u "$work/win64.log" "$work/win32.log"; then
  echo "the 32-bit simulator's log differs from the 64-bit one's (above)"
  exit 1
fi
echo "same log, $(wc -l <"$work/win32.log") lines: $work/win32.log"
