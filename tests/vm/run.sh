#!/usr/bin/env bash
# Boots Debian's kernel under QEMU (TCG) with the emulated IO-Warrior 24 attached over
# USB/IP and a stand-in for the ITE 8705 at its ports 0x295/0x296, and runs the
# cases in the machine on the host's programs (the host's / shared read-only): those of
# guest.sh in one machine, case f (guest-service.sh, systemd) in a second one beside it,
# and the wine_* cases (guest-wine.sh: the Windows build under Wine, an IO-Warrior made
# with uhid) in a third one; wine_m and wine_h (the headless program's lost device) in
# a Wine machine of their own.
# Usage: run.sh SOURCE-DIR BUILD-DIR ARTIFACT-DIR CASE...
# The kernel package is downloaded once into BUILD-DIR/vm-kernel; without it the run fails.
# The Wine machine runs LUMATEXT_WINE_EXE (default: the windows preset's lumatext.exe)
# with LUMATEXT_WINE_PORT_DLL beside it, under the machine's program LUMATEXT_WINE
# (default wine); its prefix is made once into BUILD-DIR/vm-wine-prefix.
# The i386_* cases run in a fourth machine, qemu-system-i386 on a Pentium III (no SSE2)
# with Debian's 686 kernel (BUILD-DIR/vm-kernel-686), on the programs of the i386 build
# LUMATEXT_I386_BUILD (default: the i386 preset's).
set -euo pipefail

