#!/usr/bin/env bash
# The setup tests' own Wine prefix, on the suite's display.  `create <prefix>`
# makes it afresh (a machine that never had Tarvel) and starts its wineserver
# and Wine's background processes with their output going nowhere (started
# by a test, they would hold its output pipe open; <prefix>.log has it);
# `stop <prefix>` ends them.
# scripts/lib.sh stops it too when a run is cut short.
set -euo pipefail
export WINEPREFIX=$2 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
server=/usr/lib/wine/wineserver
"$server" -k >/dev/null 2>&1 || true
"$server" -w
[ "$1" = create ] || exit 0
rm -rf "$WINEPREFIX"
log=$WINEPREFIX.log
trap '[ $? = 0 ] || cat "$log"' EXIT
/usr/lib/wine/wine64 wineboot -i >"$log" 2>&1 </dev/null
"$server" -w
"$server" -p >>"$log" 2>&1 </dev/null
/usr/lib/wine/wine64 wineboot >>"$log" 2>&1 </dev/null
