#!/usr/bin/env bash
# Runs every benchmark program of a build tree under its Wine prefix.
#   Bench/run-benchmarks.sh BUILD
# One line per benchmark; add yours below.
set -uo pipefail
build="$(cd "${1:?usage: $0 BUILD}" && pwd)"
rc=0
run() {
  echo "== $1"
  "$build/wine-run.sh" "$build/bin/$1" || rc=1
}

run ContainersBench.exe
run PatternSearchBench.exe
run CompilerOptimizationBench.exe
run CheckBench.exe

exit $rc
