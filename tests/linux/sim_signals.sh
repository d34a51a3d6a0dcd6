#!/usr/bin/env bash
# End signals on the headless simulator: a signal ends the program only when no key is
# held, with every line released, the device closed once and exit status 128 + signal.
# Usage: sim_signals.sh CASE LUMATEXT-SIM LOG-DIR
set -euo pipefail
case_name=$1
sim=$2
log=$3/signals-$case_name.log
mkdir -p "$3"
rm -f "$log"

fail() { echo "FAIL ($case_name): $*" >&2; tail -n 8 "$log" >&2 || true; exit 1; }

wait_log() {
  for _ in $(seq 1 300); do
    grep -qE -- "$1" "$log" 2>/dev/null && return 0
    sleep 0.05
  done
  fail "the log never showed /$1/"
}

case $case_name in
  term_in_hold)  # SIGTERM halfway through the 4000 ms press that opens entry, in real time
    speed=1; signal=TERM; status=143; moment="write 0 00 FF FE"; delay=2 ;;
  int_in_pause)  # SIGINT in the pause after the temperature text, 20 times faster
    speed=20; signal=INT; status=130; moment=" sign "; delay=0.5 ;;
  *) fail "unknown case" ;;
esac

"$sim" --headless --speed "$speed" --at 0:Messen --log "$log" 2>/dev/null &
pid=$!
wait_log "$moment"
sleep "$delay"
kill -s "$signal" "$pid"
got=0
wait "$pid" || got=$?
[ "$got" = "$status" ] || fail "exit status $got, expected $status"

last_write=$(grep ' write ' "$log" | tail -n 1)
[[ $last_write == *" write 0 00 FF FF" ]] || fail "last write is not a release: $last_write"
[ "$(grep -c ' close ' "$log")" = 1 ] || fail "not exactly one close"
tail -n 2 "$log" | head -n 1 | grep -q ' close 1$' || fail "the close is not the last act"
tail -n 1 "$log" | grep -q " exit $status$" || fail "no exit $status at the end"
if [ "$case_name" = term_in_hold ]; then
  press=$(grep ' write 0 00 FF FE' "$log" | head -n 1 | cut -d' ' -f1)
  release=$(echo "$last_write" | cut -d' ' -f1)
  awk -v p="$press" -v r="$release" 'BEGIN { exit !(r - p >= 4000) }' || fail "the 4000 ms press was cut short"
else
  ! sed -n '/ sign /,$p' "$log" | grep -q 'port-out' || fail "a reading followed the signal"
fi
echo "ok ($case_name)"
