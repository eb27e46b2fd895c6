#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UBSan in build-fuzz/ and runs each
# for FUZZ_SECONDS (default 15) from its corpus in fuzz/corpus/<target>/. New inputs go to a
# scratch folder, so the corpus kept in the repository stays as it is; a failing input is left in
# build-fuzz/findings/. Prints executions per second per target.
#   scripts/fuzz.sh                     all targets, 15 s each
#   FUZZ_SECONDS=600 scripts/fuzz.sh fuzz_sim_decoder
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-15}
tree="$here/build-fuzz"
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    targets=(fuzz_device_table fuzz_mac_box fuzz_decimal fuzz_test_text fuzz_frame_builders
             fuzz_sim_decoder fuzz_lpd fuzz_console_requests)
fi

cmake -S "$here" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWERROR=ON -DBUILD_GUI=OFF \
    -DBUILD_FUZZERS=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DSANITIZE="address,undefined,fuzzer-no-link" -DBUILD_BENCH=OFF \
    ${FUZZ_CMAKE_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$FUZZ_CMAKE_LAUNCHER} >/dev/null
cmake --build "$tree" -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$tree/findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
for t in "${targets[@]}"; do
    mkdir -p "$scratch/$t"
    log="$tree/findings/$t.log"
    if (cd "$tree/findings" && "$tree/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
            -timeout=10 -rss_limit_mb=1024 -artifact_prefix="$tree/findings/$t-" \
            "$scratch/$t" "$here/fuzz/corpus/$t") >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        echo "$t: ${runs:-?} runs in ${seconds} s, ${rate:-?} exec/s, no finding"
    else
        echo "$t: FINDING (see $log)"
        tail -n 30 "$log"
        failed=1
    fi
done
exit "$failed"
