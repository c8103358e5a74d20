#!/usr/bin/env bash
# Runs a test whose Wine windows must appear on this test's virtual display.
# The build's long-lived wineserver keeps one desktop process, started by
# whichever program came first, usually without a display (or on another
# test's virtual display, since gone); windows made under that desktop appear
# nowhere. The test runs alone (RUN_SERIAL): the server is stopped before it,
# so the desktop starts on this display, and after it, so that no later test
# inherits a desktop whose display has gone.
#   own-desktop.sh <wine-session.sh> <build dir> <command...>
session="$1"; build="$2"; shift 2
"$session" stop "$build"
"$@"; rc=$?
"$session" stop "$build"
exit $rc
