#!/usr/bin/env bash
# Sets up, builds and starts Brindel in the calling folder, where it looks for FWIMAGE_80.bin and
# gb2312.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j"$(nproc)" --target brindel
exec "$here/build/updater/brindel" "$@"
