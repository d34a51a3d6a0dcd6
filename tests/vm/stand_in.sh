# Sourced by the machines' scripts, run as root in the machine.

# The ITE monitor's stand-in at 0x295/0x296 (run.sh): QEMU's CMOS clock a second time,
# index port 0x295, data port 0x296. Its battery RAM (0x0E-0x7F) is set here to answer as
# the chip does: 0x58 the ITE vendor ID 0x90, 0x29 the temperature 45; register 0x00 (the
# seconds, BCD) has bit 7 clear, 0x0D (the clock's register D) reads 0x80, a fan count of
# 128. The kernel's rtc_cmos driver takes the second clock too, and a driver's claim on
# the ports keeps lumatext off them: it is unbound.
monitor_stand_in() {
  local device
  for device in /sys/bus/pnp/drivers/rtc_cmos/*:*; do
    [ -e "$device/resources" ] && grep -q "io 0x295" "$device/resources" \
      && echo "${device##*/}" >/sys/bus/pnp/drivers/rtc_cmos/unbind
  done
  stand_in_register 0x58 0x90
  stand_in_register 0x29 45
}
# Writes $2 into register $1 of the stand-in through /dev/port.
stand_in_register() {
  printf "\\$(printf %03o "$1")" | dd of=/dev/port bs=1 seek=$((0x295)) conv=notrunc 2>/dev/null
  printf "\\$(printf %03o "$2")" | dd of=/dev/port bs=1 seek=$((0x296)) conv=notrunc 2>/dev/null
}
