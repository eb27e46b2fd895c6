#!/usr/bin/env bash
# Installs every package the build, the tests and the programs need. Idempotent: packages that
# are already installed are skipped, so a second run does not touch apt at all.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev libusb-1.0-0-dev libcli11-dev libgtest-dev
          libgmock-dev fonts-wqy-microhei qt6-qpa-plugins clang-format git clang
          libclang-rt-14-dev dpkg-dev file ccache help2man lintian
          nlohmann-json3-dev)
# The virtual printer's paper: FreeType, zint and libpng to draw it, the printer fonts (Terminus
# for fonts A and B, DejaVu Sans Mono for what Terminus lacks; the CJK face is above); zbar and
# tesseract let the tests read the symbols and the text back.
packages+=(libfreetype-dev libzint-dev libpng-dev fonts-terminus-otb fonts-dejavu-core libzbar-dev
           tesseract-ocr)
# Debian's LPR client, which the tests send print jobs to the simulator's LPD port with.
packages+=(rlpr)
# The simulator's console (--http): cpp-httplib; its page is tested in headless Chromium driven by
# Selenium (run with /usr/bin/python3).
packages+=(libcpp-httplib-dev chromium chromium-driver python3-selenium)
# The Windows programs: cross-compiler, Wine for their tests, NSIS for the installer, Xvfb for
# the windows under Wine; zlib for Windows under the simulator's paper, whose other libraries
# scripts/windows-libs.sh builds from Debian's sources (dpkg-dev, above, unpacks them).
packages+=(g++-mingw-w64-x86-64-posix wine64 nsis xvfb libz-mingw-w64-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
