#!/usr/bin/env bash
# The installer's window on a virtual display (run under xvfb-run -a):
# caption, control texts, positions, tab order and button states from the
# control dump the installer writes to QUILLMEND_INSTALLER_LOG, the default
# root listed first, clicks on the check boxes of the list and Space on a
# selected item, the buttons following the checks and the registered expert,
# the cache check box, Install with its confirmation dialog, the registry
# afterwards, resizing with the anchors and the minimum size, and Quit.
# Leaves a screenshot in <build>/artifacts/installer.png.
#   InstallerWindowTest.sh <build dir>
set -uo pipefail
build="$(cd "$1" && pwd)"
wine_run="$build/wine-run.sh"
work="$build/installer-window-test"
artifacts="$build/artifacts"
log="$work/installer.log"
winlog="Z:${log//\//\\}"
experts="$build/wineprefix/drive_c/users/Public/Documents/RAD Studio/8.0/Experts"
embarcadero='HKCU\Software\Embarcadero'
appdefaults='HKCU\Software\Wine\AppDefaults\QuillmendRegXE.exe'
installer_pid=""
failures=0

reg() { "$wine_run" reg "$@" >/dev/null 2>&1; }
check() {  # check <description> <command...>
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
cleanup() {
  [ -n "$installer_pid" ] && kill "$installer_pid" 2>/dev/null
  reg delete "$embarcadero\\BDS" /f
  [ -s "$work/bds.reg" ] && reg import "$work/bds.reg"
  reg delete "$embarcadero\\QmInstallerGuiOther" /f
  reg delete "$embarcadero\\AQmInstallerGuiFirst" /f
  reg delete "$appdefaults" /f
  rm -f "$experts/Quillmend.dll" "$experts/QuillmendStartup.bpl" "$experts/QuillmendClr.dll"
  rmdir "$experts" 2>/dev/null
}
abort() { echo "FAILED: $*" >&2; [ -f "$log" ] && { echo "--- installer log:"; cat "$log"; } >&2; cleanup; exit 1; }

# Waits (at most the given seconds, default 60) until the log has a record
# matching the pattern.
wait_for_log() {
  for _ in $(seq 1 $((${2:-60} * 2))); do
    grep -qE "$1" "$log" 2>/dev/null && return 0
    sleep 0.5
  done
  return 1
}
# The last control dump of the window.
last_dump() { awk '/^--- /{keep = ($0 ~ /^--- window: /); if (keep) d = ""} keep {d = d $0 "\n"} END {printf "%s", d}' "$log"; }
dump_line() { last_dump | grep "^$1 "; }
# Screen coordinates of a point in the window's client area.
click_client() {
  local origin x0 y0
  origin="$(last_dump | sed -n 's/^client .* at \([0-9-]*\),\([0-9-]*\)$/\1 \2/p')"
  read -r x0 y0 <<<"$origin"
  xdotool mousemove $((x0 + $1)) $((y0 + $2)) click 1
}
drag() {  # drag <x> <y> <dx> <dy>, in screen coordinates
  xdotool mousemove "$1" "$2"; sleep 0.3; xdotool mousedown 1; sleep 0.3
  xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)); sleep 0.3
  xdotool mousemove $(($1 + $3)) $(($2 + $4)); sleep 0.3; xdotool mouseup 1
}
dumps_count() { grep -c '^--- window: ' "$log" 2>/dev/null || echo 0; }
wait_for_new_dump() {  # wait_for_new_dump <count before> <pattern in the new dump>
  for _ in $(seq 1 60); do
    [ "$(dumps_count)" -gt "$1" ] && last_dump | grep -qE "$2" && return 0
    sleep 0.5
  done
  return 1
}