src=$(realpath "$1")
build=$(realpath "$2")
art=$3
shift 3
cases="$*"
# Where the i386 packages could not be installed, tools/check says so in
# LUMATEXT_SKIP_I386: the cases that run the i386 programs are left out and named.
if [ -n "${LUMATEXT_SKIP_I386:-}" ]; then
  kept=""
  for case_name in $cases; do
    case $case_name in
      i386_* | c_i386) echo "SKIP $case_name: $LUMATEXT_SKIP_I386" ;;
      *) kept+=" $case_name" ;;
    esac
  done
  cases=${kept# }
fi
mkdir -p "$art"
art=$(realpath "$art")
cache=$build/vm-kernel

fail() { echo "FAIL (vm): $*" >&2; exit 1; }

# Debian's kernel, by the name linux-image-amd64 (or $kernel_package) depends on.
fetch_kernel() {
  [ -f "$cache/vmlinux" ] && [ -d "$cache/modules" ] && return 0
  local name deb
  name=$(apt-cache depends "${kernel_package:-linux-image-amd64}" 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
  [ -n "$name" ] || fail "apt-cache knows no kernel package that ${kernel_package:-linux-image-amd64} depends on (apt-get update?)"
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
  # A kernel without PVH entry (the 686 one) boots from vmlinuz.
  cp "$vmlinuz" "$cache.tmp/vmlinuz"
  mkdir -p "$cache.tmp/modules"
  mv "$cache.tmp"/lib/modules/*/kernel "$cache.tmp/modules/"
  echo "$name" >"$cache.tmp/package"
  rm -rf "$cache.tmp/lib" "$cache.tmp/boot" "$deb"
  rm -rf "$cache" && mv "$cache.tmp" "$cache"
}

# The modules named, in load order (each one's modinfo depends= first).
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
  for name in "$@"; do visit "$name"; done
  printf '%s\n' "${order[@]}"
}

# The kernel's USB side for the emulated IO-Warrior over USB/IP and its driver; or, in
# the Wine machine, uhid and the hid core's USB driver, told not to ignore the
# IO-Warrior 24, 56 and 28 (HID_QUIRK_NO_IGNORE, one entry per product ID; the hid core
# ignores vendor 0x07C0's 0x1500-0x15FF).
usbip_modules="virtio_pci virtio_console 9pnet_virtio 9p vhci-hcd iowarrior overlay"
uhid_modules="virtio_pci 9pnet_virtio 9p overlay uhid usbhid hid-generic"
uhid_module_options="usbhid quirks=0x07c0:0x1501:0x40000000,0x07c0:0x1503:0x40000000,0x07c0:0x1504:0x40000000"

# Writes the initramfs for one machine: $1 its artifact directory, $2 its mode (chroot:
# the host's root with writable /tmp and /run; systemd: under an overlay, systemd as
# the first process), $3 the script that runs the cases, the rest the cases. The
# modules are $modules, with options from the lines "MODULE OPTIONS" of $module_options.
build_initramfs() {
  local dir=$1 mode=$2 guest=$3
  shift 3
  local root=$dir/initramfs
  rm -rf "$root" && mkdir -p "$root"/{bin,modules,proc,sys,dev,host}
  cp "${busybox:-$(command -v busybox)}" "$root/bin/busybox"
  # shellcheck disable=SC2086
  modules_in_order ${modules:-$usbip_modules} | while read -r file; do
    cp "$file" "$root/modules/"
    basename "$file" >>"$root/modules/order"
  done
  printf '%s\n' "${module_options:-}" >"$root/modules/options"
  cat >"$root/config" <<CONFIG
mode=$mode
guest=$guest
src=$src
build=$build
art=$dir
cases="$*"
${config_extra:-}
CONFIG
  cp "$src/tests/vm/init" "$root/init"
  chmod +x "$root/init"
  (cd "$root" && find . | cpio -o -H newc --quiet) >"$dir/initramfs.cpio"
}

# Boots one machine with its own emulated IO-Warrior 24 and port stand-ins; $1 its
# artifact directory, $2 "usbip" (the device emulated here, over USB/IP) or "uhid" (the
# machine makes it itself), $3 the seconds after which it is stopped, $4 further models
# emulated over USB/IP beside the 24 (lumatext-iow24 --iowarrior). Returns when the
# machine is off.
boot() {
  local dir=$1 attach=${2:-usbip} seconds=${3:-780}
  rm -f "$dir"/device.log "$dir"/address-port.log "$dir"/ports.trace "$dir"/results "$dir"/console.log
  rm -rf "$dir"/cases
  local socket=$dir/iow24.sock device="" usbip=()
  if [ "$attach" = usbip ]; then
    "$build/sim/usbip/lumatext-iow24" --socket "$socket" --log "$dir/device.log" 2>"$dir/iow24.stderr" &
    device=$!
    for _ in $(seq 1 100); do [ -S "$socket" ] && break; sleep 0.05; done
    [ -S "$socket" ] || { kill $device; echo "the emulated IO-Warrior did not listen on $socket" >"$dir/console.log"; return; }
    usbip=(-device virtio-serial-pci -chardev socket,id=iow,path="$socket" -device virtserialport,chardev=iow,name=iow24)
    # The other models, each on a port of its own, plugged in by the machine one after another.
    local model
    for model in ${4:-}; do
      rm -f "$dir/device-$model.log"
      "$build/sim/usbip/lumatext-iow24" --iowarrior "$model" --socket "$dir/iow$model.sock" \
        --log "$dir/device-$model.log" 2>"$dir/iow$model.stderr" &
      device="$device $!"
      for _ in $(seq 1 100); do [ -S "$dir/iow$model.sock" ] && break; sleep 0.05; done
      usbip+=(-chardev socket,id=iow$model,path="$dir/iow$model.sock" -device virtserialport,chardev=iow$model,name=iow$model)
    done
  fi
  # The monitor's stand-in: QEMU's CMOS clock a second time, its index port at 0x295 and
  # its data port at 0x296, whose battery RAM the machine sets to answer as the chip's
  # registers do (text_checks.sh, monitor_stand_in). Every byte written to the index port
  # is traced and appended to address-port.log as it comes, which the cases read.
  : >"$dir/ports.trace"
  (tail -n +1 -F "$dir/ports.trace" 2>/dev/null \
    | perl -ne 'BEGIN { $| = 1 } print chr(hex($1)) if /memory_region_ops_write .*addr 0x295 value (0x[0-9a-f]+) size 1/' \
      >"$dir/address-port.log") 2>/dev/null &
  local tracer=$!
  local started ended
  started=$(date +%s.%N)
  # TCG only: the tests must behave the same where there is no KVM.
  # shellcheck disable=SC2086
  timeout "$seconds" ${qemu:-qemu-system-x86_64} -accel tcg ${qemu_options:-} -m 1024 -smp 1 -nographic -no-reboot -nic none \
    -kernel "${kernel_image:-$cache/vmlinux}" -initrd "$dir/initramfs.cpio" \
    -append "console=ttyS0 quiet loglevel=4 panic=-1 no_timer_check rdinit=/init" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="$src",mount_tag=src,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="$build",mount_tag=build,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="$dir",mount_tag=artifacts,security_model=none,multidevs=remap \
    "${usbip[@]}" \
    -device mc146818rtc,iobase=0x295 -trace enable=memory_region_ops_write -D "$dir/ports.trace" \
    >"$dir/console.log" 2>&1 </dev/null || echo "qemu ended with status $?" >>"$dir/console.log"
  ended=$(date +%s.%N)
  pkill -P "$tracer" 2>/dev/null || true
  wait "$tracer" 2>/dev/null || true
  # Every I/O write of the machine is in the trace (60 MB a minute): only the address
  # port's bytes are kept.
  rm -f "$dir/ports.trace"
  local emulator
  for emulator in $device; do
    kill "$emulator" 2>/dev/null || true
    wait "$emulator" 2>/dev/null || true
  done
  awk -v s="$started" -v e="$ended" -v d="$dir" 'BEGIN { printf "machine %s ran %.1f s\n", d, e - s }'
}

# The i386 machine: Debian's 686 kernel and a static i386 busybox and bash, downloaded
# once into $cache/userland; the i386 build's programs copied into the machine's
# artifact directory, where its static bash runs guest-i386.sh on the host's root.
fetch_i386_userland() {
  local dir=$cache/userland deb
  [ -x "$dir/busybox" ] && [ -x "$dir/bash" ] && return 0
  rm -rf "$dir.tmp" && mkdir -p "$dir.tmp"
  (cd "$dir.tmp" && apt-get download busybox-static:i386 bash-static:i386) >"$dir.tmp/download.log" 2>&1 \
    || { cat "$dir.tmp/download.log" >&2; fail "apt-get download busybox-static:i386 bash-static:i386 failed (dpkg --add-architecture i386?)"; }
  for deb in "$dir.tmp"/*.deb; do dpkg-deb -x "$deb" "$dir.tmp/root"; done
  cp "$dir.tmp/root/bin/busybox" "$dir.tmp/busybox" && cp "$dir.tmp/root/bin/bash-static" "$dir.tmp/bash" \
    || fail "no bin/busybox or bin/bash-static in the packages"
  rm -rf "$dir.tmp/root" "$dir.tmp"/*.deb
  rm -rf "$dir" && mv "$dir.tmp" "$dir"
}
# The i386 build's programs, copied before any machine boots: the i386 machine runs them,
# and the first machine runs the i386 lumatext on its 64-bit kernel (case c_i386).
stage_i386_programs() {
  local dir=$art/i386 i386_build=${LUMATEXT_I386_BUILD:-$src/build/i386} file
  mkdir -p "$dir"
  rm -rf "$dir/programs" "$dir/results" "$dir/console.log"
  for file in app/lumatext sim/lumatext-sim tests/vm/usbip-relay tests/vm/rawio-user-exec; do
    if [ ! -f "$i386_build/$file" ]; then
      echo "$i386_build/$file is missing: build the i386 programs first (cmake --workflow --preset i386)"
      return 1
    fi
  done
  mkdir -p "$dir/programs"
  cp "$i386_build/app/lumatext" "$i386_build/sim/lumatext-sim" "$i386_build/tests/vm/usbip-relay" \
    "$i386_build/tests/vm/rawio-user-exec" "$dir/programs/"
}
boot_i386() {
  local dir=$art/i386
  if [ -n "$i386_missing" ]; then
    echo "FAIL i386: $i386_missing" >"$dir/results"
    return
  fi
  cache=$build/vm-kernel-686 kernel_package=linux-image-686
  (fetch_kernel && fetch_i386_userland) >"$dir/fetch.log" 2>&1 \
    || { echo "FAIL i386: $(tail -n 3 "$dir/fetch.log")" >"$dir/results"; return; }
  cp "$cache/userland/busybox" "$cache/userland/bash" "$dir/programs/"
  busybox=$cache/userland/busybox config_extra="shell=$dir/programs/bash" \
    build_initramfs "$dir" chroot "$src/tests/vm/guest-i386.sh" "${i386_cases[@]}"
  qemu=qemu-system-i386 qemu_options="-cpu pentium3" kernel_image=$cache/vmlinuz boot "$dir" usbip 480
}

fetch_kernel

# The installed service needs systemd as the first process: a machine of its own,
# booted beside the other one.
desktop_cases=() service_cases=() wine_cases=() unplug_cases=() i386_cases=()
for case_name in $cases; do
  case $case_name in
    f) service_cases+=(f) ;;
    # The headless program's lost device: a Wine machine of its own.
    wine_m | wine_h) unplug_cases+=("$case_name") ;;
    wine_*) wine_cases+=("$case_name") ;;
    i386_*) i386_cases+=("$case_name") ;;
    *) desktop_cases+=("$case_name") ;;
  esac
done
i386_missing=""
if [ ${#i386_cases[@]} -gt 0 ] || [[ " ${desktop_cases[*]} " == *" c_i386 "* ]]; then
  i386_missing=$(stage_i386_programs) || true
fi
machines=()
if [ ${#desktop_cases[@]} -gt 0 ]; then
  build_initramfs "$art" chroot "$src/tests/vm/guest.sh" "${desktop_cases[@]}"
  machines+=("$art")
fi
if [ ${#service_cases[@]} -gt 0 ]; then
  mkdir -p "$art/service"
  rm -f "$build"/lumatext_*.deb
  (cd "$build" && cpack -G DEB >"$art/service/cpack.log" 2>&1) || fail "cpack could not build the Debian package"
  debs=("$build"/lumatext_*.deb)
  cp "${debs[0]}" "$art/service/lumatext.deb"
  build_initramfs "$art/service" systemd "$src/tests/vm/guest-service.sh" "${service_cases[@]}"
  machines+=("$art/service")
fi
# The models case plugs in each further IO-Warrior model in the first machine.
other_models=""
case " ${desktop_cases[*]} " in *" models "*) other_models="40 56 28 28L 100" ;; esac
pids=()
for dir in "${machines[@]}"; do
  if [ "$dir" = "$art" ]; then boot "$dir" usbip 780 "$other_models" & else boot "$dir" & fi
  pids+=($!)
done
# The Windows build under Wine: the programs and a prefix made here, shared into the
# machine through its artifact directory. Made while the other machines boot.
# $1: the machine's artifact directory; the rest its cases.
boot_wine() {
  local dir=$1
  shift
  mkdir -p "$dir"
  local exe=${LUMATEXT_WINE_EXE:-$src/build/windows/app/lumatext.exe}
  local dll=${LUMATEXT_WINE_PORT_DLL:-$(dirname "$(dirname "$exe")")/tests/vm/inpoutx64.dll}
  rm -f "$dir/results" "$dir/console.log"
  local missing
  for missing in "$exe" "$dll"; do
    if [ ! -f "$missing" ]; then
      echo "FAIL wine: $missing is missing: build the Windows programs first (cmake --workflow --preset windows)" \
        >"$dir/results"
      return
    fi
  done
  rm -rf "$dir/programs" && mkdir -p "$dir/programs"
  cp "$exe" "$dll" "$dir/programs/"
  # The console program beside the windowed one, for the cases that type into a console.
  local console=${exe%.exe}.com
  if [ -f "$console" ]; then cp "$console" "$dir/programs/"; else console=""; fi
  if [ ! -f "$prefix.stamp" ]; then
    echo "FAIL wine: tools/wine-prefix failed: $(tail -n 5 "$art/wine-prefix.log")" >"$dir/results"
    return
  fi
  cat >"$dir/settings" <<SETTINGS
wine=${LUMATEXT_WINE:-wine}
exe=$(basename "$exe")
console=${console:+$(basename "$console")}
dll=$(basename "$dll")
prefix=$prefix
SETTINGS
  modules=$uhid_modules module_options=$uhid_module_options \
    build_initramfs "$dir" chroot "$src/tests/vm/guest-wine.sh" "$@"
  # Wine's start costs 15-75 s under TCG, two cases type the text, the key test starts
  # the console program once more; wine_m and wine_h start Wine twice.
  boot "$dir" uhid 720
}
# The prefix is made once, for both Wine machines: each writes only to a layer of its
# own over it.
prefix=$build/vm-wine-prefix
make_prefix() {
  local stamp
  stamp="$(wine --version) $(sha256sum <"$src/tools/wine-prefix")"
  [ "$(cat "$prefix.stamp" 2>/dev/null)" = "$stamp" ] && return 0
  rm -f "$prefix.stamp"
  mkdir -p "$art"
  "$src/tools/wine-prefix" "$prefix" hidraw >"$art/wine-prefix.log" 2>&1 && echo "$stamp" >"$prefix.stamp"
}
boot_wines() {
  make_prefix
  local both=()
  if [ ${#unplug_cases[@]} -gt 0 ]; then
    boot_wine "$art/wine-unplug" "${unplug_cases[@]}" &
    both+=($!)
  fi
  if [ ${#wine_cases[@]} -gt 0 ]; then
    boot_wine "$art/wine" "${wine_cases[@]}" &
    both+=($!)
  fi
  for pid in "${both[@]}"; do wait "$pid" || true; done
}
if [ $((${#wine_cases[@]} + ${#unplug_cases[@]})) -gt 0 ]; then
  boot_wines &
  pids+=($!)
  [ ${#unplug_cases[@]} -gt 0 ] && machines+=("$art/wine-unplug")
  [ ${#wine_cases[@]} -gt 0 ] && machines+=("$art/wine")
fi

if [ ${#i386_cases[@]} -gt 0 ]; then
  boot_i386 &
  pids+=($!)
  machines+=("$art/i386")
fi
for pid in "${pids[@]}"; do wait "$pid" || true; done

status=0
for dir in "${machines[@]}"; do
  [ -f "$dir/results" ] || { tail -n 40 "$dir/console.log" >&2; echo "the machine wrote no results (console: $dir/console.log)" >&2; status=1; continue; }
  cat "$dir/results"
  if grep -q "^FAIL" "$dir/results"; then status=1; fi
done
all=$(for dir in "${machines[@]}"; do cat "$dir/results" 2>/dev/null || true; done)
for case_name in $cases; do
  grep -q "^PASS $case_name\b" <<<"$all" || { echo "case $case_name did not pass" >&2; status=1; }
done
exit $status
