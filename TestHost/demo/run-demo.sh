#!/usr/bin/env bash
# The main job: installs the pack into a stand-in RAD Studio XE installation
# under Wine with the real installer, starts the stand-in IDE with it and
# shows what a user would see, then runs the compiler workload, the
# conversion of a sample form (TestHost/demo/SampleForm.txt), the file-path
# functions, the editor's bracket searches and the component library's
# bitmap handles with the pack disabled and enabled and compares the results
# and timings. The installation is left in place.
#   run-demo.sh BUILD
#
# The demo has a Wine prefix of its own (BUILD/demo/wineprefix), so it never
# disturbs the test suite's prefix, and a stand-in installation registered
# under HKCU\Software\Embarcadero\BDS\8.0 the way a real one registers itself.
set -euo pipefail
BUILD="$(cd "${1:?usage: run-demo.sh BUILD}" && pwd)"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
DEMO="$BUILD/demo"
IDE="$DEMO/RAD Studio/8.0"
ROOTKEY='HKCU\Software\Embarcadero\BDS\8.0'
JOURNAL="$DEMO/journal.txt"
UNITS="${QM_DEMO_UNITS:-1000}"
IMPORTS=15

export WINEPREFIX="$DEMO/wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

winpath() { printf 'Z:%s' "${1//\//\\}"; }
# Journal fields escape CR, LF and backslash; print them as text again.
unescape() { perl -pe 's/\\(.)/$1 eq "r" ? "" : $1 eq "n" ? "\n" : $1/ge'; }
indent() { sed 's/^/   /'; }
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^  */, ""); print }'; }

ALTERED=scope  # the stand-in compiler variant whose scope lookup routine is encoded differently
for f in out/Quillmend.dll out/QuillmendStartup.bpl out/QuillmendRegXE.exe out/QuillmendCheck.exe host/bds.exe \
         host/dcc150.dll host/vcl150.bpl host/boreditu.dll "host-variants/$ALTERED/dcc150.dll"; do
  [ -e "$BUILD/$f" ] || { echo "missing $BUILD/$f: build first" >&2; exit 1; }
done

mkdir -p "$DEMO"
"$ROOT/cmake/wine-session.sh" start "$DEMO"
trap '"$ROOT/cmake/wine-session.sh" stop "$DEMO"' EXIT

