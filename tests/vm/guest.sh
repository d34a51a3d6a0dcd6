#!/usr/bin/env bash
# Runs in the virtual machine, as root, on the host's root: attaches the emulated
# IO-Warrior 24 and runs the cases named on the command line, each as a user runs the
# program. Writes "PASS CASE ..." or "FAIL CASE: why" lines to ARTIFACT-DIR/results.
# Usage: guest.sh SOURCE-DIR BUILD-DIR ARTIFACT-DIR CASE...
set -uo pipefail
src=$1 build=$2 art=$3
shift 3
results=$art/results
device_log=$art/device.log
address_log=$art/address-port.log
: >"$results"
echo "guest: $(uname -r), cases: $*"

ls -l /dev/usb 2>&1
"$build/tests/vm/usbip-relay" iow24 0 65538 1 >"$art/relay.log" 2>&1 &
for _ in $(seq 1 100); do [ -e /dev/usb/iowarrior0 ] && break; sleep 0.1; done
ls -l /dev/usb 2>&1
cat "$art/relay.log"
dmesg | tail -n 30
[ -e /dev/usb/iowarrior0 ] && echo "PASS probe" >>"$results" || echo "FAIL probe: no node" >>"$results"
