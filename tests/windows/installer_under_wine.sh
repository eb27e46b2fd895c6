#!/usr/bin/env bash
# The Windows installer as a user runs it, under Wine: a silent install (/S) into Program Files
# with its Start-menu entries, the virtual printer's fonts and the licences, tessary-cli.exe
# answering from bin\, then the GUI robot starts the installed programs from their entries (the
# virtual printer saves tessary-cli.exe's test page into Documents\Receipts) and runs the silent
# uninstaller, which leaves neither programs nor entries, but the receipts.
# Usage: installer_under_wine.sh WINE_WINDOWS_RUN WINE_PREFIX INSTALLER ROBOT
set -u
[ "$#" -eq 4 ] || { echo "usage: $0 WINE_WINDOWS_RUN WINE_PREFIX INSTALLER ROBOT"; exit 2; }
windows_run=$1 prefix=$2 installer=$3 robot=$4
run() { timeout 120 "$windows_run" "$@"; }  # a step that waits for a user fails instead
windows_dir='C:\Program Files\Tessary and Brindel'
dir="$prefix/drive_c/Program Files/Tessary and Brindel"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tessary and Brindel"
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
[ -f "$installer" ] || { echo "FAILED: no installer $installer"; exit 1; }
# What an interrupted run left: the files, the entries and the uninstaller's registration.
rm -rf "$dir" "$menu"
if grep -q 'Uninstall\\\\Tessary and Brindel' "$prefix/system.reg"; then
    run reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessary and Brindel' /f
fi

run "$installer" /S || fail "the silent install ended with status $?"
for file in bin/Tessary.exe bin/Brindel.exe bin/tessary-cli.exe bin/pos-printer-sim.exe \
    bin/fonts/terminus-bold.otb bin/fonts/DejaVuSansMono-Bold.ttf bin/fonts/wqy-microhei.ttc \
    licenses/freetype/FTL.TXT licenses/libpng/LICENSE.txt licenses/zint/copyright.txt \
    licenses/zlib/copyright.txt licenses/fonts-terminus-otb/copyright.txt \
    licenses/fonts-dejavu-core/copyright.txt licenses/fonts-wqy-microhei/copyright.txt \
    licenses/common-licenses/Apache-2.0.txt README.txt LICENSE.txt Uninstall.exe; do
    [ -f "$dir/$file" ] || fail "not installed: $file"
done
for entry in Tessary Brindel "Virtual printer" README Uninstall; do
    [ -f "$menu/$entry.lnk" ] || fail "no Start-menu entry $entry"
done
help=$(run "$dir/bin/tessary-cli.exe" --help 2>&1)
[[ $help == *"firmware"* ]] || fail "installed tessary-cli.exe --help: $help"
POS_INSTALLED="$windows_dir" run "$robot" --gtest_filter='InstalledPrograms.*' \
    --gtest_brief=1 || fail "the installed programs and the uninstaller"
rm -rf "$dir" "$menu"
[ "$failures" -eq 0 ] && echo "installer: installed, started, uninstalled"
exit "$failures"
