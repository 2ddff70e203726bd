#!/usr/bin/env bash
# Builds the fuzz harnesses of fuzz/ with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a given time. Fails when any
# harness crashes, hangs, reports a sanitizer error or allocates over 2 GB.
#
#   scripts/fuzz.sh [seconds per harness, default 60] [harness name ...]
#   FUZZ_JOBS=2 runs that many harnesses at once (default 2).
# Findings are left in build-fuzz/findings/<harness>/; a new one belongs,
# once mended, in fuzz/regression/<folder>/ as a reproducer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
jobs=${FUZZ_JOBS:-2}

bash "$root/scripts/deps.sh"
# clang and its fuzzer runtime are needed here only, not by the normal build.
fuzzpkgs=(clang libclang-rt-14-dev)
missing=()
for p in "${fuzzpkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

build="$root/build-fuzz"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVENLITH_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}"

# Harness -> folder of its regression inputs (reproducers of mended faults).
declare -A regression=([fuzz_image]=image [fuzz_im]=im [fuzz_textimage]=textimage
  [fuzz_cfg]=cfg [fuzz_emp]=emp [fuzz_batch]=batch [fuzz_bytemap]=bytemap
  [fuzz_spectrum]=spectrum [fuzz_errpoints]=errpoints [fuzz_victoreen]=victoreen
  [fuzz_refenergies]=refenergies)

if [ $# -gt 0 ]; then harnesses=("$@"); else
  harnesses=()
  for f in "$root"/fuzz/fuzz_*.cpp; do harnesses+=("$(basename "$f" .cpp)"); done
fi

seeds="$build/seeds"
rm -rf "$seeds"
"$build/fuzz/corvenlith_fuzz_seeds" "$seeds"

run_one() {
  local h=$1 folder=${regression[$1]:-none}
  local corpus="$build/corpus/$h" findings="$build/findings/$h" log="$build/logs/$h.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  local inputs=("$corpus")
  [ -d "$seeds/$folder" ] && inputs+=("$seeds/$folder")
  [ -d "$root/fuzz/regression/$folder" ] && inputs+=("$root/fuzz/regression/$folder")
  # Leaks are reported too; a hang is an input slower than 10 s.
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/$h" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -malloc_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
    "${inputs[@]}" >"$log" 2>&1
}

failed=()
pids=()
names=()
wait_one() {
  local i=$1
  if ! wait "${pids[$i]}"; then failed+=("${names[$i]}"); fi
}
for h in "${harnesses[@]}"; do
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait_one 0
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
  run_one "$h" &
  pids+=($!)
  names+=("$h")
done
for i in "${!pids[@]}"; do wait_one "$i"; done

printf '%-20s %12s %8s %s\n' harness executions seconds result
for h in "${harnesses[@]}"; do
  log="$build/logs/$h.log"
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  result=ok
  for f in "${failed[@]}"; do [ "$f" = "$h" ] && result="FAILED (see $log)"; done
  printf '%-20s %12s %8s %s\n' "$h" "${runs:-?}" "$seconds" "$result"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}"
  exit 1
fi
echo "fuzzing: no crash, hang, sanitizer report or allocation over 2 GB"
