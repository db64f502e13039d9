#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#
#   fuzz/run.sh [BUILD_DIR]      (default build-fuzz; FUZZ_SECONDS per target,
#                                 default 60; FUZZ_TARGETS to pick targets)
#
# Each target starts from its seeds (fuzz/corpus/<target>) and the crashes
# kept before (fuzz/regressions/<target>); what it learns goes to
# BUILD_DIR/corpus/<target>, so the source tree only changes when something
# is found: every new crash input is copied to fuzz/regressions/<target>/,
# where the unit and integration tests replay it. Exits 1 when a target
# found anything.
set -euo pipefail

cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
targets=(${FUZZ_TARGETS:-drive_path display_text file_name ntfs_mft})

# The fuzz build needs clang and its fuzzer runtime beyond the usual packages.
scripts/setup.sh clang libclang-rt-14-dev

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTIDWEN_FUZZ=ON -DTIDWEN_BUILD_UI=OFF -DTIDWEN_BUILD_TESTS=OFF -DTIDWEN_BUILD_BENCH=OFF \
  >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

max_len() {
  case "$1" in
    file_name) echo 255 ;;  # the longest name a Linux filesystem takes
    ntfs_mft) echo 24576 ;;  # the MFT the inputs are laid over
    *) echo 512 ;;
  esac
}

summary=()
found=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.log"
  scratch="$build/tmp/$target"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")" "$scratch"
  scratch=$(realpath "$scratch")
  inputs=("$corpus" "fuzz/corpus/$target")
  [[ -d "fuzz/regressions/$target" ]] && inputs+=("fuzz/regressions/$target")
  options=(-max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10
           -print_final_stats=1 -artifact_prefix="$artifacts/")
  [[ -f "fuzz/$target.dict" ]] && options+=(-dict="fuzz/$target.dict")

  echo "fuzz_$target: ${seconds}s, log in $log"
  status=0
  TMPDIR="$scratch" "$build/fuzz/fuzz_$target" "${options[@]}" "${inputs[@]}" >"$log" 2>&1 ||
    status=$?
  rm -rf "$scratch"

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  coverage=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2 || true)
  units=$(find "$corpus" -type f | wc -l)
  kept=()
  for artifact in "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* \
                  "$artifacts"/oom-*; do
    [[ -f "$artifact" ]] || continue
    mkdir -p "fuzz/regressions/$target"
    cp "$artifact" "fuzz/regressions/$target/"
    rm "$artifact"
    kept+=("fuzz/regressions/$target/$(basename "$artifact")")
  done
  if [[ $status -eq 0 && ${#kept[@]} -eq 0 ]]; then
    result="nothing found"
  else
    found=1
    result="FOUND (exit $status): ${kept[*]:-see the log}"
    grep -E 'invariant violated|ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error' \
      "$log" | head -3 | sed 's/^/    /' || true
  fi
  summary+=("$(printf '%-13s %9s runs %7s/s  cov %5s  corpus %5s  %s' "$target" "${runs:-?}" \
    "${speed:-?}" "${coverage:-?}" "$units" "$result")")
done
rmdir "$build/tmp" 2>/dev/null || true

echo
echo "Fuzzing summary (${seconds}s per target):"
printf '  %s\n' "${summary[@]}"
if [[ $found -ne 0 ]]; then
  echo "Kept inputs are replayed by the unit and integration tests; fix the fault they show."
  exit 1
fi
