#!/usr/bin/env bash
# Independent check of the unit-of-address index's and symbol lookup tables'
# rewrites: the stand-in compiler's code around every rewritten place, after
# installation, is disassembled by binutils. Every jump or call in the written
# bytes, and every jump of the compiler's own code that lands in them, must
# land on the start of an instruction (targets outside the dumped code are our
# replacements). The compiler's jumps in code that a written jump now skips
# are not checked: nothing reaches them any more.
#   RewrittenSitesOracle.sh BUILD OBJDUMP DUMPPROGRAM
set -euo pipefail
BUILD="$1" OBJDUMP="$2" PROGRAM="$3"
OUT="$BUILD/rewritten-sites"
rm -rf "$OUT"
mkdir -p "$OUT"
"$BUILD/wine-run.sh" "$PROGRAM" "Z:${OUT//\//\\}" >"$OUT/run.log" 2>&1 ||
  { cat "$OUT/run.log"; exit 1; }
[ -s "$OUT/sites.txt" ] || { echo "no sites written"; cat "$OUT/run.log"; exit 1; }

failures=0
checked=0
while read -r name base written; do
  [ -n "$written" ] || continue
  "$OBJDUMP" -D -b binary -m i386 --adjust-vma="0x$base" "$OUT/$name.bin" >"$OUT/$name.lst"
  result=$(awk -v written="$written" -v base="$base" -v name="$name" '
    function hex(s,   i, c, v) {
      v = 0; s = tolower(s)
      for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)); if (!c) break; v = v * 16 + c - 1 }
      return v
    }
    BEGIN {
      lo = hex(base); hi = lo + 384
      n = split(written, parts, " ")
      for (i = 1; i <= n; i++) { split(parts[i], p, ":"); ws[i] = hex(p[1]); we[i] = ws[i] + p[2] }
      nw = n
    }
    function inwritten(a,   i) { for (i = 1; i <= nw; i++) if (a >= ws[i] && a < we[i]) return 1; return 0 }
    /^ *[0-9a-f]+:\t/ {
      addr = hex(substr($1, 1, length($1) - 1))
      split($0, cols, "\t")
      nb = split(cols[2], b, " ")
      start[addr] = 1
      if (cols[3] ~ /^(j[a-z]+|call|loop[a-z]*) +0x[0-9a-f]+/) {
        t = cols[3]; sub(/^[a-z]+ +0x/, "", t); sub(/[^0-9a-f].*$/, "", t)
        jumps[addr] = hex(t); size[addr] = nb; text[addr] = cols[3]
      }
    }
    function skipped(a,   i) { for (i = 1; i <= ns; i++) if (a >= ss[i] && a < se[i]) return 1; return 0 }
    END {
      bad = 0; count = 0; ns = 0
      for (a in jumps)
        if ((inwritten(a) || inwritten(a + size[a] - 1)) && text[a] ~ /^jmp/ && jumps[a] > a) { ns++; ss[ns] = a + size[a]; se[ns] = jumps[a] }
      for (a in jumps) {
        t = jumps[a]
        fromwritten = inwritten(a) || inwritten(a + size[a] - 1)
        if (!fromwritten && (!inwritten(t) || skipped(a))) continue
        if (t < lo || t >= hi - 16) continue   # our replacements, or past the dumped code
        count++
        if (!(t in start)) { printf "%s: %s at %x lands inside an instruction\n", name, text[a], a; bad++ }
      }
      # Written code starts on an instruction (a written operand, such as the
      # size of the descriptor pool, lies inside one by design).
      for (a in jumps) for (i = 1; i <= nw; i++) if (a >= ws[i] && a < we[i]) hasjump[i] = 1
      for (i = 1; i <= nw; i++)
        if (hasjump[i] && !(ws[i] in start)) { printf "%s: written code at %x starts inside an instruction\n", name, ws[i]; bad++ }
      printf "CHECKED %d %d\n", count, bad
    }' "$OUT/$name.lst")
  echo "$result" | grep -v '^CHECKED' || true
  read -r _ c b <<<"$(echo "$result" | grep '^CHECKED')"
  checked=$((checked + c))
  failures=$((failures + b))
done <"$OUT/sites.txt"
echo "jumps checked: $checked, landing inside an instruction: $failures"
[ "$checked" -gt 0 ] && [ "$failures" -eq 0 ]
