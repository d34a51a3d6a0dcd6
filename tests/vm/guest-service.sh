#!/usr/bin/env bash
# Runs in the virtual machine as a unit of systemd, the first process, on the host's
# root under a writable overlay: installs the Debian package, attaches the emulated
# IO-Warrior 24 (udev applies the package's rule) and runs the packaged service. The
# IO-Warrior is then lost twice, and each time the running program waits for it and
# types the text again from its start within seconds of its return: unplugged and
# plugged in again within a second in a pause (as a resume from suspend re-enumerates
# it), and unplugged in the middle of a text, plugged in 20 s later.
# Writes "PASS f details" or "FAIL f: why" to ARTIFACT-DIR/results.
# Usage: guest-service.sh SOURCE-DIR BUILD-DIR ARTIFACT-DIR f
set -uo pipefail
src=$1 build=$2 art=$3
results=$art/results
device_log=$art/device.log
text="CPU Temperatur : 45'C"
: >"$results"
fail() {
  echo "FAIL f: $*" | tee -a "$results"
  journalctl --no-pager -b >"$art/journal.txt" 2>&1
  exit 0
}
writes() { grep -c " write " "$device_log" || true; }
lines() { wc -l <"$device_log"; }
vhci=/sys/devices/platform/vhci_hcd.0
plug() { "$build/tests/vm/usbip-relay" iow24 0 65538 1 >>"$art/relay.log" 2>&1 & }
unplug() {
  echo 0 >"$vhci/detach" || fail "detach failed"
  for _ in $(seq 1 100); do [ -e /dev/usb/iowarrior0 ] || return 0; sleep 0.05; done
  fail "/dev/usb/iowarrior0 is still there after the detach"
}
# Reports from line $1 of the device's log on, as "B0 B1 B2".
reports_from() { tail -n +"$1" "$device_log" | awk '$2 == "write" { print $4, $5, $6 }'; }
# Waits until the device's log has a report after line $1; prints the seconds waited
# since $2 (to 0.2 s).
first_report_after() {
  local from=$1 t0=$2 limit=$((SECONDS + $3))
  until [ -n "$(reports_from "$from" | head -n 1)" ]; do
    [ $SECONDS -lt $limit ] || return 1
    sleep 0.2
  done
  awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'
}
# Waits until the device's log shows the text finished on the sign after line $1, then
# checks that the reports from line $1 to there are the text's, byte for byte.
text_after() {
  # The text takes 41 s, under emulation and load up to a third longer, and a write the
  # driver times out stalls it 5 s more. Each look costs the emulated machine three
  # processes: once a second is enough.
  local from=$1 limit=$((SECONDS + 120)) upto
  until tail -n +"$from" "$device_log" | grep -q " sign $text$"; do
    [ $SECONDS -lt $limit ] || { echo "the sign never read back '$text' after line $from"; return 1; }
    sleep 1
  done
  upto=$(tail -n +"$from" "$device_log" | grep -n -m1 " sign $text$" | cut -d: -f1)
  tail -n +"$from" "$device_log" | head -n "$upto" | awk '$2 == "write" { print $4, $5, $6 }' \
    | diff -q - "$art/expected-writes" >/dev/null || { echo "the reports after line $from differ from the text's"; return 1; }
}

# Installed as a user installs it; the package's scripts set the file capability.
# man-db's trigger would index every manual page of the host, which takes a minute here.
rm -f /var/lib/man-db/auto-update
. "$src/tests/vm/stand_in.sh"
monitor_stand_in
apt-get install -y "$art/lumatext.deb" >"$art/apt.log" 2>&1 || fail "apt-get install: $(tail -n 5 "$art/apt.log")"
getcap /usr/bin/lumatext | grep -q "cap_sys_rawio=ep" || fail "the package left /usr/bin/lumatext without cap_sys_rawio+ep"

"$build/tests/vm/usbip-relay" iow24 0 65538 1 >"$art/relay.log" 2>&1 &
for _ in $(seq 1 100); do [ -e /dev/usb/iowarrior0 ] && break; sleep 0.05; done
udevadm settle --timeout=20
node=$(stat -c "%G %a" /dev/usb/iowarrior0 2>&1)
[ "$node" = "plugdev 660" ] || fail "udev did not apply the package's rule: /dev/usb/iowarrior0 is $node"

systemctl start lumatext.service || fail "systemctl start lumatext: $(systemctl status lumatext 2>&1 | tail -n 5)"
main=$(systemctl show -p MainPID --value lumatext.service)
deadline=$((SECONDS + 100))
until grep -q " sign $text$" "$device_log"; do
  [ $SECONDS -lt $deadline ] || fail "the sign never read back '$text'"
  [ "$(systemctl show -p ActiveState --value lumatext.service)" = active ] \
    || fail "the service ended: $(journalctl --no-pager -o cat -u lumatext.service | tail -n 4 | tr '\n' ' ')"
  sleep 0.2
done
# Byte for byte as the simulator types it: the release at start, then the text.
"$build/sim/lumatext-sim" --headless --speed 0 --at 0:Messen --at 1:Ende --log - 2>/dev/null \
  | awk '$2 == "write" { print $4, $5, $6 }' >"$art/expected-writes"
why=$(text_after 1) || fail "$why"
caps=$(awk '/^Cap(Inh|Prm|Eff|Amb):/ && $2 !~ /^0+$/ { printf "%s%s ", $1, $2 }' "/proc/$main/status")
[ -z "$caps" ] || fail "capabilities left while the service runs: $caps"
policy=$(chrt -p "$main" | sed -n 's/.*scheduling policy: //p')
user=$(stat -c %U "/proc/$main")

