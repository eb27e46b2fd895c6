#!/usr/bin/env bash
# The Windows programs as a user runs them, under Wine, against the Linux ones on loopback:
# tessary-cli.exe finds the Linux virtual printer, sends it a command and downloads an image it
# verifies, and writes to its serial side as COM12 (Wine's name for the printer's
# pseudo-terminal), and asks it for its real-time status over both, and runs a fleet plan against
# the Linux simulator's fleet; pos-printer-sim.exe answers the Linux tessary-cli and says that
# --serial is Linux only, and renders a capture from a file and from standard input. Every wait
# is bounded.
# Usage: programs_under_wine.sh WINE_RUN WINE_PREFIX WINDOWS_CLI WINDOWS_SIM LINUX_CLI LINUX_SIM
set -u
[ "$#" -eq 6 ] || {
    echo "usage: $0 WINE_RUN WINE_PREFIX WINDOWS_CLI WINDOWS_SIM LINUX_CLI LINUX_SIM"
    exit 2
}
wine_run=$(realpath "$1") prefix=$(realpath "$2") win_cli=$(realpath "$3")
win_sim=$(realpath "$4") linux_cli=$(realpath "$5") linux_sim=$(realpath "$6")
com12="$prefix/dosdevices/com12"
remove_com12() { rm -f "$com12"; }
extra_cleanup=remove_com12
. "$(dirname "$0")/script_rig.sh"
# start NAME COMMAND...: a simulator in the background on a free TCP port and the UDP port
# $udp, replying to $reply; its lines in $work/NAME, its TCP port in $tcp.
start() {
    local name=$1; shift
    "$@" --tcp-port 0 --udp-port "$udp" --reply-port "$reply" >"$work/$name" 2>&1 &
    pids+=($!)
    wait_for "$work/$name" "discovery answered on" || return 1
    tcp=$(sed -n 's/.*listening on TCP port \([0-9]*\).*/\1/p' "$work/$name" | head -n 1)
}
# Discovery ports on loopback, a different pair for each simulator.
udp=$((20000 + RANDOM % 20000 * 2)) reply=$((udp + 1))

# 1. tessary-cli.exe against the Linux virtual printer.
start linux "$linux_sim" --serial || fail "Linux simulator"
found=$("$wine_run" "$win_cli" discover --seconds 1 --broadcast "127.0.0.1:$udp" \
        --reply-port "$reply" 2>"$work/discover.err")
echo "discover: $found"
[[ $found == *"127.0.0.1 255.255.255.0 127.0.0.1 02:00:00:00:00:01"* ]] ||
    fail "tessary-cli.exe discover: $found $(cat "$work/discover.err")"
"$wine_run" "$win_cli" send --to "net:127.0.0.1:$tcp" cut || fail "tessary-cli.exe send cut"
wait_for "$work/linux" "esc/pos cut" || fail "the cut did not reach the Linux simulator"
head -c 3000 /dev/urandom >"$work/FWIMAGE_80.bin"
(cd "$work" && "$wine_run" "$win_cli" firmware --to "net:127.0.0.1:$tcp" FWIMAGE_80.bin) ||
    fail "tessary-cli.exe firmware"
wait_for "$work/linux" "6 blocks (3072 bytes), checksum ok" || fail "no matching checksum"
# Its serial side as COM12, which opens as \\.\COM12; the line is set through the DCB.
pty=$(sed -n 's/.*serial port \(.*\)/\1/p' "$work/linux" | head -n 1)
ln -sfn "$pty" "$com12"
listed=$("$wine_run" "$win_cli" ports)
[[ $listed == *'serial:\\.\COM12'* ]] || fail "tessary-cli.exe ports: $listed"
"$wine_run" "$win_cli" send --to serial:COM12@19200 cut || fail "tessary-cli.exe send over COM12"
wait_for "$work/linux" "serial esc/pos cut" || fail "the cut did not reach the serial side"
line=$(stty -F "$pty" -a 2>&1)
[[ $line == *"speed 19200 baud"*" cs8"* && $line == *"-parenb"* && $line == *"-cstopb"* ]] ||
    fail "COM12 is not 19200 8N1: $line"
# Real-time status: a ready printer over TCP, one with its cover open over COM12, a silent one.
ready=$("$wine_run" "$win_cli" status --to "net:127.0.0.1:$tcp")
[ $? -eq 0 ] && echo "status over TCP:" $ready && [[ $ready == *"online"*"paper present"* ]] ||
    fail "tessary-cli.exe status of a ready printer: $ready"
kill "${pids[0]}" 2>/dev/null
udp=$((udp + 4)) reply=$((reply + 4))
start open "$linux_sim" --serial --cover-open || fail "Linux simulator with its cover open"
pty=$(sed -n 's/.*serial port \(.*\)/\1/p' "$work/open" | head -n 1)
ln -sfn "$pty" "$com12"
open=$("$wine_run" "$win_cli" status --to serial:COM12)
[ $? -eq 3 ] && echo "status over COM12:" $open && [[ $open == *"offline"*"cover open"* ]] ||
    fail "tessary-cli.exe status over COM12 of a printer with its cover open: $open"
