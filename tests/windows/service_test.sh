#!/usr/bin/env bash
# The Windows service under Wine, in a fresh prefix: lumatext-sim.exe runs the service
# code of lumatext.exe on simulated hardware.
#   service_test.sh SIM_EXE LUMATEXT_EXE WORK_DIR
# 1. --install-service registers it (LocalSystem, automatic start, its command line and
#    description, the time at shutdown, the event source); what Wine keeps of it is read
#    back from the registry, where Wine's services.exe stores it.
# 2. sc start: the sign's first press appears in the simulator's log; sc stop during that
#    4 s press: the press completes, text entry is finished 50 ms later, the device is
#    closed once, STOPPED with exit code 0, and the stop is in the event log.
# 3. sc start again, sc stop in the pause after the temperature text: nothing more is
#    written, the device is closed once, STOPPED with exit code 0.
# 4. lumatext.exe itself, registered with its own --install-service, finds no IO-Warrior
#    under Wine and ends by itself: STOPPED with the service-specific exit code 1 (what
#    the recovery settings answer with a restart), the reason and the failure in the
#    event log.
# 5. --remove-service removes the service and its event source.
# 6. Ctrl+C (Wine turns SIGINT into the console's CTRL_C_EVENT) during the 4 s press ends
#    lumatext-sim.exe --headless the same way, with exit status 130.
# Wine keeps no event log: its ReportEventW prints each entry's ID and strings to the
# debug output of the service's process, which this test reads.
set -euo pipefail
sim=$(realpath "$1")
product=$(realpath "$2")
work=$(mkdir -p "$3" && cd "$3" && pwd)
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
"$tools/wine-prefix" "$WINEPREFIX" headless
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() { if eval "$2"; then pass "$1"; else fail "$1"; fi; }

# The server stays up for the whole test; services.exe, and the services it starts,
# inherit the debug channels that show the event log's entries.
wineserver -p
WINEDEBUG=-all,fixme+advapi,trace+eventlog,warn+eventlog,err+eventlog wine cmd /c exit >"$work/services.log" 2>&1
trap 'wineserver -k || true' EXIT

mkdir -p "$WINEPREFIX/drive_c/lumatext"
cp "$sim" "$WINEPREFIX/drive_c/lumatext/lumatext-sim.exe"
cp "$product" "$WINEPREFIX/drive_c/lumatext/lumatext.exe"
exe='C:\lumatext\lumatext-sim.exe'
log=$WINEPREFIX/drive_c/lumatext/service.log
service_key='HKLM\System\CurrentControlSet\Services\lumatext'

# Registers the simulator as the service with the options $@ and its log.
install() {
  local status=0
  wine "$exe" --install-service "$@" --log 'C:\lumatext\service.log' >"$work/install.out" 2>&1 || status=$?
  [ "$status" = 0 ] || fail "--install-service $*: exit status $status: $(tr -d '\r' <"$work/install.out")"
}
query() { wine sc query lumatext 2>&1 | tr -d '\r'; }
state() { query | sed -n 's/.*STATE *: [0-9]* *\([A-Z_]*\).*/\1/p'; }
# The simulator's log without Wine's line ends; empty before it exists.
log_text() { tr -d '\r' 2>/dev/null <"$log" || true; }
# Waits up to $2 seconds until the log's last line matches the extended regex $1.
wait_last_line() {
  for _ in $(seq $(($2 * 20))); do
    log_text | tail -1 | grep -Eq "$1" && return 0
    sleep 0.05
  done
  return 1
}
wait_stopped() {
  for _ in $(seq $(($1 * 10))); do
    [ "$(state)" = STOPPED ] && return 0
    sleep 0.1
  done
  return 1
}
# Milliseconds of simulated time of the first log line matching $1 after line $2.
time_of() { log_text | tail -n +"$2" | grep -m1 -E "$1" | cut -d' ' -f1 | cut -d. -f1; }
line_of() { log_text | grep -n -m1 -E "$1" | cut -d: -f1; }
events() { tr -d '\r' <"$work/services.log"; }

echo "== registration"
install --speed 2 --at 0:Messen
registry=$(wine reg query "$service_key" 2>&1 | tr -d '\r')
echo "$registry" >"$work/registry.txt"
check "command line: the simulator with --service and its options" \
  'grep -Fq "ImagePath    REG_SZ    \"C:\\lumatext\\lumatext-sim.exe\" --service --speed 2 --at 0:Messen --log" <<<"$registry"'
