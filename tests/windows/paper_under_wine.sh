#!/usr/bin/env bash
# The paper on Windows against Linux's: pos-printer-sim.exe under Wine and the Linux
# pos-printer-sim each print the paper streams (tests/sim/paper_streams.cpp: text in both fonts
# and Chinese, sizes and styles, code pages, every barcode and 2D symbol kind, images, page mode)
# received over TCP; paper_compare then finds each pair of pictures equal dot for dot and a
# barcode reader finds the symbols in the Windows ones. Both run their console (--http) too: it
# answers GET /api/printers and serves the last receipt made over TCP, its data file and its
# picture as saved. A copy of the program without its fonts folder says so in one line at start
# and prints nothing. Every wait is bounded.
# Usage: paper_under_wine.sh WINE_RUN WINDOWS_SIM LINUX_SIM PAPER_COMPARE
set -u
[ "$#" -eq 4 ] || { echo "usage: $0 WINE_RUN WINDOWS_SIM LINUX_SIM PAPER_COMPARE"; exit 2; }
wine_run=$(realpath "$1") win_sim=$(realpath "$2") linux_sim=$(realpath "$3")
compare=$(realpath "$4")
. "$(dirname "$0")/script_rig.sh"
windows_path() { echo "Z:${1//\//\\}"; }

# print NAME FOLDER COMMAND...: a simulator printing into FOLDER on a free TCP port, sent every
# stream.
print() {
    local name=$1 folder=$2
    shift 2
    "$@" --receipts "$folder" --tcp-port 0 --udp-port 0 --http 127.0.0.1:0 >"$work/$name.log" 2>&1 &
    pids+=($!)
    wait_for "$work/$name.log" "console at http://127.0.0.1:" 30 || return 1
    local port
    port=$(sed -n 's/.*listening on TCP port \([0-9]*\).*/\1/p' "$work/$name.log" | head -n 1)
    "$compare" send "$port" "$work/$name" || return 1
}

# console NAME FOLDER: its console lists the printer and serves the newest receipt made over TCP
# as the folder holds it.
console() {
    local name=$1 folder=$2 http api newest
    http=$(sed -n 's|.*console at http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/$name.log" | head -n 1)
    api="http://127.0.0.1:$http/api/printers"
    curl -sf --max-time 10 "$api" -o "$work/$name-printers.json" &&
        grep -qF '"number":1' "$work/$name-printers.json" || return 1
    curl -sf --max-time 10 "$api/1/receipts/latest" -o "$work/$name-latest.json" &&
        grep -qF '"link": "tcp"' "$work/$name-latest.json" || return 1
    newest=$(sed -n 's/^  "number": \([0-9]*\),.*/\1/p' "$work/$name-latest.json")
    curl -sf --max-time 10 "$api/1/receipts/$newest.png" -o "$work/$name-latest.png" &&
        cmp -s "$work/$name-latest.png" "$folder/$(printf 'receipt-%04d.png' "$newest")" &&
        curl -sf --max-time 10 "$api/1/receipts/$newest" | cmp -s - "$work/$name-latest.json"
}
mkdir -p "$work/linux" "$work/windows"
print linux "$work/linux" "$linux_sim" || fail "the Linux simulator's pictures"
print windows "$(windows_path "$work/windows")" "$wine_run" "$win_sim" ||
    fail "the Windows simulator's pictures"
grep -F "receipts go to Z:" "$work/windows.log" | tr -d '\r'
console linux "$work/linux" || fail "the Linux simulator's console"
console windows "$work/windows" || fail "the Windows simulator's console"
"$compare" check "$work/linux" "$work/windows" || fail "the Windows pictures differ from Linux's"
# The same log lines for the same pictures (the paths aside).
paper_lines() { grep -F " paper: " "$1" | tr -d '\r' | sed 's/^printer [0-9]* tcp#[0-9]* //'; }
diff <(paper_lines "$work/linux.log") <(paper_lines "$work/windows.log") ||
    fail "the paper's log lines differ"

# Without its fonts: one line naming the missing file, status 1, no picture.
mkdir -p "$work/bare"
cp "$win_sim" "$work/bare/"
timeout 60 "$wine_run" "$work/bare/$(basename "$win_sim")" --receipts "$(windows_path "$work/bare/out")" \
    --tcp-port 0 --udp-port 0 </dev/null >"$work/bare.log" 2>&1
status=$?
tr -d '\r' <"$work/bare.log"
[ "$status" -eq 1 ] || fail "without fonts the simulator ended with status $status"
[ "$(wc -l <"$work/bare.log")" -eq 1 ] && grep -qF "no printer font: cannot read" "$work/bare.log" &&
    grep -qF 'fonts\terminus-bold.otb' "$work/bare.log" || fail "without fonts: not one clear line"
[ ! -e "$work/bare/out" ] || [ -z "$(ls -A "$work/bare/out")" ] || fail "without fonts: files made"

[ "$failures" -eq 0 ] && echo "paper: the Windows pictures equal Linux's; both consoles serve them"
exit "$failures"
