#!/usr/bin/env bash
# The PawnIO modules the Windows packages ship carry PawnIO's signature: the build tree
# is installed as CPack stages it, and each staged module in bin/ must verify against
# PawnIO's key, unchanged from third_party/. To show that the check can fail, copies of
# each with one bit flipped (in the module, in the signature) and the module without its
# signature must not verify.
#   shipped_module.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
verify=$source/tools/verify-pawnio-module
stage=$build/module-check
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null
# Copies $module to $1 with bit 0 of byte $2 flipped.
flipped() {
  cp "$module" "$1"
  local byte
  byte=$(od -An -tu1 -j "$2" -N1 "$module" | tr -d ' ')
  printf "\\x$(printf %02x $((byte ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

failures=0
for name in LpcIO IntelMSR AMDFamily17 AMDFamily10 AMDFamily0F; do
  module=$stage/bin/$name.bin
  if ! "$verify" "$module" || ! cmp -s "$module" "$source/third_party/pawnio-modules/$name.bin"; then
    echo "FAIL: $name.bin as shipped"
    failures=$((failures + 1))
    continue
  fi
  size=$(stat -c %s "$module")
  flipped "$stage/body-flipped.bin" $((size - 100))
  flipped "$stage/signature-flipped.bin" 100
  tail -c +517 "$module" >"$stage/unsigned.bin"
  for bad in body-flipped signature-flipped unsigned; do
    if "$verify" "$stage/$bad.bin" >/dev/null; then
      echo "FAIL: $bad copy of $name.bin verified"
      failures=$((failures + 1))
    fi
  done
done
rm -rf "$stage"
exit "$failures"
