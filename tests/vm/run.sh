#!/usr/bin/env bash
# Boots Debian's kernel under QEMU (TCG) with the emulated IO-Warrior 24 attached over
# USB/IP and isa-debugcon stand-ins for the ITE 8705's ports 0x295/0x296, and runs the
# cases of guest.sh in the machine, on the host's programs (the host's / shared read-only).
# Usage: run.sh SOURCE-DIR BUILD-DIR ARTIFACT-DIR CASE...
# The kernel package is downloaded once into BUILD-DIR/vm-kernel; without it the run fails.
set -euo pipefail

src=$(realpath "$1")
build=$(realpath "$2")
art=$3
shift 3
cases="$*"
mkdir -p "$art"
art=$(realpath "$art")
cache=$build/vm-kernel
# The byte the data port 0x296 returns on every read: temperature 45, fan count 45.
data_byte=45

fail() { echo "FAIL (vm): $*" >&2; exit 1; }

# Debian's kernel, by the name linux-image-amd64 depends on.
fetch_kernel() {
  [ -f "$cache/vmlinux" ] && [ -d "$cache/modules" ] && return 0
  local name deb
  name=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
  [ -n "$name" ] || fail "apt-cache knows no kernel package that linux-image-amd64 depends on (apt-get update?)"
  rm -rf "$cache.tmp" && mkdir -p "$cache.tmp"
  (cd "$cache.tmp" && apt-get download "$name") >"$cache.tmp/download.log" 2>&1 \
    || { cat "$cache.tmp/download.log" >&2; fail "apt-get download $name failed: the kernel is needed, no network?"; }
  deb=$(ls "$cache.tmp"/*.deb)
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$cache.tmp" --wildcards './boot/vmlinuz-*' './lib/modules/*/kernel/*' \
    || fail "cannot unpack $deb"
  # The uncompressed kernel inside vmlinuz boots faster: its xz payload.
  local vmlinuz offset
  vmlinuz=$(ls "$cache.tmp"/boot/vmlinuz-*)
  offset=$(LC_ALL=C grep -abo -m1 -P '\xFD7zXZ\x00' "$vmlinuz" | head -n 1 | cut -d: -f1) || true
  [ -n "$offset" ] || fail "no xz payload in $vmlinuz"
  tail -c +$((offset + 1)) "$vmlinuz" | xz -dc >"$cache.tmp/vmlinux" 2>/dev/null || true
  [ "$(head -c 4 "$cache.tmp/vmlinux" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] || fail "the payload of $vmlinuz is no ELF kernel"
  mkdir -p "$cache.tmp/modules"
  mv "$cache.tmp"/lib/modules/*/kernel "$cache.tmp/modules/"
  echo "$name" >"$cache.tmp/package"
  rm -rf "$cache.tmp/lib" "$cache.tmp/boot" "$deb"
  rm -rf "$cache" && mv "$cache.tmp" "$cache"
}

# The modules the machine needs, in load order (each one's modinfo depends= first).
modules_in_order() {
  local -A seen=()
  local order=()
  visit() {
    local name=$1 file deps dep
    [ -n "${seen[$name]:-}" ] && return 0
    seen[$name]=1
    file=$(find "$cache/modules" -name "$name.ko" -o -name "${name//-/_}.ko" -o -name "${name//_/-}.ko" | head -n 1)
    [ -n "$file" ] || fail "module $name not in the kernel package"
    deps=$(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | head -n 1)
    for dep in ${deps//,/ }; do visit "$dep"; done
    order+=("$file")
  }
  for name in virtio_pci virtio_console 9pnet_virtio 9p vhci-hcd iowarrior; do visit "$name"; done
  printf '%s\n' "${order[@]}"
}

build_initramfs() {
  local root=$art/initramfs
  rm -rf "$root" && mkdir -p "$root"/{bin,modules,proc,sys,dev,host}
  cp "$(command -v busybox)" "$root/bin/busybox"
  modules_in_order | while read -r file; do
    cp "$file" "$root/modules/"
    basename "$file" >>"$root/modules/order"
  done
  cat >"$root/config" <<CONFIG
guest=$src/tests/vm/guest.sh
src=$src
build=$build
art=$art
cases="$cases"
CONFIG
  cp "$src/tests/vm/init" "$root/init"
  chmod +x "$root/init"
  (cd "$root" && find . | cpio -o -H newc --quiet) >"$art/initramfs.cpio"
}

fetch_kernel
build_initramfs

rm -f "$art"/device.log "$art"/address-port.log "$art"/data-port.log "$art"/results "$art"/console.log
rm -rf "$art"/cases
socket=$art/iow24.sock
"$build/sim/usbip/lumatext-iow24" --socket "$socket" --log "$art/device.log" 2>"$art/iow24.stderr" &
device=$!
trap 'kill $device 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do [ -S "$socket" ] && break; sleep 0.05; done
[ -S "$socket" ] || fail "the emulated IO-Warrior did not listen on $socket"

started=$(date +%s.%N)
# TCG only: the tests must behave the same where there is no KVM.
timeout 230 qemu-system-x86_64 -accel tcg -m 1024 -smp 1 -nographic -no-reboot -nic none \
  -kernel "$cache/vmlinux" -initrd "$art/initramfs.cpio" \
  -append "console=ttyS0 quiet loglevel=4 panic=-1 rdinit=/init" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$art",mount_tag=artifacts,security_model=none,multidevs=remap \
  -device virtio-serial-pci -chardev socket,id=iow,path="$socket" -device virtserialport,chardev=iow,name=iow24 \
  -chardev file,id=address,path="$art/address-port.log" -device isa-debugcon,iobase=0x295,chardev=address \
  -chardev file,id=data,path="$art/data-port.log" -device isa-debugcon,iobase=0x296,readback=$data_byte,chardev=data \
  >"$art/console.log" 2>&1 </dev/null || echo "qemu ended with status $?" >>"$art/console.log"
ended=$(date +%s.%N)
wait $device || true
trap - EXIT
awk -v s="$started" -v e="$ended" 'BEGIN { printf "machine ran %.1f s\n", e - s }'

[ -f "$art/results" ] || { tail -n 40 "$art/console.log" >&2; fail "the machine wrote no results (console: $art/console.log)"; }
cat "$art/results"
status=0
for case_name in $cases; do
  grep -q "^PASS $case_name\b" "$art/results" || { echo "case $case_name did not pass" >&2; status=1; }
done
grep -q "^FAIL" "$art/results" && status=1
exit $status
