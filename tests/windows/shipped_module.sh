#!/usr/bin/env bash
# The LpcIO.bin the Windows packages ship carries PawnIO's signature: the build tree is
# installed as CPack stages it, and the staged bin/LpcIO.bin must verify against PawnIO's
# key. To show that the check can fail, copies with one bit flipped (in the module, in
# the signature) and the module without its signature must not verify.
#   shipped_module.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
verify=$source/tools/verify-pawnio-module
stage=$build/module-check
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null
module=$stage/bin/LpcIO.bin
"$verify" "$module"

failures=0
# Copies $module to $1 with bit 0 of byte $2 flipped.
flipped() {
  cp "$module" "$1"
  local byte
  byte=$(od -An -tu1 -j "$2" -N1 "$module" | tr -d ' ')
  printf "\\x$(printf %02x $((byte ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
size=$(stat -c %s "$module")
flipped "$stage/body-flipped.bin" $((size - 100))
flipped "$stage/signature-flipped.bin" 100
tail -c +517 "$module" >"$stage/unsigned.bin"
for bad in body-flipped signature-flipped unsigned; do
  if "$verify" "$stage/$bad.bin"; then
    echo "FAIL: $bad.bin verified"
    failures=$((failures + 1))
  fi
done
rm -rf "$stage"
exit "$failures"
