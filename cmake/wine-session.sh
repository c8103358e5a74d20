#!/usr/bin/env bash
# Manages the build tree's Wine prefix and its long-lived wineserver.
#   wine-session.sh start  BUILD   create the prefix if needed and start the server
#   wine-session.sh ensure BUILD   start the server if it is not running (used per test)
#   wine-session.sh stop   BUILD   stop the server (writes the registry files)
set -uo pipefail
cmd="$1"; build="$(cd "$2" && pwd)"
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
lock="$build/.wine.lock"

detached() {
  # Close every inherited descriptor above 2 and detach stdio, so nothing
  # started here keeps a caller's pipe open.
  local fd
  for fd in /proc/$$/fd/*; do
    fd="${fd##*/}"
    [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-" 2>/dev/null
  done
  "$@" </dev/null >/dev/null 2>&1
}

# The server of this prefix runs with its working directory in
# <tmp>/server-<device>-<inode of the prefix>; other prefixes (other build
# trees) have servers of their own.
server_running() {
  [ -e "$WINEPREFIX/system.reg" ] || return 1
  local dir pid
  dir="$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
  for pid in $(pgrep -u "$(id -u)" -f wineserver); do
    case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in */"$dir") return 0 ;; esac
  done
  return 1
}

start_server() {
  if [ ! -e "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    ( detached wineboot -i )
    ( detached wineserver -w )
    # No crash dialog: a crash under a virtual display would hang the run.
    ( detached wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f )
  fi
  ( detached wineserver -p )
  # Start the prefix's system processes now, detached, rather than inside a test.
  ( detached wine cmd /c exit )
}

case "$cmd" in
  start|ensure)
    exec 9>"$lock"; flock 9
    if ! server_running; then
      ( exec 9>&-; start_server )
    fi
    ;;
  stop)
    wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; true ;;
  *) echo "usage: $0 start|ensure|stop BUILD" >&2; exit 2 ;;
esac