check "runs as LocalSystem" 'grep -q "ObjectName    REG_SZ    LocalSystem" <<<"$registry"'
check "starts automatically (2)" 'grep -q "Start    REG_DWORD    0x2$" <<<"$registry"'
check "own process (0x10)" 'grep -q "Type    REG_DWORD    0x10$" <<<"$registry"'
check "display name" 'grep -q "DisplayName    REG_SZ    lumatext LED-Laufschrift" <<<"$registry"'
check "description" 'grep -q "Description    REG_SZ    Misst CPU-Temperatur" <<<"$registry"'
check "15 s at shutdown" 'grep -q "PreshutdownTimeout    REG_DWORD    0x3a98" <<<"$registry"'
source=$(wine reg query 'HKLM\System\CurrentControlSet\Services\EventLog\Application\lumatext' 2>&1 | tr -d '\r')
check "event source: the program's own message table" \
  'grep -Fq "EventMessageFile    REG_EXPAND_SZ    C:\\lumatext\\lumatext-sim.exe" <<<"$source"'
check "event source: error, warning, information" 'grep -q "TypesSupported    REG_DWORD    0x7" <<<"$source"'
echo "   what Wine's service manager does not know, --install-service said:"
sed 's/^/   | /' <(tr -d '\r' <"$work/install.out")

echo "== sc stop during the 4 s press that opens text entry"
wine sc start lumatext >"$work/start1.out" 2>&1 || fail "sc start: $(tr -d '\r' <"$work/start1.out")"
if wait_last_line ' write 0 00 FF FE$' 30; then
  wine sc stop lumatext >"$work/stop1.out" 2>&1 || fail "sc stop: $(tr -d '\r' <"$work/stop1.out")"
  wait_stopped 30 || fail "not STOPPED 30 s after sc stop: $(query)"
  cp "$log" "$work/press.log"
  press=$(line_of ' write 0 00 FF FE$')
  pressed=$(time_of ' write 0 00 FF FE$' 1)
  released=$(time_of ' write 0 00 FF FF$' "$press")
  finish=$(time_of ' write 0 00 FF BF$' "$press")
  check "the press completes: released 4 s after it began" '[ $((released - pressed)) -ge 4000 ] && [ $((released - pressed)) -lt 4100 ]'
  check "text entry finished 50 ms after the release" '[ -n "$finish" ] && [ $((finish - released)) -ge 50 ] && [ $((finish - released)) -lt 150 ]'
  check "nothing typed after the stop" '! log_text | tail -n +"$press" | grep -q " write 0 00 FF FB$"'
  check "the device closed once, last" '[ "$(log_text | grep -c " close ")" = 1 ] && log_text | tail -2 | head -1 | grep -q " close 1$"'
  check "exit status 0" 'log_text | tail -1 | grep -q " exit 0$"'
  check "STOPPED, exit code 0" 'query | grep -q "WIN32_EXIT_CODE *: 0 "'
else
  fail "no press in the log within 30 s: $(log_text | tail -3 | tr '\n' '|')"
fi
check "event log: started, stop requested, stopped" \
  'events | grep -q "ReportEventW.*,0x40000001," && events | grep -q "ReportEventW.*,0x40000005," && events | grep -q "ReportEventW.*,0x40000002,"'

echo "== sc stop in the pause after the temperature text"
install --speed 20 --at 0:Messen
wine sc start lumatext >"$work/start2.out" 2>&1 || fail "sc start: $(tr -d '\r' <"$work/start2.out")"
if wait_last_line " sign CPU Temperatur : 45'C$" 60; then
  wine sc stop lumatext >"$work/stop2.out" 2>&1 || fail "sc stop: $(tr -d '\r' <"$work/stop2.out")"
  wait_stopped 30 || fail "not STOPPED 30 s after sc stop: $(query)"
  cp "$log" "$work/pause.log"
  sign=$(line_of " sign CPU Temperatur : 45'C$")
  shown=$(time_of " sign " 1)
  closed=$(time_of " close " 1)
  check "nothing written after the text" '! log_text | tail -n +"$sign" | grep -q " write "'
  check "ended within the pause" '[ $((closed - shown)) -lt 60000 ]'
  check "the device closed once" '[ "$(log_text | grep -c " close ")" = 1 ]'
  check "exit status 0" 'log_text | tail -1 | grep -q " exit 0$"'
  check "STOPPED, exit code 0" 'query | grep -q "WIN32_EXIT_CODE *: 0 "'