echo "== stand-in RAD Studio XE installation"
rm -rf "$IDE"
mkdir -p "$IDE/bin"
cp "$BUILD"/host/*.exe "$BUILD"/host/*.dll "$BUILD"/host/*.bpl "$IDE/bin/"
regtext() { printf '%s' "$1" | sed 's/\\/\\\\/g'; }
{
  echo 'REGEDIT4'
  echo
  echo "[HKEY_CURRENT_USER\\Software\\Embarcadero\\BDS\\8.0]"
  echo '"ProductVersion"="15"'
  echo "\"RootDir\"=\"$(regtext "$(winpath "$IDE")\\")\""
  echo "\"App\"=\"$(regtext "$(winpath "$IDE/bin/bds.exe")")\""
  echo
  echo "[HKEY_CURRENT_USER\\Software\\Embarcadero\\BDS\\8.0\\Known IDE Packages]"
  echo "\"$(regtext "$(winpath "$IDE/bin/delphicoreide150.bpl")")\"=\"Delphi Core IDE Package\""
  echo "\"$(regtext "$(winpath "$IDE/bin/win32debugide150.bpl")")\"=\"Win32 Debugger IDE Package\""
  echo
  echo "[HKEY_CURRENT_USER\\Software\\Embarcadero\\BDS\\8.0\\Experts]"
} > "$DEMO/installation.reg"
wine reg delete 'HKCU\Software\Embarcadero\BDS' /f >/dev/null 2>&1 || true
wine regedit /s "$(winpath "$DEMO/installation.reg")"
echo "   $ROOTKEY"
echo "   RootDir = $(reg_value "$ROOTKEY" RootDir)"
echo "   App     = $(reg_value "$ROOTKEY" App)"

echo
echo "== checking the IDE before installing: QuillmendCheck.exe"
rc=0
wine "$BUILD/out/QuillmendCheck.exe" > "$DEMO/check.txt" 2>&1 || rc=$?
tr -d '\r' < "$DEMO/check.txt" | indent
echo "   (exit code $rc)"

# A copy of the installation whose compiler library is another build: one
# routine the pack searches for is encoded differently. It is registered
# only for the time of the check, so the installer does not see it.
ALTERED_IDE="$DEMO/RAD Studio altered/8.0"
ALTERED_KEY='HKCU\Software\Embarcadero\QuillmendDemoAltered\8.0'
rm -rf "$DEMO/RAD Studio altered"
mkdir -p "$ALTERED_IDE"
cp -r "$IDE/bin" "$ALTERED_IDE/"
cp "$BUILD/host-variants/$ALTERED/dcc150.dll" "$ALTERED_IDE/bin/"
wine reg add "$ALTERED_KEY" /v ProductVersion /d 15 /f >/dev/null
wine reg add "$ALTERED_KEY" /v RootDir /d "$(winpath "$ALTERED_IDE")" /f >/dev/null
echo
echo "== checking a copy with another compiler build ($ALTERED routine altered): QuillmendCheck.exe /RQuillmendDemoAltered"
rc=0
wine "$BUILD/out/QuillmendCheck.exe" /RQuillmendDemoAltered > "$DEMO/check-altered.txt" 2>&1 || rc=$?
tr -d '\r' < "$DEMO/check-altered.txt" | grep -E '^[^ ]+ +fails: |^[0-9]+ patches: ' | indent
echo "   (exit code $rc)"
wine reg delete 'HKCU\Software\Embarcadero\QuillmendDemoAltered' /f >/dev/null 2>&1 || true

echo
echo "== installing: QuillmendRegXE.exe /INSTALL"
wine "$BUILD/out/QuillmendRegXE.exe" /INSTALL || { echo "the installer failed (exit code $?)" >&2; exit 1; }
EXPERTS="$WINEPREFIX/drive_c/users/Public/Documents/RAD Studio/8.0/Experts"
for f in Quillmend.dll QuillmendStartup.bpl QuillmendClr.dll; do
  if [ -e "$EXPERTS/$f" ]; then
    printf '   %-22s %8d bytes  C:\\users\\Public\\Documents\\RAD Studio\\8.0\\Experts\\%s\n' \
      "$f" "$(stat -c %s "$EXPERTS/$f")" "$f"
  fi
done
echo "   Experts\\Quillmend          = $(reg_value "$ROOTKEY\\Experts" Quillmend)"
echo "   Known IDE Packages:"
wine reg query "$ROOTKEY\\Known IDE Packages" 2>/dev/null | tr -d '\r' | grep -i 'REG_SZ' | sed 's/^ *//; s/  *REG_SZ  */ = /' | indent

# Runs the stand-in IDE with a workload (default: the compiler workload), its
# C++ personality loaded and the C++ compiler with it before the experts, as
# a session that has compiled C++ before. Wine does not hand variables whose
# names hold a dot (such as "Quillmend.DisabledPatches") from the Unix
# environment to Windows programs, so they are set in a batch file.
run_ide() {  # run_ide JOURNAL [DISABLED-PATCHES [WORKLOAD...]]
  local journal="$1" disabled="${2:-}" script="$DEMO/run-ide.cmd"
  shift; shift || true
  local workload="${*:-dcc $UNITS $IMPORTS}"
  rm -f "$journal"
  {
    echo '@echo off'
    [ -n "$disabled" ] && echo "set Quillmend.DisabledPatches=$disabled"
    echo "\"$(winpath "$IDE/bin/bds.exe")\" -journal \"$(winpath "$journal")\" -comp32x -run $workload"
    echo 'exit /b %errorlevel%'
  } | sed 's/$/\r/' > "$script"
  wine cmd /c "$(winpath "$script")"
}

echo
echo "== starting the stand-in IDE with the pack (C++ compiler loaded before the expert entry; compiler workload: $UNITS units, $IMPORTS imports each)"
run_ide "$JOURNAL"

