#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang's libFuzzer and the address and
# undefined-behaviour sanitizers (in build-fuzz/) and runs each of them.
#
#   scripts/fuzz.sh [SECONDS]   SECONDS in all (default 600), shared evenly by
#                               the targets; exits 1 when a target finds a crash,
#                               a leak, undefined behaviour or a broken check.
#
# Each target starts from its seeds in fuzz/corpus/<target>/ and from what
# earlier runs found (build-fuzz/corpus/<target>/); a failing input is kept
# as build-fuzz/crashes/<target>-crash-*, to be replayed by running the
# target with that file as its argument.
set -euo pipefail
cd "$(dirname "$0")/.."
total=${1:-600}
if ! [[ $total =~ ^[0-9]+$ ]] || [ "$total" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi
# Debian's clang 14 with its sanitizer and libFuzzer runtimes.
./scripts/install-deps.sh clang libclang-rt-14-dev
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTALVERN_FUZZ=ON >/dev/null
cmake --build build-fuzz

targets=()
for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
per=$(( total / ${#targets[@]} ))
[ "$per" -ge 1 ] || per=1
mkdir -p build-fuzz/crashes
status=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  echo "== $t: ${per} s"
  # The first corpus folder takes what is new; the seeds stay as they are.
  if ! build-fuzz/"$t" "build-fuzz/corpus/$t" "fuzz/corpus/$t" \
      -max_total_time="$per" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/crashes/$t-" \
      >"build-fuzz/$t.log" 2>&1; then
    echo "!! $t failed; see build-fuzz/$t.log and build-fuzz/crashes/" >&2
    tail -n 40 "build-fuzz/$t.log" >&2
    status=1
  else
    grep -E "^stat::number_of_executed_units|^Done" "build-fuzz/$t.log" | tail -n 2 || true
  fi
done
exit "$status"
