#!/usr/bin/env bash
# Writes SIZE bytes of real x86 code: the code section of a built program,
# repeated. The padded stand-ins carry it in front of their own code.
#   make-padding.sh OBJCOPY PROGRAM SIZE OUTPUT
set -euo pipefail
objcopy="$1" program="$2" size="$3" output="$4"
"$objcopy" -O binary --only-section=.text "$program" "$output.code"
code="$(stat -c %s "$output.code")"
: > "$output"
for _ in $(seq $((size / code + 1))); do cat "$output.code" >> "$output"; done
truncate -s "$size" "$output"
rm -f "$output.code"
[ "$(stat -c %s "$output")" -eq "$size" ]