echo
echo "== about box entry"
grep '^ABOUT-ADD ' "$JOURNAL" | sed 's/^ABOUT-ADD [0-9-]* //; s/|/\n\n/' | unescape | indent || echo "   (none)"
echo
echo "== failed-patch warnings"
if grep -q '^MESSAGEBOX ' "$JOURNAL"; then
  grep '^MESSAGEBOX ' "$JOURNAL" | sed 's/^MESSAGEBOX owner=[^ ]* caption=/[/; s/ style=[^ ]* text=/]\n/' | unescape | indent
else
  echo "   (none: every registered patch was applied)"
fi
if grep -q '^PATCH-FAILED ' "$JOURNAL"; then
  echo
  echo "== why they failed"
  grep '^PATCH-FAILED ' "$JOURNAL" | sed 's/^PATCH-FAILED //' | unescape | indent
fi
if grep -q '^EXCEPTION ' "$JOURNAL"; then
  echo
  echo "== errors the IDE saw"
  grep '^EXCEPTION ' "$JOURNAL" | unescape | indent
fi

echo
echo "== compiler workload timings: pack disabled (Quillmend.DisabledPatches=*) vs enabled"
run_ide "$DEMO/journal-disabled.txt" "*"
phases() { grep '^DCC-PHASE ' "$1" | sed 's/^DCC-PHASE //; s/ms=//; s/checksum=//'; }
printf '   %-16s %12s %12s %9s  %s\n' phase "disabled" "enabled" speed-up "results"
paste -d' ' <(phases "$DEMO/journal-disabled.txt") <(phases "$JOURNAL") |
  while read -r name off sumoff _ on sumon; do
    same=$([ "$sumoff" = "$sumon" ] && echo identical || echo DIFFERENT)
    awk -v n="$name" -v a="$off" -v b="$on" -v s="$same" \
      'BEGIN { printf "   %-16s %9.2f ms %9.2f ms %8.1fx  %s\n", n, a, b, (b > 0 ? a / b : 0), s }'
  done

echo
echo "== form text to binary: the sample form (bds.exe -run formtext), pack disabled vs enabled"
cp "$ROOT/TestHost/demo/SampleForm.txt" "$DEMO/SampleForm.txt"
form_run() {  # form_run NAME DISABLED-PATCHES
  run_ide "$DEMO/journal-form-$1.txt" "$2" formtext "\"$(winpath "$DEMO/SampleForm.txt")\"" \
    "\"$(winpath "$DEMO/SampleForm-$1.bin")\"" >/dev/null 2>&1 || true
  grep '^FORMTEXT' "$DEMO/journal-form-$1.txt" | unescape | sed "s/^/   $1: /"
}
form_run disabled "*"
form_run enabled ""
if cmp -s "$DEMO/SampleForm-disabled.bin" "$DEMO/SampleForm-enabled.bin"; then
  echo "   binary forms identical ($(stat -c %s "$DEMO/SampleForm-enabled.bin") bytes: $(head -c 4 "$DEMO/SampleForm-enabled.bin"), $DEMO/SampleForm-enabled.bin)"
else
  echo "   binary forms DIFFERENT"
fi

echo
echo "== file-path functions (bds.exe -run pathtiming): ns per call, pack disabled vs enabled"
run_ide "$DEMO/journal-paths-disabled.txt" "*" pathtiming >/dev/null 2>&1 || true
run_ide "$DEMO/journal-paths-enabled.txt" "" pathtiming >/dev/null 2>&1 || true
path_times() { grep '^PATH-TIME ' "$1" | sed 's/^PATH-TIME //; s/ns=//; s/checksum=//'; }
printf '   %-20s %12s %12s %9s  %s\n' function "disabled" "enabled" speed-up "results"
paste -d' ' <(path_times "$DEMO/journal-paths-disabled.txt") <(path_times "$DEMO/journal-paths-enabled.txt") |
  while read -r name off sumoff _ on sumon; do
    same=$([ "$sumoff" = "$sumon" ] && echo identical || echo DIFFERENT)
    awk -v n="$name" -v a="$off" -v b="$on" -v s="$same" \
      'BEGIN { printf "   %-20s %9.1f ns %9.1f ns %8.1fx  %s\n", n, a, b, (b > 0 ? a / b : 0), s }'
  done

