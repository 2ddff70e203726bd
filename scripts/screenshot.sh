#!/usr/bin/env bash
# Writes a synthetic I1 / I0 TIFF stack, loads it into the main window on a
# virtual X display of 1366 x 768 and saves the window as docs/mainwindow.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"${JOBS:-$(nproc)}" --target corvenlith_shot
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$root/docs"
xvfb-run -a -s "-screen 0 1366x768x24" \
  "$root/build/tests/corvenlith_shot" "$root/docs/mainwindow.png" "$work/stack"
echo "Wrote $root/docs/mainwindow.png"
