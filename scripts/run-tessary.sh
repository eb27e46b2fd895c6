#!/usr/bin/env bash
# Sets up, builds and starts Tessary.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j"$(nproc)" --target tessary
exec "$here/build/setuptool/tessary" "$@"