echo
echo "== C++ compiler patches (comp32x.dll was loaded before the expert entry, so the about box lists them)"
grep '^ABOUT-ADD ' "$JOURNAL" | unescape | grep -E '\[(CppCompiler\.|Debugger\.Cpp|bcc\.)' | indent || echo "   (none)"
echo
echo "== the C++ compiler loaded, used and unloaded three times: pack disabled vs enabled"
run_ide "$DEMO/journal-cpp.txt" "" cppcycle 3
run_ide "$DEMO/journal-cpp-disabled.txt" "*" cppcycle 3
cycles() { grep '^CPP-CYCLE ' "$1" | sed 's/^CPP-CYCLE //'; }
paste -d'|' <(cycles "$DEMO/journal-cpp-disabled.txt") <(cycles "$DEMO/journal-cpp.txt") |
  while IFS='|' read -r off on; do
    same=$([ "$off" = "$on" ] && echo identical || echo DIFFERENT)
    echo "   load ${on%% *}: ${on#* }  $same"
  done
if grep -q '^MESSAGEBOX \|^EXCEPTION ' "$DEMO/journal-cpp.txt"; then
  echo "   warnings or errors after a compiler load:"
  grep '^MESSAGEBOX \|^EXCEPTION ' "$DEMO/journal-cpp.txt" | unescape | indent
else
  echo "   every load: all C++ patches applied again, no warning"
fi

echo
echo "== editor bracket matching (boreditu.dll): the same searches, pack disabled vs enabled"
run_ide "$DEMO/journal-brackets-off.txt" "*" brackets
run_ide "$DEMO/journal-brackets-on.txt" "" brackets
searches() { grep '^BRACKET-SEARCH ' "$1" | sed 's/^BRACKET-SEARCH //' | unescape; }
paste -d'\t' <(searches "$DEMO/journal-brackets-off.txt") <(searches "$DEMO/journal-brackets-on.txt" | sed 's/.* -> //') |
  while IFS=$'\t' read -r search on; do
    text="${search% caret=*}"; rest="${search##* caret=}"; caret="${rest%% ->*}"; off="${rest##*-> }"
    printf '   %-46s caret %2s   disabled -> %-4s enabled -> %s\n' "$text" "$caret" "$off" "$on"
  done

echo
echo "== GDI bitmap handles held (vcl150.bpl, 100 of each), pack disabled vs enabled"
run_ide "$DEMO/journal-gdi-off.txt" "*" gdihandles 100
run_ide "$DEMO/journal-gdi-on.txt" "" gdihandles 100
held() { grep '^GDI-BITMAPS ' "$1" | grep -v -e '^GDI-BITMAPS start ' -e '^GDI-BITMAPS freed ' |
           sed 's/^GDI-BITMAPS \([^ ]*\) count=[0-9]* before=\(-*[0-9]*\) live=\(-*[0-9]*\)/\1 \2 \3/'; }
printf '   %-22s %9s %9s\n' batch disabled enabled
paste -d' ' <(held "$DEMO/journal-gdi-off.txt") <(held "$DEMO/journal-gdi-on.txt") |
  while read -r name b0 l0 _ b1 l1; do
    printf '   %-22s %9d %9d\n' "$name" "$((l0 - b0))" "$((l1 - b1))"
  done

echo
echo "== IDE collections workload (palette search, FillTabs, a uses list filled and cleared, an MSBuild group): pack disabled vs enabled"
run_ide "$DEMO/journal-collections-disabled.txt" "*" collections
run_ide "$DEMO/journal-collections.txt" "" collections
grep '^COLLECTIONS-WORKLOAD ' "$DEMO/journal-collections.txt" | sed 's/^COLLECTIONS-WORKLOAD /   /'
collection_phases() { grep '^COLLECTIONS-PHASE ' "$1" | sed 's/^COLLECTIONS-PHASE //; s/ms=//; s/result=//'; }
printf '   %-16s %12s %12s %9s  %s\n' phase "disabled" "enabled" speed-up "results"
paste -d' ' <(collection_phases "$DEMO/journal-collections-disabled.txt") <(collection_phases "$DEMO/journal-collections.txt") |
  while read -r name off sumoff _ on sumon; do
    same=$([ "$sumoff" = "$sumon" ] && echo identical || echo DIFFERENT)
    awk -v n="$name" -v a="$off" -v b="$on" -v s="$same" \
      'BEGIN { printf "   %-16s %9.2f ms %9.2f ms %8.1fx  %s\n", n, a, b, (b > 0 ? a / b : 0), s }'
  done
