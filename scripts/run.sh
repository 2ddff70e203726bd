#!/usr/bin/env bash
# Installs what is missing, builds, and starts corvenlith with the given arguments.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"${JOBS:-$(nproc)}"
if [ -x "$root/build/app/corvenlith" ]; then
  exec "$root/build/app/corvenlith" "$@"
fi
echo "Built; the program corvenlith does not exist yet (the main window is not built)."
