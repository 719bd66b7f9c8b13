#!/usr/bin/env bash
# The wine prefix of the tests, as ctest fixture steps:
#   wine_prefix.sh start WINE64 WINESERVER PREFIX   creates PREFIX once and keeps a wineserver
#                                                   running for it, so each test's wine starts
#                                                   in a fraction of a second
#   wine_prefix.sh stop WINE64 WINESERVER PREFIX    ends that wineserver
set -euo pipefail
action=$1 wine64=$2 wineserver=$3 prefix=$4
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
case $action in
  start)
    mkdir -p "$prefix"
    # The server and the services wineboot starts stay after this script: none may hold the
    # test's output open (ctest would wait for them). The server lingers five minutes after its
    # last client, so a run that is cut short leaves nothing for long.
    log=$prefix/wineboot.log
    started=$(date +%s)
    # Status 2: a server already runs for the prefix (one still ending after the previous run,
    # or one a test's program started); it serves as well.
    "$wineserver" -p300 </dev/null >"$log" 2>&1 || true
    if ! "$wine64" wineboot --init </dev/null >>"$log" 2>&1; then
      cat "$log"
      exit 1
    fi
    echo "wine prefix $prefix ready in $(( $(date +%s) - started )) s"
    ;;
  stop)
    "$wineserver" -k || true
    ;;
esac