else
  fail "no temperature text within 60 s: $(log_text | tail -3 | tr '\n' '|')"
fi

echo "== lumatext.exe without an IO-Warrior: the service fails by itself"
status=0
wine 'C:\lumatext\lumatext.exe' --install-service >"$work/install-product.out" 2>&1 || status=$?
check "lumatext.exe --install-service: exit status 0" '[ "$status" = 0 ]'
check "command line: lumatext.exe --service" \
  'wine reg query "$service_key" /v ImagePath | tr -d "\r" | grep -Fq "REG_SZ    \"C:\lumatext\lumatext.exe\" --service"'
status=0
wine 'C:\lumatext\lumatext.exe' --install-service --temperature-sensor "cpu:core 1" --fan-sensor=nct6798:fan2 \
  >"$work/install-choices.out" 2>&1 || status=$?
check "--install-service with sensor choices: each one argument of the service's command line" \
  '[ "$status" = 0 ] && wine reg query "$service_key" /v ImagePath | tr -d "\r" |
   grep -Fq "lumatext.exe\" --service \"--temperature-sensor=cpu:core 1\" --fan-sensor=nct6798:fan2"'
wine 'C:\lumatext\lumatext.exe' --install-service >"$work/install-product.out" 2>&1
wine sc start lumatext >"$work/start3.out" 2>&1 || true
wait_stopped 30 || fail "not STOPPED 30 s after sc start: $(query)"
check "STOPPED with a service-specific error (1066)" 'query | grep -q "WIN32_EXIT_CODE *: 1066 "'
check "service exit code 1" 'query | grep -q "SERVICE_EXIT_CODE *: 1 "'
check "event log: the reason" 'events | grep -q "eventlog:ReportEventW.*IO-Warrior kann nicht ge"'
check "event log: the failure with its status" \
  'events | grep -q "ReportEventW.*,0xc0000003," && events | grep -A1 "ReportEventW.*,0xc0000003," | grep -q "L\"1\""'

echo "== removal"
status=0
wine "$exe" --remove-service >"$work/remove.out" 2>&1 || status=$?
check "--remove-service: exit status 0" '[ "$status" = 0 ]'
check "the service is gone" '! query | grep -q SERVICE_NAME && ! wine reg query "$service_key" >/dev/null 2>&1'
check "the event source is gone" '! wine reg query "HKLM\\System\\CurrentControlSet\\Services\\EventLog\\Application\\lumatext" >/dev/null 2>&1'

echo "== Ctrl+C during the 4 s press ends --headless in a console the same way"
console_log=$WINEPREFIX/drive_c/lumatext/console.log
wine "$exe" --headless --speed 2 --at 0:Messen --log 'C:\lumatext\console.log' >"$work/console.out" 2>&1 &
launcher=$!
for _ in $(seq 600); do
  tr -d '\r' 2>/dev/null <"$console_log" | tail -1 | grep -q ' write 0 00 FF FE$' && break
  sleep 0.05
done
pkill -INT -f 'C:.lumatext.lumatext-sim.exe --headless' || fail "no lumatext-sim.exe --headless to interrupt"
status=0
wait "$launcher" || status=$?
console=$(tr -d '\r' <"$console_log")
cp "$console_log" "$work/console.log"
pressed=$(grep -m1 ' write 0 00 FF FE$' <<<"$console" | cut -d. -f1)
released=$(grep -A1 ' write 0 00 FF FE$' <<<"$console" | tail -1 | cut -d. -f1)
check "the press completes: released 4 s after it began" '[ $((released - pressed)) -ge 4000 ] && [ $((released - pressed)) -lt 4100 ]'
check "text entry finished, the device closed once" \
  'grep -q " write 0 00 FF BF$" <<<"$console" && [ "$(grep -c " close " <<<"$console")" = 1 ]'
check "exit status 130" '[ "$status" = 130 ] && tail -1 <<<"$console" | grep -q " exit 130$"'

if [ "$failures" -gt 0 ]; then
  echo "service test: $failures failures; logs in $work"
  exit 1
fi
echo "service test passed"
