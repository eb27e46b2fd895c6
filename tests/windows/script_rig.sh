# What the Wine test scripts share (sourced): a scratch folder $work, background processes in
# $pids ended on exit, failures counted by fail, and bounded waits for a line in a log.
# A script that has more to clean up sets `extra_cleanup` to a command before sourcing this.
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    ${extra_cleanup:-true}
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
# wait_for FILE TEXT [SECONDS]: up to SECONDS (10) for TEXT in FILE; shows FILE when it is not.
wait_for() {
    for _ in $(seq $((${3:-10} * 10))); do
        grep -qF -- "$2" "$1" && return 0
        sleep 0.1
    done
    echo "--- $1:"; cat "$1"
    return 1
}
