#!/usr/bin/env bash
# Makes the Debian package from a configured build tree, checks it with lintian (no errors),
# installs it and checks what got installed: the programs start from their installed path, their
# shared libraries resolve, the menu entries, icons, manual pages and documents are in place. On a CI machine running as root (CI=true) the package goes
# into the system with dpkg -i and is removed again afterwards unless it was installed before;
# anywhere else it is unpacked into a scratch folder. Safe to run again.
#   scripts/package-test.sh [BUILD_DIR]    (default: build/, as configured by scripts/test.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
out=$build/package-test
start=$SECONDS

fail() {
    echo "package test: $*" >&2
    exit 1
}

# The packaged programs first; cpack's own pre-install step then brings the rest of the tree up
# to date (nothing left to do after the full build of scripts/test.sh).
targets=(tessary brindel)
with_cli=false
if grep -q '/CMakeFiles/tessary-cli\.dir$' "$build/CMakeFiles/TargetDirectories.txt"; then
    targets+=(tessary-cli)
    with_cli=true
fi
with_sim=false
if grep -q '/CMakeFiles/pos-printer-sim\.dir$' "$build/CMakeFiles/TargetDirectories.txt"; then
    targets+=(pos-printer-sim)
    with_sim=true
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log") || {
    cat "$out/cpack.log" >&2
    fail "cpack failed"
}
debs=("$out"/pos-printer-tools_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no pos-printer-tools_*.deb in $out"
deb=${debs[0]}
echo "package: $deb"

# The control fields: the libraries the programs link, the font the windows draw Chinese with.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in libqt6widgets6 libusb-1.0-0 fonts-wqy-microhei qt6-qpa-plugins fonts-terminus-otb \
    fonts-dejavu-core libzint2.11 libpng16-16 libfreetype6; do
    grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep"
done

# Debian's own checks: errors fail the test; warnings are shown.
if command -v lintian >/dev/null; then
    lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"
else
    fail "lintian is not installed (scripts/setup.sh installs it)"
fi

# Every installed file, at its Debian path.
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
doc=/usr/share/doc/pos-printer-tools
expected=(/usr/bin/tessary /usr/bin/brindel
          /usr/lib/udev/rules.d/60-pos-printer-tools.rules
          $doc/README.md $doc/copyright $doc/changelog.gz
          /usr/share/man/man1/tessary.1.gz /usr/share/man/man1/brindel.1.gz
          /usr/share/applications/tessary.desktop /usr/share/applications/brindel.desktop)
$with_cli && expected+=(/usr/bin/tessary-cli /usr/share/man/man1/tessary-cli.1.gz)
$with_sim && expected+=(/usr/bin/pos-printer-sim /usr/share/man/man1/pos-printer-sim.1.gz)
for size in 16 24 32 48 64 128; do
    for program in tessary brindel; do
        expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/$program.png")
    done
done
for f in "${expected[@]}"; do
    grep -qx -- "$f" <<<"$contents" || fail "package lacks $f"
done

installed_here=false
if [ "${CI:-}" = "true" ] && [ "$(id -u)" -eq 0 ]; then
    root=
    if ! dpkg-query -W -f='${Status}' pos-printer-tools 2>/dev/null | grep -q "install ok installed"; then
        installed_here=true
        trap 'dpkg --purge pos-printer-tools >/dev/null || true' EXIT
    fi
    dpkg -i "$deb"
else
    root=$out/root
    dpkg-deb -x "$deb" "$root"
fi
bin=$root/usr/bin
share=$root/usr/share

programs=(tessary brindel)
$with_cli && programs+=(tessary-cli)
$with_sim && programs+=(pos-printer-sim)
for program in "${programs[@]}"; do
    [ -x "$bin/$program" ] || fail "$bin/$program is not an installed program"
    libs=$(ldd "$bin/$program") || fail "ldd $bin/$program failed"
    if grep -q "not found" <<<"$libs"; then
        grep "not found" <<<"$libs" >&2
        fail "$program: shared libraries missing"
    fi
done

for size in 16 24 32 48 64 128; do
    for program in tessary brindel; do
        icon=$share/icons/hicolor/${size}x${size}/apps/$program.png
        file -b "$icon" | grep -q "PNG image data, $size x $size," ||
            fail "$icon is not a $size x $size PNG"
    done
done

# The installed README is the users' one: it starts with what the programs do.
head -n 3 "$share/doc/pos-printer-tools/README.md" | grep -q "receipt printers" ||
    fail "the installed README does not start with what the programs do"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$share/applications/tessary.desktop" \
        "$share/applications/brindel.desktop" || fail "desktop-file-validate found errors"
else
    echo "desktop-file-validate not installed: menu entries not validated"
fi

if $with_cli; then
    "$bin/tessary-cli" --help >"$out/cli-help.txt" || fail "tessary-cli --help failed"
    [ -s "$out/cli-help.txt" ] || fail "tessary-cli --help printed nothing"
    "$bin/tessary-cli" --dry-run send cut >"$out/cli-cut.txt" ||
        fail "tessary-cli --dry-run send cut failed"
    grep -Eqi '[0-9a-f]{2}' "$out/cli-cut.txt" || fail "tessary-cli --dry-run send cut printed no bytes"
    echo "installed tessary-cli --dry-run send cut: $(tr '\n' ' ' <"$out/cli-cut.txt")"
else
    echo "no tessary-cli target in $build: command-line checks skipped"
fi

if $with_sim && $with_cli; then
    # The installed simulator prints the installed tessary-cli's test page on paper, and its
    # console serves it: its fonts and libraries are there.
    rm -rf "$out/receipts"
    "$bin/pos-printer-sim" --tcp-port 0 --udp-port 0 --receipts "$out/receipts" \
        --http 127.0.0.1:0 >"$out/sim.log" 2>&1 &
    sim_pid=$!
    port=
    for _ in $(seq 100); do
        port=$(grep -o 'listening on TCP port [0-9]*' "$out/sim.log" | awk '{print $5}' || true)
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { kill "$sim_pid" 2>/dev/null; cat "$out/sim.log" >&2; fail "pos-printer-sim did not start"; }
    "$bin/tessary-cli" print --to "net:127.0.0.1:$port" "installed" || {
        kill "$sim_pid"
        fail "tessary-cli print to the installed simulator failed"
    }
    for _ in $(seq 100); do
        [ -f "$out/receipts/receipt-0001.png" ] && break
        sleep 0.1
    done
    http=$(grep -o 'console at http://127.0.0.1:[0-9]*' "$out/sim.log" | awk -F: '{print $3}' || true)
    latest=$(python3 -c 'import sys, urllib.request
print(urllib.request.urlopen(sys.argv[1], timeout=10).read().decode())' \
        "http://127.0.0.1:$http/api/printers/1/receipts/latest" 2>&1) || true
    kill "$sim_pid"
    wait "$sim_pid" || true
    grep -q '"picture": "receipt-0001.png"' <<<"$latest" || {
        cat "$out/sim.log" >&2
        fail "the installed pos-printer-sim's console did not serve its receipt: $latest"
    }
    file -b "$out/receipts/receipt-0001.png" | grep -q "PNG image data, 576 x" || {
        cat "$out/sim.log" >&2
        fail "the installed pos-printer-sim saved no receipt"
    }
    echo "installed pos-printer-sim: $(grep -o 'paper: receipt-0001.*' "$out/sim.log")"
fi

if $installed_here; then
    dpkg --purge pos-printer-tools >/dev/null
    trap - EXIT
fi
echo "package test passed in $((SECONDS - start)) s (${root:-/})"
