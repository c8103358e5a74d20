#!/usr/bin/env bash
# The main job: installs the pack into a stand-in RAD Studio XE installation
# under Wine with the real installer, starts the stand-in IDE with it and
# shows what a user would see, then runs the compiler workload, the
# conversion of a sample form (TestHost/demo/SampleForm.txt), the file-path
# functions, the editor's bracket searches and the component library's
# bitmap handles, the editor's undo and class completion with the pack
# disabled and enabled and compares the results and timings. The
# installation is left in place.
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
         host/dcc150.dll host/vcl150.bpl host/boreditu.dll host/refactoride150.bpl "host-variants/$ALTERED/dcc150.dll"; do
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
  echo "\"$(regtext "$(winpath "$IDE/bin/refactoride150.bpl")")\"=\"Refactoring IDE Package\""
  echo
  echo "[HKEY_CURRENT_USER\\Software\\Embarcadero\\BDS\\8.0\\Globals]"
  echo '"QuillmendDisablePackageCache"="1"'
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
run_ide() {  # run_ide JOURNAL [DISABLED-PATCHES [WORKLOAD...]]; IDE_ARGS: switches before -run
  local journal="$1" disabled="${2:-}" script="$DEMO/run-ide.cmd"
  shift; shift || true
  local workload="${*:-dcc $UNITS $IMPORTS}"
  rm -f "$journal"
  {
    echo '@echo off'
    [ -n "$disabled" ] && echo "set Quillmend.DisabledPatches=$disabled"
    echo "\"$(winpath "$IDE/bin/bds.exe")\" -journal \"$(winpath "$journal")\" -comp32x ${IDE_ARGS:-} -run $workload"
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
if ! grep -q '\[IDE.HelpInsight.InteropCache\]' "$JOURNAL"; then
  echo
  echo "== Help Insight interop cache"
  echo "   IDE.HelpInsight.InteropCache is ignored here (the about box lists no ignored patch):"
  echo "   it runs Help Insight's requests through the managed bridge QuillmendClr.dll, which"
  echo "   needs the .NET runtime in the IDE process;"
  echo "   Wine runs this IDE without one (its mscoree is disabled: calling the bridge would abort)."
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
echo "== a form of 3,000 fields over an inherited form loaded (bds.exe -run formload 3000), pack disabled vs enabled"
run_ide "$DEMO/journal-formload-disabled.txt" "*" formload 3000 >/dev/null 2>&1 || true
run_ide "$DEMO/journal-formload-enabled.txt" "" formload 3000 >/dev/null 2>&1 || true
formload_line() { grep '^FORMLOAD' "$1" | sed 's/^FORMLOAD //'; }
echo "   disabled: $(formload_line "$DEMO/journal-formload-disabled.txt")"
echo "   enabled:  $(formload_line "$DEMO/journal-formload-enabled.txt")"
load_sum() { formload_line "$1" | sed 's/ walks=.*//'; }
load_ms() { formload_line "$1" | sed 's/.*ms=//'; }
if [ -n "$(load_sum "$DEMO/journal-formload-enabled.txt")" ] &&
   [ "$(load_sum "$DEMO/journal-formload-disabled.txt")" = "$(load_sum "$DEMO/journal-formload-enabled.txt")" ]; then
  awk -v a="$(load_ms "$DEMO/journal-formload-disabled.txt")" -v b="$(load_ms "$DEMO/journal-formload-enabled.txt")" \
    'BEGIN { printf "   fields identical (checksum), %.1fx faster (walks: field-table walks during the load)\n", (b > 0 ? a / b : 0) }'
else
  echo "   fields DIFFERENT"
fi

echo
echo "== Help Insight parser thread's wait (bds.exe -run helpinsightwait): 100 ms timeout, a message every 1, 10, 100 ms for 500 ms"
run_ide "$DEMO/journal-wait-disabled.txt" "*" helpinsightwait >/dev/null 2>&1 || true
run_ide "$DEMO/journal-wait-enabled.txt" "" helpinsightwait >/dev/null 2>&1 || true
wait_rows() { grep '^HELPINSIGHT-WAIT ' "$1" | sed 's/^HELPINSIGHT-WAIT //; s/[a-z]*=//g'; }
printf '   %-14s %14s %8s %14s %8s\n' "message every" "disabled ms" waits "enabled ms" waits
paste -d' ' <(wait_rows "$DEMO/journal-wait-disabled.txt") <(wait_rows "$DEMO/journal-wait-enabled.txt") |
  while read -r every off woff _ _ on won _; do
    printf '   %-11s ms %14s %8s %14s %8s\n' "$every" "$off" "$woff" "$on" "$won"
  done
echo
echo "== Help Insight view command (bds.exe -run helpinsightview): the command's action run once per step, pack disabled vs enabled"
run_ide "$DEMO/journal-view-disabled.txt" "*" helpinsightview >/dev/null 2>&1 || true
run_ide "$DEMO/journal-view-enabled.txt" "" helpinsightview >/dev/null 2>&1 || true
view_rows() { grep '^HELPINSIGHT-VIEW ' "$1" | sed 's/^HELPINSIGHT-VIEW //; s/ during-cursor=/ /; s/ during-monitor=.*//; s/[a-z]*=//g'; }
printf '   %-24s %22s %22s\n' step "disabled: on/ran/cur" "enabled: on/ran/cur"
paste -d' ' <(view_rows "$DEMO/journal-view-disabled.txt") <(view_rows "$DEMO/journal-view-enabled.txt") |
  while read -r step on ran cur _ on2 ran2 cur2; do
    printf '   %-24s %22s %22s\n' "$step" "$on/$ran/$cur" "$on2/$ran2/$cur2"
  done
echo "   (on: the action enabled; ran: the IDE's handler ran; cur: the cursor while it ran, -11 the hourglass)"
echo
SPLASH_PACKAGES=20
echo "== splash progress (bds.exe -splash): $SPLASH_PACKAGES design packages of \"Known Packages\" loaded after the experts"
PKGDIR="$IDE/bin/splashdemo"
mkdir -p "$PKGDIR"
{
  echo 'REGEDIT4'
  echo
  echo "[HKEY_CURRENT_USER\\Software\\Embarcadero\\BDS\\8.0\\Known Packages]"
  for i in $(seq 1 "$SPLASH_PACKAGES"); do
    cp "$BUILD/host-strings/strmod.dll" "$PKGDIR/dclsplash$i.bpl"
    echo "\"$(regtext "$(winpath "$PKGDIR/dclsplash$i.bpl")")\"=\"Splash demo package $i\""
  done
} > "$DEMO/splash-packages.reg"
wine regedit /s "$(winpath "$DEMO/splash-packages.reg")"
IDE_ARGS="-splash" run_ide "$DEMO/journal-splash.txt" "" helpinsightview >/dev/null 2>&1 || true
wine reg delete "$ROOTKEY\\Known Packages" /f >/dev/null 2>&1 || true
echo "   design packages loaded: $(grep -c '^DESIGN-PACKAGE ' "$DEMO/journal-splash.txt" || true)"
echo "   the splash's label when it closed: $(grep '^SPLASH-CLOSE ' "$DEMO/journal-splash.txt" | sed 's/^SPLASH-CLOSE //' | unescape | paste -sd' ' - || true)"
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

LOG_LINES="${QM_DEMO_LOG_LINES:-2000}"
echo
echo "== debugger event log (bds.exe -run logview $LOG_LINES 1: a line per ms while the message loop runs), pack disabled vs enabled"
run_ide "$DEMO/journal-log-disabled.txt" "*" logview "$LOG_LINES" 1 >/dev/null 2>&1 || true
run_ide "$DEMO/journal-log-enabled.txt" "" logview "$LOG_LINES" 1 >/dev/null 2>&1 || true
printf '   %-9s %10s %14s %11s %12s\n' pack refreshes "lines re-read" "last sees" "time"
for mode in disabled enabled; do
  grep '^LOGVIEW ' "$DEMO/journal-log-$mode.txt" | sed 's/^LOGVIEW //' | tr ' ' '\n' | sed 's/^[a-z]*=//' | paste -sd' ' |
    while read -r lines refreshes read last ms; do
      printf '   %-9s %10s %14s %5s lines %9.1f ms\n' "$mode" "$refreshes" "$read" "$last" "$ms"
    done
done
echo "   (throttled: at most one refresh per 75 ms while lines arrive, and one after the last)"

echo
echo "== project writer (bds.exe -run project 5000): system writes of one project file, pack disabled vs enabled"
for mode in disabled enabled; do
  off=$([ "$mode" = disabled ] && echo "*" || echo "")
  run_ide "$DEMO/journal-project-$mode.txt" "$off" project 5000 "$(winpath "$DEMO/project-$mode.dproj")" >/dev/null 2>&1 || true
  grep '^PROJECT ' "$DEMO/journal-project-$mode.txt" | sed "s/^PROJECT /   $mode: /"
done
if cmp -s "$DEMO/project-disabled.dproj" "$DEMO/project-enabled.dproj"; then
  echo "   project files identical ($(stat -c %s "$DEMO/project-enabled.dproj") bytes)"
else
  echo "   project files DIFFERENT"
fi

echo
echo "== XML ini file (bds.exe -run ini): 100 cycles of writing and removing a key and a section, pack disabled vs enabled"
{
  printf 'W\tEditor\tFont\tConsolas\nW\tEditor\tSize\t10\nW\tEditor\tEmpty\t\n'
  for i in $(seq 100); do printf 'W\tEditor\tRecent\tfile.pas\nD\tEditor\tRecent\t\nW\tSession\tOpen\t1\nE\tSession\t\t\n'; done
  printf 'Q\tEditor\t\t\nV\tEditor\tEmpty\t\n'
} > "$DEMO/ini-script.txt"
for mode in disabled enabled; do
  off=$([ "$mode" = disabled ] && echo "*" || echo "")
  rm -f "$DEMO/ini-$mode.xml"
  run_ide "$DEMO/journal-ini-$mode.txt" "$off" ini "$(winpath "$DEMO/ini-script.txt")" "$(winpath "$DEMO/ini-$mode.xml")" >/dev/null 2>&1 || true
  grep '^INI-SCRIPT ' "$DEMO/journal-ini-$mode.txt" | sed "s/^INI-SCRIPT /   $mode: /"
done
if diff -q <(grep '^INI-READ ' "$DEMO/journal-ini-disabled.txt") <(grep '^INI-READ ' "$DEMO/journal-ini-enabled.txt") >/dev/null; then
  echo "   reads identical; the saved documents:"
else
  echo "   reads DIFFERENT; the saved documents:"
fi
for mode in disabled enabled; do
  echo "   -- $mode ($(stat -c %s "$DEMO/ini-$mode.xml") bytes)"
  tr -d '\r' < "$DEMO/ini-$mode.xml" | head -12 | sed 's/^/      /'
done

echo
echo "== debugger: a debuggee started with a 5,000-character command line (bds.exe -run debuggee 5000)"
echo "   and the Watch list opened and closed 100 times (bds.exe -run watchlist 100), pack disabled vs enabled"
for mode in disabled enabled; do
  off=$([ "$mode" = disabled ] && echo "*" || echo "")
  run_ide "$DEMO/journal-debuggee-$mode.txt" "$off" debuggee 5000 >/dev/null 2>&1 || true
  run_ide "$DEMO/journal-watch-$mode.txt" "$off" watchlist 100 >/dev/null 2>&1 || true
  received=$(grep '^DEBUGGEE ' "$DEMO/journal-debuggee-$mode.txt" | sed 's/.*received=\([0-9]*\).*/\1/')
  live=$(grep '^WATCHLIST ' "$DEMO/journal-watch-$mode.txt" | sed 's/.*live=\([0-9]*\).*/\1/')
  notified=$(grep '^WATCHLIST ' "$DEMO/journal-watch-$mode.txt" | sed 's/.*notified=\([0-9]*\).*/\1/')
  printf '   %-9s debuggee received %5s of 5000 characters; inspectors left alive: %3s (notifications: %s)\n' \
    "$mode" "${received:-?}" "${live:-?}" "${notified:-?}"
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
echo
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
echo "== editor, parser and code-completion fixes in the about box"
grep '^ABOUT-ADD ' "$JOURNAL" | unescape |
  grep -E '\[(IDE\.Editor\.UndoSpeed|IDE\.Editor\.DisableUndoProtect|IDE\.Editor\.CopyTrimTrailingBlanks|Editor\.FocusFix|IDE\.Parser\.ElisionLock|IDE\.BackgroundParserUtils|IDE\.EditorControl\.CnWizardsAV|IDE\.RefactoringCmdsUpdate|Editor\.PublishedBlock|IDE\.ClassCompletion\.ClassOperatorIn)\]' |
  indent || echo "   (none)"

echo
echo "== the editor undoing a group of 10,000 edits in a 10,000-line buffer (boreditu.dll), pack disabled vs enabled"
run_ide "$DEMO/journal-undo-off.txt" "*" undo 10000
run_ide "$DEMO/journal-undo-on.txt" "" undo 10000
undo_line() { grep '^UNDO ' "$1" | sed 's/^UNDO //'; }
echo "   disabled: $(undo_line "$DEMO/journal-undo-off.txt")"
echo "   enabled:  $(undo_line "$DEMO/journal-undo-on.txt")"
sum_off="$(undo_line "$DEMO/journal-undo-off.txt" | sed 's/.*checksum=//')"
sum_on="$(undo_line "$DEMO/journal-undo-on.txt" | sed 's/.*checksum=//')"
[ "$sum_off" = "$sum_on" ] && echo "   buffer and undo state identical" || echo "   buffer and undo state DIFFERENT"

echo
echo "== class completion (delphicoreide150.bpl): class operator In and a persistent class, pack disabled vs enabled"
run_ide "$DEMO/journal-completion-off.txt" "*" classcompletion
run_ide "$DEMO/journal-completion-on.txt" "" classcompletion
for state in off on; do
  echo "   pack $([ "$state" = off ] && echo disabled || echo enabled):"
  grep '^CLASS-COMPLETION ' "$DEMO/journal-completion-$state.txt" | sed 's/^CLASS-COMPLETION [^ ]* -> //' | unescape |
    sed 's/^/      /'
done

echo
echo "== the installation stays in place"
echo "   journal of the run with the pack: $JOURNAL"
echo "   to uninstall:"
echo "     WINEPREFIX=\"$WINEPREFIX\" wine \"$BUILD/out/QuillmendRegXE.exe\" /UNINSTALL"
