#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ (or
# $FUZZ_BUILD_DIR) and runs each for a while, one after the other on one
# core, starting from its seeds in fuzz/corpus/<target>/ (what it finds
# goes to build-fuzz/corpus/<target>/, the repository's seeds stay as they
# are). Prints one line per target: runs, seconds, coverage, result. Fails
# when a target finds a crash, a leak, undefined behaviour or a failed
# check; the input that did it is in build-fuzz/artifacts/.
#
#   scripts/fuzz.sh [--seconds N] [--runs N] [target...]   (default: 10 s each, all targets)
#   scripts/fuzz.sh --seeds    writes the seed corpora anew with the encoders
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=10
runs=-1
seeds=0
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; seconds=0; shift 2 ;;
    --seeds) seeds=1; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DKELDAR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${FUZZ_JOBS:-2}"
if [ $seeds = 1 ]; then
  "$build/fuzz/seeds" fuzz/corpus
  exit 0
fi
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(cd fuzz && ls -- *_fuzz.cpp | sed 's/_fuzz\.cpp$//')
fi

status=0
mkdir -p "$build/artifacts" "$build/logs"
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  log=$build/logs/$t.log
  result=ok
  "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -runs="$runs" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$t-" "$build/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1 ||
    { result="FAILED (see $log)"; status=1; }
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  time=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  printf '%-16s %10s runs %5s s  %-20s %s\n' "$t" "${done_runs:-?}" "${time:-?}" "${cov:-?}" "$result"
done
exit $status
