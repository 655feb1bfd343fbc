#!/usr/bin/env bash
# Builds the libFuzzer target tools/fuzz/fuzz_input.cpp with clang (the simulator's input
# reader and replay engine compiled in, the host and the plug-in of this build linked) and
# runs it for a bounded time from the corpus in tools/fuzz/corpus. Native release only: the
# fuzzer brings its own AddressSanitizer and UBSan, and libFuzzer's runtime here is 64-bit.
#   FUZZ_SECONDS  length of the run (default 20)
set -euo pipefail

: "${TERN_SOURCE_DIR:?}" "${TERN_BINARY_DIR:?}" "${TERN_PLUGIN_PATH:?}"
if [[ "${TERN_CONFIG:-release}" != release ]]; then
  echo "fuzz_input: skipped in the ${TERN_CONFIG} configuration (runs in release only)"
  exit 0
fi
CXX=${FUZZ_CXX:-clang++}
if ! command -v "$CXX" > /dev/null; then
  echo "fuzz_input: $CXX not found (scripts/lib.sh installs clang)" >&2
  exit 1
fi

src=$TERN_SOURCE_DIR
out=$TERN_BINARY_DIR/fuzz
bindir=$(dirname "$TERN_PLUGIN_PATH")
bin=$out/fuzz_input
mkdir -p "$out"
sources=("$src/tools/fuzz/fuzz_input.cpp")
for f in Input FastLine Files EntryStream Progress JsonCheck Fields Replay RowValues Latency Sha256; do
  sources+=("$src/tools/utilsim/$f.cpp")
done

# Rebuild only when a source, a header it may include or a linked library is newer.
stale=1
if [[ -x "$bin" ]]; then
  stale=0
  for f in "${sources[@]}" "$src"/tools/utilsim/*.h "$src"/host/*.h "$TERN_PLUGIN_PATH" \
    "$bindir/libTernHost.so" "$0"; do
    if [[ "$f" -nt "$bin" ]]; then stale=1; fi
  done
fi
if ((stale)); then
  echo "fuzz_input: building $bin with $CXX"
  "$CXX" -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Wall -Wextra -Werror -I"$src" "${sources[@]}" \
    -L"$bindir" -Wl,--no-as-needed -lTernHost -lJericho3aiUtils -Wl,--as-needed -lfmt \
    -Wl,-rpath,"$bindir" -o "$bin.tmp"
  mv "$bin.tmp" "$bin"
fi

work=$(mktemp -d "$out/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/new"
log=$work/log
# New inputs go to the scratch directory, never into the repository's corpus; so do crash
# reproducers (kept in $out when the run fails).
status=0
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
  "$bin" -max_total_time="${FUZZ_SECONDS:-20}" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -dict="$src/tools/fuzz/input.dict" -artifact_prefix="$out/" -print_final_stats=1 \
  "$work/new" "$src/tools/fuzz/corpus" > "$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
if ((status != 0)); then
  tail -60 "$log"
  echo "fuzz_input: FAILED (status $status) after ${runs:-?} executions; reproducer in $out/" >&2
  exit 1
fi
corpus=$(find "$work/new" -type f | wc -l)
echo "fuzz_input: ${runs:-0} executions in ${FUZZ_SECONDS:-20} s, no failure" \
  "($(find "$src/tools/fuzz/corpus" -type f | wc -l) seed inputs, $corpus new ones found)"
[[ -n "$runs" && "$runs" -gt 0 ]]
