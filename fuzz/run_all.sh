#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on a copy of its seed corpus (the
# corpus in the repository never grows here), prints the executions of each
# and fails when any target finds a crash, a leak, a timeout or runs out of memory.
#
#   fuzz/run_all.sh [BUILD_DIR]        BUILD_DIR defaults to build-fuzz
#   FUZZ_SECONDS=60                    time per target
#   FUZZ_TARGETS="object_file ..."     a subset
#   FUZZ_ARTIFACTS=DIR                 where crashing inputs go (default BUILD_DIR/fuzz-artifacts)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
targets="${FUZZ_TARGETS:-object_file design_file jpeg_decode png_decode bmp_load bmp_resolution jpeg_resolution text_drawing render_options render_tool}"
artifacts="${FUZZ_ARTIFACTS:-$build/fuzz-artifacts}"
mkdir -p "$artifacts"

work="$(mktemp -d "${TMPDIR:-/tmp}/fernweave-fuzz-run.XXXXXX")"
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=()
printf '%-16s %12s %10s %8s  %s\n' target executions exec/s corpus result
for t in $targets; do
  bin="$build/fuzz/${t}_fuzz"
  if [[ ! -x "$bin" ]]; then
    echo "fuzz: $bin is missing (build the fuzz_targets target)" >&2
    exit 2
  fi
  corpus="$work/corpus-$t"
  mkdir -p "$corpus"
  cp -r "$here/corpus/$t/." "$corpus/"
  dict=()
  [[ -f "$here/dicts/$t.dict" ]] && dict=("-dict=$here/dicts/$t.dict")
  log="$work/$t.log"
  rc=0
  "$bin" "$corpus" "${dict[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$t-" >"$log" 2>&1 || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  size=$(find "$corpus" -type f | wc -l)
  result=ok
  if ((rc != 0)); then
    result="FAILED (exit $rc)"
    failed+=("$t")
  fi
  printf '%-16s %12s %10s %8s  %s\n' "$t" "${execs:-?}" "${rate:-?}" "$size" "$result"
  if ((rc != 0)); then
    echo "---- $t: the end of its log ----"
    grep -v '^#[0-9]' "$log" | tail -n 60
    echo "---- inputs kept in $artifacts ----"
    ls -l "$artifacts" | grep -- "$t-" || true
  fi
done

if ((${#failed[@]} > 0)); then
  echo "fuzz: failures in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: every target ran ${seconds} s without a failure"
