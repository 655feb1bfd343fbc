#!/usr/bin/env bash
# Instructions per entry of the fixed replay workload (tools/perfdriver under callgrind) must
# stay within 3 % of tests/instruction_budget.txt: the release column for the 64-bit Release
# build, the m32 column for the 32-bit one. Other build types skip: callgrind under the
# sanitizers, or of unoptimised code, says nothing about the product.
set -euo pipefail

: "${TERN_SOURCE_DIR:?}" "${TERN_BINARY_DIR:?}"
cache="$TERN_BINARY_DIR/CMakeCache.txt"

cache_value() {
  sed -n "s/^$1:[A-Z]*=//p" "$cache"
}

if [[ "$(cache_value TERN_SANITIZE)" == ON ]]; then
  echo "SKIP: instruction budgets are not checked in a sanitizer build (callgrind under ASan is meaningless)"
  exit 0
fi
if [[ "$(cache_value CMAKE_BUILD_TYPE)" != Release ]]; then
  echo "SKIP: instruction budgets are for Release builds (this is '$(cache_value CMAKE_BUILD_TYPE)')"
  exit 0
fi
if [[ -n "${TERN_TEST_EMULATOR:-}" ]]; then
  echo "SKIP: this machine runs 32-bit programs only under ${TERN_TEST_EMULATOR}, where callgrind cannot count them"
  exit 0
fi
column=release
[[ "$(cache_value TERN_M32)" == ON ]] && column=m32

exec "$TERN_SOURCE_DIR/scripts/perf-instructions" "$TERN_BINARY_DIR" \
  --check "$TERN_SOURCE_DIR/tests/instruction_budget.txt" "$column"
