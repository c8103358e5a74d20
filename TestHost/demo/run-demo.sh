#!/usr/bin/env bash
# The demo: registers the pack with the stand-in IDE in the build tree's Wine
# prefix (registry root "BDS"), starts bds.exe once with a journal, and shows
# what the IDE received: the about-box text and any failed-patch warning.
#   run-demo.sh BUILD
set -euo pipefail
BUILD="$(cd "${1:?usage: run-demo.sh BUILD}" && pwd)"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WINE="$BUILD/wine-run.sh"
ROOTKEY='HKCU\Software\Embarcadero\BDS\8.0'
JOURNAL="$BUILD/demo-journal.txt"

winpath() { printf 'Z:%s' "${1//\//\\}"; }
# Journal fields escape CR, LF and backslash; print them as text again.
unescape() { perl -pe 's/\\(.)/$1 eq "r" ? "" : $1 eq "n" ? "\n" : $1/ge'; }

for f in out/Quillmend.dll out/QuillmendStartup.bpl host/bds.exe; do
  [ -e "$BUILD/$f" ] || { echo "missing $BUILD/$f: build first" >&2; exit 1; }
done

"$ROOT/cmake/wine-session.sh" start "$BUILD"
trap '"$ROOT/cmake/wine-session.sh" stop "$BUILD"' EXIT

# Registration: Quillmend.dll as an expert, the start-up package as the
# first IDE package. (The installer, QuillmendRegXE.exe /INSTALL, does this
# for the real IDE.)
echo "== registering the pack under $ROOTKEY"
"$WINE" reg add "$ROOTKEY\\Experts" /v Quillmend /d "$(winpath "$BUILD/out/Quillmend.dll")" /f >/dev/null
"$WINE" reg add "$ROOTKEY\\Known IDE Packages" /v "$(winpath "$BUILD/out/QuillmendStartup.bpl")" \
  /d "Quillmend Startup" /f >/dev/null

echo "== starting the stand-in IDE (bds.exe) and loading the C++ compiler once"
rm -f "$JOURNAL"
"$WINE" "$BUILD/host/bds.exe" -journal "$(winpath "$JOURNAL")" -bccide -run cppload 1 0

echo
echo "== about box entry"
grep '^ABOUT-ADD ' "$JOURNAL" | sed 's/^ABOUT-ADD [0-9-]* //; s/|/\n\n/' | unescape || echo "(none)"
echo
echo "== failed-patch warnings"
if grep -q '^MESSAGEBOX ' "$JOURNAL"; then
  grep '^MESSAGEBOX ' "$JOURNAL" | sed 's/^MESSAGEBOX owner=[^ ]* caption=/[/; s/ style=[^ ]* text=/]\n/' | unescape
else
  echo "(none: every registered patch was applied)"
fi
echo
echo "== full journal: $JOURNAL"
