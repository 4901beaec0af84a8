#!/usr/bin/env bash
# Long fuzz runs: builds every fuzz target with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (the project's libraries instrumented for coverage and the
# sanitizers too) in build/fuzz, then runs the targets one after the other and prints the
# executions of each and what it found.
#
# Usage:
#   fuzz/run.sh [--time SECONDS | --runs COUNT] [--build-only] [TARGET[=SECONDS|=COUNT]...]
#
#   --time SECONDS  how long each target runs (default 60)
#   --runs COUNT    run each target for COUNT inputs instead of a time
#   --build-only    build, run nothing
#   TARGET          a target's name without _fuzz (open_binary, jpeg_decode, picture_loader,
#                   pipeline, dispatch, ...); all of fuzz/*_fuzz.cpp when none is named.
#                   TARGET=N gives that target its own time (or count, with --runs).
#
# Examples:
#   fuzz/run.sh --time 30                          every target for 30 seconds
#   fuzz/run.sh --runs 2000000 open_binary dispatch=500000
#   fuzz/run.sh pipeline=1800 jpeg_decode=600
#
# Each target starts from its seeds (fuzz/corpus/NAME/) and its regression files
# (tests/crashers/NAME/); the inputs that libFuzzer adds go to build/fuzz/corpus/NAME/, which is
# kept between runs but not committed. A crash, sanitizer report, leak or timeout (10 s per input)
# stops the target and leaves its input in build/fuzz/findings/NAME/. Once the fault is fixed,
# copy that input into tests/crashers/NAME/ under a name that says what it exercises: ctest
# replays it on every build from then on.
#
# Environment: CC/CXX (default clang/clang++), JOBS (build jobs, default 2), FUZZ_FLAGS (extra
# libFuzzer flags). Not run by CI, which only replays the regression files and the seeds.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=time
default=60
build_only=0
names=()
limits=()
while [ $# -gt 0 ]; do
  case "$1" in
    --time) mode=time; default=$2; shift 2 ;;
    --runs) mode=runs; default=$2; shift 2 ;;
    --build-only) build_only=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz/run.sh: unknown option $1" >&2; exit 2 ;;
    *)
      names+=("${1%%=*}")
      if [[ "$1" == *=* ]]; then limits+=("${1#*=}"); else limits+=(""); fi
      shift ;;
  esac
done
if [ ${#names[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    names+=("$name")
    limits+=("")
  done
fi
for name in "${names[@]}"; do
  if [ ! -f "fuzz/${name}_fuzz.cpp" ]; then
    echo "fuzz/run.sh: no target fuzz/${name}_fuzz.cpp" >&2
    exit 2
  fi
done

build=build/fuzz
targets=()
for name in "${names[@]}"; do targets+=("${name}_fuzz"); done
echo "== building ${targets[*]} in $build"
cmake -S . -B "$build" -DCMAKE_C_COMPILER="${CC:-clang}" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVELLA_SANITIZE=ON -DCORVELLA_LIBFUZZER=ON \
  -DCORVELLA_WERROR=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target "${targets[@]}"
[ "$build_only" = 1 ] && exit 0

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
summary=()
total=0
status=0
for i in "${!names[@]}"; do
  name=${names[$i]}
  limit=${limits[$i]:-$default}
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  seeds=()
  for folder in "fuzz/corpus/$name" "tests/crashers/$name"; do
    [ -d "$folder" ] && seeds+=("$folder")
  done
  if [ "$mode" = time ]; then budget=(-max_total_time="$limit"); else budget=(-runs="$limit"); fi
  log=$build/$name.log
  echo "== $name: ${mode} $limit"
  set +e
  # shellcheck disable=SC2086
  "$build/fuzz/${name}_fuzz" "${budget[@]}" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$findings/" ${FUZZ_FLAGS:-} \
    "$corpus" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
  runs=${runs:-0}
  total=$((total + runs))
  found=$(find "$findings" -type f | wc -l)
  if [ $rc -ne 0 ] || [ "$found" -gt 0 ]; then
    status=1
    summary+=("$(printf '%-16s %12s executions   FAULT (exit %d, %d file(s) in %s; log %s)' \
      "$name" "$runs" "$rc" "$found" "$findings" "$log")")
    grep -E 'ERROR|SUMMARY|fault:|undocumented|Timeout|leak' "$log" | head -5 || true
  else
    summary+=("$(printf '%-16s %12s executions   ok' "$name" "$runs")")
  fi
done
echo
echo "== executions per target (ASan + UBSan + libFuzzer)"
printf '%s\n' "${summary[@]}"
printf '%-16s %12s executions\n' total "$total"
exit $status
