#!/usr/bin/env bash
# Collects every translatable text of the sources into the Japanese
# translation source; new texts appear unfinished until translated.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dirs=()
for d in core widgets mainwindow analysis tools batch app; do
  [ -d "$d" ] && dirs+=("$d")
done
lupdate -no-obsolete -locations none -target-language ja_JP "${dirs[@]}" -ts resources/Corvenlith_ja_JP.ts