udp=$((udp + 2)) reply=$((reply + 2))
start silent "$linux_sim" --no-status || fail "Linux simulator without status"
"$wine_run" "$win_cli" status --to "net:127.0.0.1:$tcp" 2>"$work/silent.err"
[ $? -eq 1 ] && grep -qF "no status answer within 1 s" "$work/silent.err" ||
    fail "tessary-cli.exe status of a silent printer: $(cat "$work/silent.err")"

# A fleet plan of 5 run by tessary-cli.exe against the Linux simulator's fleet at 127.0.3.1-5:
# three move to 127.0.4.x with a setting each (one with the test page), two trade addresses;
# then the same plan again changes nothing.
udp=$((udp + 2)) reply=$((reply + 2))
start fleet "$linux_sim" --printers 5 --address 127.0.3.1 --restart-ms 300 ||
    fail "Linux simulator fleet"
cat >"$work/plan.csv" <<'PLAN'
mac,ip,mask,gateway,cutter,test
02:00:00:00:00:01,127.0.4.1,255.255.255.0,127.0.4.254,on,
02:00:00:00:00:02,127.0.4.2,255.255.255.0,127.0.4.254,off,
02:00:00:00:00:03,127.0.4.3,255.255.255.0,127.0.4.254,on,yes
02:00:00:00:00:04,127.0.3.5,255.255.255.0,127.0.3.254,,
02:00:00:00:00:05,127.0.3.4,255.255.255.0,127.0.3.254,,
PLAN
fleet() {
    (cd "$work" && "$wine_run" "$win_cli" fleet plan.csv --broadcast "127.0.0.1:$udp" \
        --reply-port "$reply" --port "$tcp" --seconds 1 --restart-timeout 10 "$@")
}
moved=$(fleet)
[ $? -eq 0 ] && echo "fleet:" && echo "$moved" &&
    [[ $moved == *"5 printers: 5 moved, 0 unchanged, 0 missing, 0 refused, 0 failed"* ]] ||
    fail "tessary-cli.exe fleet: $moved"
[[ $moved == *"02:00:00:00:00:03 127.0.3.3 127.0.4.3 moved (sent cutter on, test page)"* &&
   $moved == *"02:00:00:00:00:05 127.0.3.5 127.0.3.4 moved"* ]] ||
    fail "tessary-cli.exe fleet lines: $moved"
wait_for "$work/fleet" "to 127.0.4.3:$tcp" || fail "no connection to the moved printer 3"
wait_for "$work/fleet" "setting cutter: 01 (Off)" || fail "printer 2 got no setting"
wait_for "$work/fleet" "text: by professional POS invoice printing companies!" ||
    fail "printer 3 printed no test page"
grep -qF "took address" "$work/fleet" && fail "two printers were at one address"
packets=$(grep -c "address set for MAC" "$work/fleet")
again=$(fleet --json)
[ $? -eq 0 ] && [ "$(grep -o '"result":"unchanged"' <<<"$again" | wc -l)" -eq 5 ] ||
    fail "tessary-cli.exe fleet again: $again"
[ "$(grep -c "address set for MAC" "$work/fleet")" -eq "$packets" ] ||
    fail "the second fleet run sent address-set packets"

# 2. pos-printer-sim.exe answering the Linux tessary-cli.
usage=$("$wine_run" "$win_sim" --help)
[[ $usage == *"--serial            Linux only"* ]] || fail "pos-printer-sim.exe --help: $usage"
"$wine_run" "$win_sim" --serial >/dev/null 2>&1
[ $? -eq 2 ] || fail "pos-printer-sim.exe --serial is no usage error"
udp=$((udp + 2)) reply=$((reply + 2))
start windows "$wine_run" "$win_sim" || fail "Windows simulator"
found=$("$linux_cli" discover --seconds 1 --broadcast "127.0.0.1:$udp" --reply-port "$reply")
[[ $found == *"02:00:00:00:00:01"* ]] || fail "the Windows simulator did not answer: $found"
"$linux_cli" send --to "net:127.0.0.1:$tcp" cut || fail "tessary-cli send cut"
wait_for "$work/windows" "esc/pos cut" || fail "the cut did not reach the Windows simulator"
(cd "$work" && "$linux_cli" firmware --to "net:127.0.0.1:$tcp" FWIMAGE_80.bin) ||
    fail "tessary-cli firmware"
wait_for "$work/windows" "6 blocks (3072 bytes), checksum ok" || fail "no matching checksum"

# 3. pos-printer-sim.exe render: a capture read from a file named in Chinese and from standard
# input gives the same bytes (CR LF and 1A are no text there), as Linux's render mode reads them.
printf 'AB\r\nC\x1aD\n\x1dV\x00' >"$work/收据.bin"
(cd "$work" && "$wine_run" "$win_sim" render --receipts from-file 收据.bin >"$work/render-file" &&
    "$wine_run" "$win_sim" render --receipts from-stdin - <收据.bin >"$work/render-stdin") ||
    fail "pos-printer-sim.exe render"
grep -q "end of 收据.bin, 11 bytes in all" "$work/render-file" ||
    fail "render of a file: $(cat "$work/render-file")"
grep -q "end of standard input, 11 bytes in all" "$work/render-stdin" ||
    fail "render of standard input: $(cat "$work/render-stdin")"
cmp -s "$work/from-file/receipt-0001.png" "$work/from-stdin/receipt-0001.png" ||
    fail "render: the two pictures differ"

[ "$failures" -eq 0 ] && echo "all passed"
exit "$((failures > 0))"
