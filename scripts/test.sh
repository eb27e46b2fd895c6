#!/usr/bin/env bash
# Sets up, builds and runs every test: once plainly (then makes, installs and checks the Debian
# package), once under AddressSanitizer + UBSan, the threaded tests under ThreadSanitizer, a short
# run of every fuzz target, then the Windows tree with its tests under Wine (windows on Xvfb, the
# installer made and installed). Warnings are errors.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# Short fuzz runs in the full suite; scripts/fuzz.sh alone runs longer.
export FUZZ_SECONDS=${FUZZ_SECONDS:-8}
# Compiler cache: a second run, also from another clone, recompiles only what changed.
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=true
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export FUZZ_CMAKE_LAUNCHER=ccache
fi
start=$SECONDS
step() { echo "== $1 (at $((SECONDS - start)) s)"; }

build() {  # build <dir> <sanitize> <bench ON|OFF> [targets...]
    local dir=$1 san=$2 bench=$3; shift 3
    # The plain tree is optimised (its warnings see the most); the sanitizer trees compile at -O1
    # with line tables only, which is enough for their reports and much quicker to build.
    local type=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
    [ -z "$san" ] || type=(-DCMAKE_BUILD_TYPE=Sanitize "-DCMAKE_CXX_FLAGS_SANITIZE=-O1 -g1")
    cmake -S "$here" -B "$here/$dir" "${type[@]}" -DWERROR=ON \
        -DSANITIZE="$san" -DBUILD_BENCH="$bench" "${launcher[@]}" >/dev/null
    if [ "$#" -gt 0 ]; then
        cmake --build "$here/$dir" -j"$jobs" --target "$@"
    else
        cmake --build "$here/$dir" -j"$jobs"
    fi
}

step "formatting (clang-format)"
(cd "$here" && git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror)

step "plain build and tests"
build build "" ON
ctest --test-dir "$here/build" --output-on-failure -j"$jobs" --timeout 120

step "Debian package (made from build/, installed, installed programs checked)"
"$here/scripts/package-test.sh" "$here/build"

step "AddressSanitizer + UBSan"
build build-asan "address,undefined" OFF
ctest --test-dir "$here/build-asan" --output-on-failure -j"$jobs" --timeout 240

step "ThreadSanitizer (threaded printer-link, discovery, updater, CLI, virtual-printer, console and window-logic tests)"
build build-tsan "thread" OFF link_tests netcfg_core_tests updater_core_tests sim_core_tests \
    cli_tests platform_dialogs_tests commands_dialogs_tests netcfg_dialogs_tests \
    setuptool_dialogs_tests updater_dialogs_tests sim_dialogs_tests sim_paper_tests \
    sim_console_tests
ctest --test-dir "$here/build-tsan" --output-on-failure -L 'threaded|dialogs' --timeout 240

step "fuzzing (libFuzzer with clang, ASan + UBSan; ${FUZZ_SECONDS} s per target)"
"$here/scripts/fuzz.sh"

step "Windows (mingw-w64; the tests under Wine, the programs against build/'s, the installer)"
# Optimised as the plain tree, without line tables (quicker to build and link statically); -O2,
# since g++ 12 warns falsely about some library code at -O3.
cmake -S "$here" -B "$here/build-windows" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DWERROR=ON \
    -DBUILD_BENCH=ON -DHOST_BUILD_DIR="$here/build" "${launcher[@]}" >/dev/null
cmake --build "$here/build-windows" -j"$jobs"
ctest --test-dir "$here/build-windows" --output-on-failure -j"$jobs"

echo "all test runs passed in $((SECONDS - start)) s"
