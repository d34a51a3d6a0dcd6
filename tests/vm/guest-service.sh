#!/usr/bin/env bash
# Runs in the virtual machine as a unit of systemd, the first process, on the host's
# root under a writable overlay: installs the Debian package, attaches the emulated
# IO-Warrior 24 (udev applies the package's rule) and runs the packaged service.
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

# Installed as a user installs it; the package's scripts set the file capability.
# man-db's trigger would index every manual page of the host, which takes a minute here.
rm -f /var/lib/man-db/auto-update
apt-get install -y "$art/lumatext.deb" >"$art/apt.log" 2>&1 || fail "apt-get install: $(tail -n 5 "$art/apt.log")"
getcap /usr/bin/lumatext | grep -q "cap_sys_rawio=ep" || fail "the package left /usr/bin/lumatext without cap_sys_rawio+ep"

"$build/tests/vm/usbip-relay" iow24 0 65538 1 >"$art/relay.log" 2>&1 &
for _ in $(seq 1 100); do [ -e /dev/usb/iowarrior0 ] && break; sleep 0.05; done
udevadm settle --timeout=20
node=$(stat -c "%G %a" /dev/usb/iowarrior0 2>&1)
[ "$node" = "plugdev 660" ] || fail "udev did not apply the package's rule: /dev/usb/iowarrior0 is $node"

systemctl start lumatext.service || fail "systemctl start lumatext: $(systemctl status lumatext 2>&1 | tail -n 5)"
main=$(systemctl show -p MainPID --value lumatext.service)
deadline=$((SECONDS + 70))
until grep -q " sign $text$" "$device_log"; do
  [ $SECONDS -lt $deadline ] || fail "the sign never read back '$text'"
  [ "$(systemctl show -p ActiveState --value lumatext.service)" = active ] \
    || fail "the service ended: $(journalctl --no-pager -o cat -u lumatext.service | tail -n 4 | tr '\n' ' ')"
  sleep 0.2
done
caps=$(awk '/^Cap(Inh|Prm|Eff|Amb):/ && $2 !~ /^0+$/ { printf "%s%s ", $1, $2 }' "/proc/$main/status")
[ -z "$caps" ] || fail "capabilities left while the service runs: $caps"
policy=$(chrt -p "$main" | sed -n 's/.*scheduling policy: //p')
user=$(stat -c %U "/proc/$main")
# In the pause now.
sleep 1
count=$(writes)
systemctl stop lumatext.service
state="$(systemctl show -p ActiveState --value lumatext.service) $(systemctl show -p Result --value lumatext.service)"
[ "$state" = "inactive success" ] || fail "after systemctl stop the unit is $state, not inactive with success"
journalctl --no-pager -o cat -u lumatext.service >"$art/journal.txt" 2>&1
[ "$(writes)" = "$count" ] || fail "a report came after systemctl stop"
[ "$(grep -c ' close 1$' "$device_log")" = 1 ] || fail "the node was not closed exactly once"
last=$(grep " write " "$device_log" | tail -n 1 | cut -d' ' -f3-)
[ "$last" = "0 00 FF FF" ] || fail "the last report is $last, not the release of every key"
# Byte for byte as the simulator types it.
"$build/sim/lumatext-sim" --headless --speed 0 --at 0:Messen --at 1:Ende --log - 2>/dev/null \
  | awk '$2 == "write" { print $4, $5, $6 }' >"$art/expected-writes"
grep " write " "$device_log" | awk '{ print $4, $5, $6 }' | diff -q - "$art/expected-writes" >/dev/null \
  || fail "the reports differ from the text's"
echo "PASS f the package installed with apt (cap_sys_rawio+ep on /usr/bin/lumatext), udev gave the node plugdev 660;" \
     "lumatext.service typed the text ($count reports, byte for byte) as $user, $policy, no capability left;" \
     "systemctl stop in the pause: inactive, success, nothing sent after, the last report 00 FF FF, one close" | tee -a "$results"
