#!/usr/bin/env bash
# Puts the small code changes of scripts/mutations.txt into the core one at a
# time, rebuilds the core tests (talvern_tests) and runs them, and reports
# each change that no test noticed, with the share of changes caught.
#
#   scripts/mutate.sh [--check] [NAME...]
#
#   NAME...   only these entries of the list (default: all)
#   --check   only checks that every entry's text is found once in its file
#
# The changes are made in a copy of the sources (build-mutate/tree), built in
# build-mutate/build: the working tree is never written, whatever stops the
# run. Per change, the entry's own tests run first; when they all pass, the
# rest of the binary runs in two shards at once. A run that takes longer than
# TALVERN_MUTATE_TIMEOUT seconds (default 600) counts as caught. The report
# is printed and kept in build-mutate/report.txt; the exit status is 1 when a
# change survived, did not build or its text was not found.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
list=${TALVERN_MUTATIONS:-scripts/mutations.txt}
work=$root/build-mutate
tree=$work/tree
bin=$work/build
limit=${TALVERN_MUTATE_TIMEOUT:-600}
jobs=${TALVERN_MUTATE_JOBS:-2}

check_only=0
wanted=()
for arg in "$@"; do
  case $arg in
    --check) check_only=1 ;;
    -*) echo "usage: scripts/mutate.sh [--check] [NAME...]" >&2; exit 2 ;;
    *) wanted+=("$arg") ;;
  esac
done

# ---- the list ------------------------------------------------------------------
names=() files=() froms=() tos=() focus=()
trim() { local v=${1#*:}; printf '%s' "${v#"${v%%[![:space:]]*}"}"; }
add_entry() {
  [ -n "$name" ] || return 0
  if [ -z "$file" ] || [ -z "$from" ]; then
    echo "$list: entry \"$name\" needs file: and from:" >&2; exit 2
  fi
  names+=("$name") files+=("$file") froms+=("$from") tos+=("$to") focus+=("$tests")
}
name='' file='' from='' to='' tests=''
while IFS= read -r line || [ -n "$line" ]; do
  case $line in
    '#'*) ;;
    name:*) add_entry; name=$(trim "$line") file='' from='' to='' tests='' ;;
    file:*) file=$(trim "$line") ;;
    from:*) from=$(trim "$line") ;;
    to:*) to=$(trim "$line") ;;
    tests:*) tests=$(trim "$line") ;;
    '') ;;
    *) echo "$list: cannot read the line: $line" >&2; exit 2 ;;
  esac
done <"$list"
add_entry

# How often `from` stands in a file.
occurrences() { FROM=$2 perl -0777 -ne '$n = () = /\Q$ENV{FROM}\E/g; print $n' "$1"; }