rm -rf "$work"; mkdir -p "$work" "$artifacts"
# No crash dialog (it would wait forever on the virtual display); the window
# draws its own frame and caption since there is no window manager.
reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
reg add "$appdefaults\\X11 Driver" /v Managed /d N /f
"$wine_run" reg export "$embarcadero\\BDS" "$(printf 'Z:%s' "${work//\//\\}\\bds.reg")" >/dev/null 2>&1
reg delete "$embarcadero\\BDS" /f
reg add "$embarcadero\\BDS\\8.0" /v ProductVersion /d 15 /f
reg add "$embarcadero\\BDS\\8.0" /v RootDir /d 'C:\windows' /f
reg add "$embarcadero\\QmInstallerGuiOther\\8.0" /v ProductVersion /d 15 /f
# Registered by an earlier installation, so Uninstall is enabled from the start.
reg add "$embarcadero\\QmInstallerGuiOther\\8.0\\Experts" /v Quillmend /d 'C:\Old\Quillmend.dll' /f
# Listed before BDS by the registry (Wine sorts by name); still shown after it.
reg add "$embarcadero\\AQmInstallerGuiFirst\\8.0" /v ProductVersion /d 15 /f
rm -f "$experts"/*

QUILLMEND_INSTALLER_LOG="$winlog" timeout 300 "$wine_run" "$build/out/QuillmendRegXE.exe" &
installer_pid=$!

# Starting Wine and the installer takes long on a machine busy with other tests.
wait_for_log '^--- window: ' 150 || abort "the window did not appear"
sleep 1
wid="$(xdotool search --name '^Register Quillmend XE 5\.7$' 2>/dev/null | head -1)"
check "caption is \"Register Quillmend XE 5.7\"" [ -n "$wid" ]
dump="$(last_dump)"
expected='--- window: Register Quillmend XE 5.7
chkDisablePackageCache Button 8,29,402,17 enabled=1 checked=0 "Disable IDE Package and Palette Cache (better IDE performance)"
clbRegKeys ListBox 8,77,402,121 enabled=1 itemheight=18
btnInstall Button 8,204,75,25 enabled=1 "&Install"
btnUninstall Button 89,204,75,25 enabled=1 "&Uninstall"
btnQuit Button 335,204,75,25 enabled=1 "&Quit"
tab order: chkDisablePackageCache clbRegKeys btnInstall btnUninstall btnQuit
focus: btnInstall'
check "controls, texts, states, tab order and focus" \
  [ "$(grep -v -e '^client ' -e '^lblRegKeys ' <<<"$dump" | sed 's/ items=.*//')" = "$expected" ]
# Other roots of this prefix may be listed too; all are checked, BDS first.
items="$(sed -n 's/^clbRegKeys .* items=//p' <<<"$dump")"
check "default root first though listed second, every root checked (${items})" \
  bash -c '[[ "$0" == "[x]BDS;"* && "$0" == *"[x]AQmInstallerGuiFirst"* && "$0" == *"[x]QmInstallerGuiOther"* &&
              "$0" != *"[ ]"* ]]' "$items"
item_index() { tr ';' '\n' <<<"$items" | grep -n "\]$1\$" | cut -d: -f1; }
first_index="$(item_index AQmInstallerGuiFirst)"
other_index="$(item_index QmInstallerGuiOther)"
check "client area 418x234" grep -q '^client 418x234 at ' <<<"$dump"
# The label sizes itself to its text: at least its design width.
check "label at 8,61, height 13, whole text" \
  grep -qE '^lblRegKeys Static 8,61,(12[7-9]|1[3-9][0-9]|2[0-9][0-9]),13 enabled=1 "RAD Studio Registry Keys:"$' <<<"$dump"
xwd -root -silent | convert xwd:- "$artifacts/installer.png" || echo "note: no screenshot" >&2

# Items are 18 px high from the list's top (77) and border (2); an item's
# check box is in its left 17 px, its text to the right of it.
item_y() { echo $((77 + 2 + ($1 - 1) * 18 + 9)); }
click_box() { click_client 18 "$(item_y "$1")"; }

# A click on an item's text selects it without toggling; Space toggles the
# selected item, and only that one.
n="$(dumps_count)"
click_client 120 "$(item_y "$first_index")"
sleep 0.5
xdotool key space
check "Space toggles the selected item only" \
  wait_for_new_dump "$n" 'items=\[x\]BDS;.*\[ \]AQmInstallerGuiFirst.*\[x\]QmInstallerGuiOther'
check "  and no other item" [ "$(last_dump | grep -o '\[ \]' | wc -l)" -eq 1 ]

n="$(dumps_count)"
click_box "$other_index"
check "a click on the check box clears the item" wait_for_new_dump "$n" 'items=\[x\]BDS;.*\[ \]QmInstallerGuiOther'

# Any further roots of this prefix are cleared too; then BDS: nothing is
# checked, so Install is disabled, while Uninstall stays enabled for the
# root that holds the expert.
index=0
for item in $(last_dump | sed -n 's/^clbRegKeys .* items=//p' | tr ';' ' '); do
  index=$((index + 1))
  [[ "$item" == "[x]"* && "$item" != "[x]BDS" ]] && { click_box "$index"; sleep 0.5; }
done
n="$(dumps_count)"
click_box 1
check "nothing checked: Install disabled" wait_for_new_dump "$n" '^btnInstall Button 8,204,75,25 enabled=0 '
check "  Uninstall enabled" grep -q 'enabled=1' <<<"$(dump_line btnUninstall)"
check "  every item cleared" [ "$(last_dump | grep -c 'items=.*\[x\]')" -eq 0 ]
n="$(dumps_count)"
click_box 1
check "BDS checked again: Install enabled" wait_for_new_dump "$n" '^btnInstall Button 8,204,75,25 enabled=1 '
check "  BDS checked" grep -q 'items=\[x\]BDS;' <<<"$(dump_line clbRegKeys)"

