# Sourced by the machines' case scripts: the checks of the temperature text at the
# device. The caller defines log_from (the device's log from a line on), dir (the case's
# artifacts), art (the machine's artifacts, with expected-writes from the simulator) and
# tolerance_ms.

# Compares the device's writes from line $1 on (after the release at start) with the
# expected text, report by report, and each distance with its nominal length; prints
# the holds' excess over nominal: min, median, max in ms, and the median distance of the
# reports written back to back (one write's round trip). $2: all (the whole text) or
# prefix (the writes may stop early).
check_text() {
  log_from "$1" | awk '$2 == "write"' | tail -n +2 >"$dir/text-writes"
  awk -v mode="$2" -v tol=$tolerance_ms '
    NR == FNR { et[NR] = $1; eb[NR] = $2 " " $3 " " $4; n = NR; next }
    { m++; t[m] = $1; b[m] = $4 " " $5 " " $6 }
    END {
      if (m == 0) { print "no writes"; exit 1 }
      if (mode == "all" && m != n) { printf "%d writes, expected %d\n", m, n; exit 1 }
      if (m > n) { printf "%d writes, more than the %d of the text\n", m, n; exit 1 }
      for (i = 1; i <= m; i++) if (b[i] != eb[i]) { printf "write %d is %s, expected %s\n", i, b[i], eb[i]; exit 1 }
      k = 0; z = 0
      for (i = 2; i <= m; i++) {
        nominal = et[i] - et[i - 1]
        if (nominal < 1) { z++; bb[z] = t[i] - t[i - 1]; continue }
        d = (t[i] - t[i - 1]) - nominal
        if (d < -tol) { printf "distance before write %d: %.3f ms, nominal %.3f ms\n", i, t[i] - t[i - 1], nominal; exit 1 }
        k++; ex[k] = d
      }
      for (i = 2; i <= k; i++) { v = ex[i]; j = i - 1; while (j >= 1 && ex[j] > v) { ex[j + 1] = ex[j]; j-- } ex[j + 1] = v }
      for (i = 2; i <= z; i++) { v = bb[i]; j = i - 1; while (j >= 1 && bb[j] > v) { bb[j + 1] = bb[j]; j-- } bb[j + 1] = v }
      typed = (t[m] - t[1]) / 1000
      printf "%d reports, holds and waits over nominal: min %.3f ms, median %.3f ms, max %.3f ms; typed in %.3f s",
             m, ex[1], ex[int((k + 1) / 2)], ex[k], typed
      if (m == n) printf ", %.5f x the ideal %.3f s", typed / ((et[n] - et[1]) / 1000), (et[n] - et[1]) / 1000
      if (z > 0) printf "; reports back to back %.3f ms apart (median)", bb[int((z + 1) / 2)]
      printf "\n"
    }' "$art/expected-writes" "$dir/text-writes"
}