echo "   palette queries per 100 searches: $(grep '^COLLECTIONS-QUERIES ' "$DEMO/journal-collections-disabled.txt" | cut -d' ' -f2) disabled, $(grep '^COLLECTIONS-QUERIES ' "$DEMO/journal-collections.txt" | cut -d' ' -f2) enabled"
echo "== compiler output, file search and the compiler lock (the about box lists them)"
grep '^ABOUT-ADD ' "$JOURNAL" | unescape |
  grep -E '\[(Compiler\.(MapFileBuffer|DrcFileBuffer|BackgroundCompilerFileExists|SourceOutdated[.0-9A-Za-z]*|FileSearchCache|KibitzGetValidSymbols|DirectorySearch)|ErrorInsight\.LockCurrentDir)\]' |
  indent || echo "   (none)"
echo
echo "== a project compiled in three passes (bds.exe -run dccfiles 8 150 200 3; cold, warm, 5% touched): pack disabled vs enabled"
(cd "$DEMO" && run_ide "$DEMO/journal-files-off.txt" "*" dccfiles 8 150 200 3 >/dev/null 2>&1) || true
(cd "$DEMO" && run_ide "$DEMO/journal-files-on.txt" "" dccfiles 8 150 200 3 >/dev/null 2>&1) || true
file_passes() { grep '^DCCFILES-PASS ' "$1" | sed 's/^DCCFILES-PASS //'; }
printf '   %-5s %10s %10s %11s %11s %10s %10s %10s %10s  %s\n' pass "off ms" "on ms" "off queries" "on queries" \
  "off next" "on next" "off ages" "on ages" results
paste -d'|' <(file_passes "$DEMO/journal-files-off.txt") <(file_passes "$DEMO/journal-files-on.txt") |
  while IFS='|' read -r off on; do
    field() { echo "$1" | sed -n "s/.* $2=\([^ ]*\).*/\1/p"; }
    rest() { echo "$1" | sed 's/.* searches=/searches=/; s/ checkages=.*//'; }
    same=$([ "$(rest "$off")" = "$(rest "$on")" ] && echo identical || echo DIFFERENT)
    printf '   %-5s %10s %10s %11s %11s %10s %10s %10s %10s  %s\n' "${off%% *}" "$(field "$off" ms)" "$(field "$on" ms)" \
      "$(field "$off" queries)" "$(field "$on" queries)" "$(field "$off" findnext)" "$(field "$on" findnext)" \
      "$(field "$off" checkages)" "$(field "$on" checkages)" "$same"
  done

echo
echo "== compiler package, generics and CodeInsight patches"
grep '^ABOUT-ADD ' "$JOURNAL" | sed 's/^ABOUT-ADD [0-9-]* //; s/|/\n/' | unescape | tr -d '\r' |
  grep -E '\[Compiler\.(FindPackage|Generics\.Inst|Linker\.GenericsMatch|Fixes|KibitzIgnoreErrors|SkipBody|MainUnitFinalize)\]' |
  indent || echo "   (none)"

echo
echo "== CodeInsight compiles on a background thread (kibitz workload): pack disabled vs enabled"
run_ide "$DEMO/journal-kibitz-disabled.txt" "*" kibitz
run_ide "$DEMO/journal-kibitz.txt" "" kibitz
kibitz() { grep -E '^KIBITZ-(COMPILE|NORMAL)' "$1" | sed 's/ checksum=[0-9A-F]*//'; }
echo "   pack disabled:"
kibitz "$DEMO/journal-kibitz-disabled.txt" | indent | indent
echo "   pack enabled (edited units reset, 249 errors per reset swallowed, bodies skipped to their ends, no finalization):"
kibitz "$DEMO/journal-kibitz.txt" | indent | indent

echo
echo "== the installation stays in place"
echo "   journal of the run with the pack: $JOURNAL"
echo "   to uninstall:"
echo "     WINEPREFIX=\"$WINEPREFIX\" wine \"$BUILD/out/QuillmendRegXE.exe\" /UNINSTALL"