# The cache check box, then Install.
click_client $((8 + 8)) $((29 + 8))
sleep 0.5
n="$(dumps_count)"
click_client $((8 + 37)) $((204 + 12))
wait_for_log '^--- task: Installed successfully$' || abort "no confirmation after Install"
check "confirmation text" grep -qx 'Quillmend was successfully installed.' "$log"
sleep 2
xwd -root -silent | convert xwd:- "$artifacts/installer-installed.png" 2>/dev/null
dialog="$(xdotool search --name '^QuillmendRegXE$' 2>/dev/null | head -1)"
[ -n "$dialog" ] && xdotool windowactivate "$dialog" 2>/dev/null
xdotool key Return
check "Uninstall enabled after the confirmation" wait_for_new_dump "$n" '^btnUninstall Button 89,204,75,25 enabled=1 '
bds_experts="$("$wine_run" reg query "$embarcadero\\BDS\\8.0\\Experts" /v Quillmend 2>/dev/null | tr -d '\r')"
check "BDS registered" grep -q 'Quillmend.*REG_SZ.*C:\\users\\Public\\Documents\\RAD Studio\\8.0\\Experts\\Quillmend.dll' <<<"$bds_experts"
check "BDS start-up package known" bash -c "\"$wine_run\" reg query '$embarcadero\\BDS\\8.0\\Known IDE Packages' 2>/dev/null | tr -d '\r' | grep -q 'QuillmendStartup.bpl *REG_SZ *Quillmend Startup\$'"
check "BDS package cache switched off" bash -c "\"$wine_run\" reg query '$embarcadero\\BDS\\8.0\\Globals' /v QuillmendDisablePackageCache 2>/dev/null | tr -d '\r' | grep -q 'QuillmendDisablePackageCache *REG_SZ *1\$'"
check "unchecked roots not registered" bash -c "! \"$wine_run\" reg query '$embarcadero\\AQmInstallerGuiFirst\\8.0\\Experts' >/dev/null 2>&1 &&
  \"$wine_run\" reg query '$embarcadero\\QmInstallerGuiOther\\8.0\\Experts' /v Quillmend 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ *C:.Old.Quillmend.dll\$'"
check "files written" [ -f "$experts/Quillmend.dll" ] && [ -f "$experts/QuillmendStartup.bpl" ]

# Anchors: the list grows with the window, the buttons keep to the bottom
# (Quit to the right).
eval "$(xdotool getwindowgeometry --shell "$wid")"
n="$(dumps_count)"
drag $((X + WIDTH - 2)) $((Y + HEIGHT - 2)) 120 80
check "resized client area" wait_for_new_dump "$n" '^client 538x314 '
dump="$(last_dump)"
check "list anchored on all sides" grep -q '^clbRegKeys ListBox 8,77,522,201 ' <<<"$dump"
check "Install anchored left and bottom" grep -q '^btnInstall Button 8,284,75,25 ' <<<"$dump"
check "Uninstall anchored left and bottom" grep -q '^btnUninstall Button 89,284,75,25 ' <<<"$dump"
check "Quit anchored right and bottom" grep -q '^btnQuit Button 455,284,75,25 ' <<<"$dump"
check "check box stays" grep -q '^chkDisablePackageCache Button 8,29,402,17 ' <<<"$dump"
check "label stays" grep -q '^lblRegKeys Static 8,61,' <<<"$dump"
eval "$(xdotool getwindowgeometry --shell "$wid")"
drag $((X + WIDTH - 2)) $((Y + HEIGHT - 2)) -500 -500
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
check "minimum window size 418x220 (got ${WIDTH}x${HEIGHT})" [ "$WIDTH" -eq 418 ] && [ "$HEIGHT" -eq 220 ]

click_client $(( $(last_dump | sed -n 's/^btnQuit Button \([0-9]*\),\([0-9]*\),.*/\1/p') + 37 )) \
             $(( $(last_dump | sed -n 's/^btnQuit Button \([0-9]*\),\([0-9]*\),.*/\2/p') + 12 ))
wait "$installer_pid"; rc=$?
installer_pid=""
check "Quit ends the program with exit code 0 (got $rc)" [ "$rc" -eq 0 ]

cleanup
if [ "$failures" -gt 0 ]; then
  echo "--- installer log:"; cat "$log"
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
