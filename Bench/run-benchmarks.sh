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
run CppCompilerBench.exe
run IdeCollectionsBench.exe
run SystemUnitBench.exe
run VariantsBench.exe
run XmlBench.exe
run XmlWriterBench.exe
run XmlIniFileBench.exe
run SerializerBench.exe
run DebuggerBench.exe
run CompilerFilesBench.exe
run CompilerCachesBench.exe
run CompilerRoutinesBench.exe
run FileIndexBench.exe

# The run-time patches: the four form texts written first, Free Pascal's
# converter timed on them natively, then the comparison with its figures.
echo "== RtlBench.exe"
forms="$build/bench/forms"
mkdir -p "$forms"
winforms="Z:${forms//\//\\}"
if "$build/wine-run.sh" "$build/bin/RtlBench.exe" --write-forms "$winforms" &&
   "$build/bench/FormBench" "$forms" > "$forms/fpc.txt"; then
  "$build/wine-run.sh" "$build/bin/RtlBench.exe" --forms "$winforms" || rc=1
else
  rc=1
fi
run BracketMatchingBench.exe
run GdiHandlesBench.exe
run HelpInsightWaitBench.exe
run SplashProgressBench.exe
echo "== HelpInsightInteropBench.exe"
"$build/wine-run.sh" "$build/clr-double/HelpInsightInteropBench.exe" || rc=1
run UndoSpeedBench.exe
run BProgressBench.exe
run FieldAddressBench.exe

exit $rc