# Lost in the pause and back within a second: the program notices it at once (the node
# hangs up), closes it and waits; it looks for the node twice a second.
sleep 1
unplug
sleep 0.5
mark=$(($(lines) + 1))
t_plug=$(date +%s.%N)
plug
back_pause=$(first_report_after "$mark" "$t_plug" 30) || fail "no report within 30 s of plugging in again (pause)"
journalctl --no-pager -o cat -u lumatext.service >"$art/journal.txt" 2>&1
grep -q "IO-Warrior getrennt" "$art/journal.txt" || fail "the journal does not name the lost IO-Warrior"
# The text has begun again: lost in the middle of it now, plugged in 20 s later.
sleep 5
unplug
lost_at=$(writes)
sleep 20
[ "$(writes)" = "$lost_at" ] || fail "reports arrived while the IO-Warrior was unplugged"
mark2=$(($(lines) + 1))
t_plug=$(date +%s.%N)
plug
back_text=$(first_report_after "$mark2" "$t_plug" 30) || fail "no report within 30 s of plugging in again (mid-text)"
why=$(text_after "$mark2") || fail "$why"
journalctl --no-pager -o cat -u lumatext.service >"$art/journal.txt" 2>&1
losses=$(grep -c "lumatext: Error: IO-Warrior getrennt: lumatext wartet, bis er wieder angesteckt ist" "$art/journal.txt")
[ "$losses" = 2 ] || fail "the journal names the lost IO-Warrior $losses times, not 2"
backs=$(grep -c "lumatext: IO-Warrior wieder angesteckt: die Laufschrift beginnt von vorn" "$art/journal.txt")
[ "$backs" = 2 ] || fail "the journal names the IO-Warrior's return $backs times, not 2"
! grep -qE "status=|Scheduled restart job" "$art/journal.txt" || fail "the program ended: $(grep -E "status=|Scheduled" "$art/journal.txt" | head -n 2)"
[ "$(systemctl show -p MainPID --value lumatext.service)" = "$main" ] || fail "the service's program is not the one started"
# The node appears about half a second after the plug, the program looks for it twice a
# second, and then opens it and writes at once: 1 to 2 s; 5 s leaves a busy machine room.
awk -v a="$back_pause" -v b="$back_text" 'BEGIN { exit (a <= 5 && b <= 5) ? 0 : 1 }' \
  || fail "re-plugged, the first report came after $back_pause s (pause) and $back_text s (mid-text), not within 5 s"

# In the pause now.
sleep 1
count=$(writes)
systemctl stop lumatext.service
state="$(systemctl show -p ActiveState --value lumatext.service) $(systemctl show -p Result --value lumatext.service)"
[ "$state" = "inactive success" ] || fail "after systemctl stop the unit is $state, not inactive with success"
journalctl --no-pager -o cat -u lumatext.service >"$art/journal.txt" 2>&1
[ "$(writes)" = "$count" ] || fail "a report came after systemctl stop"
[ "$(tail -n +"$mark2" "$device_log" | grep -c ' close 1$')" = 1 ] || fail "the node was not closed exactly once"
last=$(grep " write " "$device_log" | tail -n 1 | cut -d' ' -f3-)
[ "$last" = "0 00 FF FF" ] || fail "the last report is $last, not the release of every key"
# The text the restart after the loss in the pause began: byte for byte up to the loss,
# the reports between the two plugs.
tail -n +"$mark" "$device_log" | head -n $((mark2 - mark)) | awk '$2 == "write" { print $4, $5, $6 }' >"$art/lost-text"
cut_at=$(wc -l <"$art/lost-text")
[ "$cut_at" -gt 0 ] && head -n "$cut_at" "$art/expected-writes" | diff -q - "$art/lost-text" >/dev/null \
  || fail "the $cut_at reports after plugging in again in the pause (log lines $mark to $((mark2 - 1))) differ from the text's"

# The owner's choice of sensor from /etc/default/lumatext reaches the program as one
# argument, spaces and all: one the kernel does not offer is a refused command line
# (status 2), which the unit does not restart.
echo "LUMATEXT_TEMPERATURE_SENSOR=nct6798:Package id 9" >/etc/default/lumatext
systemctl start lumatext.service
deadline=$((SECONDS + 20))
until [ "$(systemctl show -p ActiveState --value lumatext.service)" = failed ]; do
  [ $SECONDS -lt $deadline ] || fail "with a sensor the kernel does not offer the unit is $(systemctl show -p ActiveState --value lumatext.service)"
  sleep 0.2
done
refused="$(systemctl show -p Result --value lumatext.service) $(systemctl show -p ExecMainStatus --value lumatext.service)"
[ "$refused" = "exit-code 2" ] || fail "with a sensor the kernel does not offer: $refused, not exit-code 2"
journalctl --no-pager -o cat -u lumatext.service >"$art/journal.txt" 2>&1
grep -q 'Sensor "nct6798:Package id 9": kein Treiber nct6798' "$art/journal.txt" \
  || fail "the journal does not name the sensor chosen in /etc/default/lumatext: $(tail -n 3 "$art/journal.txt")"
rm /etc/default/lumatext
echo "PASS f the package installed with apt (cap_sys_rawio+ep on /usr/bin/lumatext), udev gave the node plugdev 660;" \
     "lumatext.service typed the text ($count reports in all, each text byte for byte) as $user, $policy, no capability left;" \
     "IO-Warrior lost in the pause and back within 1 s: first report ${back_pause} s after plugging;" \
     "lost mid-text, plugged 20 s later: first report ${back_text} s after plugging, the text byte for byte;" \
     "journal: the loss and the return named twice each, the same process throughout;" \
     "systemctl stop in the pause: inactive, success, nothing sent after, the last report 00 FF FF, one close;" \
     "/etc/default/lumatext's sensor passed as one argument: refused, status 2, not restarted" | tee -a "$results"