chosen=()
for i in "${!names[@]}"; do
  if [ ${#wanted[@]} -eq 0 ] || [[ " ${wanted[*]} " == *" ${names[$i]} "* ]]; then chosen+=("$i"); fi
done
for w in "${wanted[@]}"; do
  [[ " ${names[*]} " == *" $w "* ]] || { echo "no mutation named $w in $list" >&2; exit 2; }
done

bad=0
for i in "${chosen[@]}"; do
  f=${files[$i]}
  n=0
  [ -f "$f" ] && n=$(occurrences "$f" "${froms[$i]}")
  if [ "$n" != 1 ]; then
    echo "NOT FOUND ${names[$i]}: its text stands $n times in $f" >&2
    bad=1
  fi
done
if [ $check_only = 1 ]; then
  [ $bad = 0 ] && echo "${#chosen[@]} mutations, each text found once."
  exit $bad
fi
[ $bad = 0 ] || exit 1

# ---- the copy of the sources and its build --------------------------------------
start=$SECONDS
mkdir -p "$tree"
# Files whose content changed are copied (with a new time, so that they are
# rebuilt); the others keep theirs. Files gone from the tree go here too.
git ls-files -co --exclude-standard | while IFS= read -r f; do
  [ -f "$f" ] || continue
  cmp -s "$f" "$tree/$f" 2>/dev/null || { mkdir -p "$tree/$(dirname "$f")"; cp "$f" "$tree/$f"; }
done
(cd "$tree" && find . -type f -printf '%P\n' | sort) >"$work/copied.txt"
git ls-files -co --exclude-standard | sort | comm -23 "$work/copied.txt" - |
  while IFS= read -r f; do rm -f "$tree/$f"; done

current=''  # the file that holds a change
restore() {
  if [ -n "$current" ]; then
    cp "$root/$current" "$tree/$current"
    current=''
  fi
}
stop_jobs() { local p; for p in $(jobs -p); do kill "$p" 2>/dev/null || true; done; }
stopped() {
  stop_jobs
  restore
  echo "stopped; the working tree was never changed" >&2
  exit 130
}
trap 'stop_jobs; restore' EXIT
trap stopped INT TERM
# A command in the foreground that Ctrl-C ended: bash runs no trap when the
# command exits (rather than dies) on the signal, as `timeout` and ninja do.
ended_by_signal() { [ "$1" -eq 130 ] || [ "$1" -eq 143 ] || grep -q 'interrupted by user' "$work/build.log"; }

[ -f "$bin/build.ninja" ] ||
  cmake -S "$tree" -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$work/configure.log"
build() { cmake --build "$bin" --target talvern_tests -j "$jobs" >"$work/build.log" 2>&1; }

# The first test that failed in the logs $@.
first_failure() {
  grep -h -m1 -o '^\[  FAILED  \] [A-Za-z0-9_/.]*' "$@" 2>/dev/null | head -n1 | cut -c14- || true
}
# The binary under `timeout`; --foreground keeps it where Ctrl-C reaches it.
tests_cmd=(timeout --foreground "$limit" "$bin/talvern_tests" --gtest_fail_fast --gtest_brief=1)
# Runs the tests of gtest filter $1 (all when empty), and then, when they
# pass, the others; sets `caught` to the first test that failed, "(timed
# out)", or "" when every test passed.
caught=''
run_tests() {
  local filter=$1 status=0
  caught=''
  if [ -n "$filter" ]; then
    "${tests_cmd[@]}" --gtest_filter="$filter" >"$work/focus.log" 2>&1 || status=$?
    if [ $status -eq 130 ] || [ $status -eq 143 ]; then stopped; fi
    if [ $status -ne 0 ]; then
      caught=$(first_failure "$work/focus.log")
      [ $status -eq 124 ] && caught="(timed out)"
      [ -n "$caught" ] || caught="(exit $status)"
      return
    fi
    filter="-$filter"
  else
    filter='*'
  fi
  # Two shards at once; the first to fail stops the other.
  GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=0 "${tests_cmd[@]}" --gtest_filter="$filter" \
    >"$work/shard0.log" 2>&1 &
  GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=1 "${tests_cmd[@]}" --gtest_filter="$filter" \
    >"$work/shard1.log" 2>&1 &
  wait -n || status=$?
  if [ $status -ne 0 ]; then stop_jobs; else wait -n || status=$?; fi
  wait
  if [ $status -eq 130 ] || [ $status -eq 143 ]; then stopped; fi
  if [ $status -ne 0 ]; then
    caught=$(first_failure "$work/shard0.log" "$work/shard1.log")
    [ $status -eq 124 ] && [ -z "$caught" ] && caught="(timed out)"
    [ -n "$caught" ] || caught="(exit $status)"
  fi
}

echo "building talvern_tests in build-mutate/build ..."
status=0
build || status=$?
if [ $status -ne 0 ] && ended_by_signal $status; then stopped; fi
[ $status -eq 0 ] || { echo "the unchanged sources do not build; see $work/build.log" >&2; exit 1; }
run_tests ''
if [ -n "$caught" ]; then
  echo "the unchanged sources fail $caught; see $work/shard*.log" >&2
  exit 1
fi
echo "unchanged: every test passes ($((SECONDS - start)) s)"

# ---- one change at a time, those of one file together -----------------------------
order=()
for i in "${chosen[@]}"; do printf '%s\t%s\n' "${files[$i]}" "$i"; done | sort -s -t$'\t' -k1,1 >"$work/order.txt"
while IFS=$'\t' read -r _ i; do order+=("$i"); done <"$work/order.txt"

report=()
killed=0 total=0 survived=() broken=()
for i in "${order[@]}"; do
  t0=$SECONDS
  name=${names[$i]} f=${files[$i]}
  restore
  current=$f
  FROM=${froms[$i]} TO=${tos[$i]} perl -0777 -pi -e 's/\Q$ENV{FROM}\E/$ENV{TO}/' "$tree/$f"
  status=0
  build || status=$?
  if [ $status -ne 0 ] && ended_by_signal $status; then stopped; fi
  if [ $status -ne 0 ]; then
    line=$(printf '%-9s %-44s %s' "NO BUILD" "$name" "(see build-mutate/build.log)")
    broken+=("$name")
    cp "$work/build.log" "$work/build-$name.log"
  else
    run_tests "${focus[$i]}"
    total=$((total + 1))
    if [ -n "$caught" ]; then
      killed=$((killed + 1))
      line=$(printf '%-9s %-44s %s' "caught" "$name" "$caught")
    else
      survived+=("$name")
      line=$(printf '%-9s %-44s' "SURVIVED" "$name")
    fi
  fi
  line="$line  $((SECONDS - t0)) s"
  echo "$line"
  report+=("$line")
  restore
done
trap - EXIT

elapsed=$((SECONDS - start))
summary="Caught $killed of $total changes"
[ "$total" -gt 0 ] && summary+=" ($((100 * killed / total)) %)"
summary+=" in $((elapsed / 60)) min $((elapsed % 60)) s"
[ ${#survived[@]} -gt 0 ] && summary+="; survived: ${survived[*]}"
[ ${#broken[@]} -gt 0 ] && summary+="; did not build: ${broken[*]}"
echo "$summary"
printf '%s\n' "${report[@]}" "$summary" >"$work/report.txt"
[ ${#survived[@]} -eq 0 ] && [ ${#broken[@]} -eq 0 ]
