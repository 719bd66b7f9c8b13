#!/bin/sh
# velmor-cli and its helper built with the address and undefined-behaviour sanitizers
# (build/sanitized), run with the libraries that write past their records, over the shared
# memory and into the helper's channels, and one that starts processes: each command ends with
# its status and its fault line, and no sanitizer reports anything, neither in the program nor
# in the helper (whose output reaches stderr as the library's). The helper under the sanitizers
# needs --memory-limit 0: the address sanitizer reserves more address space than the default
# data limit allows.
#
#   sanitized_faults.sh SANITIZED-VELMOR-CLI LIBRARY-DIR
set -u
cli=$1
lib=$2
failed=0

# run STATUS TEXT LIBRARY ARGS...: the status expected and a piece of stderr.
run() {
    expected=$1
    text=$2
    library=$3
    shift 3
    err=$("$cli" --memory-limit 0 --lib "$lib/$library.so" "$@" 2>&1 >/dev/null)
    status=$?
    what="$library $*"
    if [ "$status" != "$expected" ]; then
        echo "FAIL $what: status $status, expected $expected"
        failed=1
    fi
    case "$err" in
        *"$text"*) ;;
        *) echo "FAIL $what: stderr lacks \"$text\""; failed=1 ;;
    esac
    case "$err" in
        *"runtime error"* | *Sanitizer* | *"SUMMARY:"*)
            echo "FAIL $what: a sanitizer reported"
            failed=1
            ;;
    esac
    if [ "$failed" = 1 ]; then printf '%s\n' "$err" | head -40; fi
}

for y in 0 1 2; do
    run 3 "the library overwrote Velmor's shared memory in sag" scribble_shared \
        sag-grid 0 2 $y $y 0.25 1
done
for y in 0 2 3 5 7; do
    run 3 "past the end of" fence_overrun sag-grid 0 2 $y $y 0.25 1
done
run 3 "before the start of USER_DATA" fence_overrun5 sag-grid 0 2 6 6 0.25 1
run 0 "" fence_overrun sag-grid 0 2 10 10 0.25 1
for y in 0 1; do
    run 3 "lost its connection to Velmor in sag" fault_pipes sag-grid 0 2 $y $y 0.25 1
done
run 0 "the library tried to start a process; refused" process_surface sag-grid 0 1 0 1 0.5 0.5
run 0 "" even_asphere check
exit $failed
