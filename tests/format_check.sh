#!/usr/bin/env bash
# The tree is formatted as .clang-format says: every C++ file git tracks, and every new one it
# does not ignore (release configuration only; skipped where clang-format is not installed).
set -euo pipefail
: "${TERN_SOURCE_DIR:?}"
if [[ "${TERN_CONFIG:-release}" != release ]]; then
  echo "format_check: runs in the release configuration only"
  exit 0
fi
if ! command -v clang-format > /dev/null; then
  echo "format_check: clang-format not installed: skipped"
  exit 0
fi
cd "$TERN_SOURCE_DIR"
if ! git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  echo "format_check: not a git checkout: skipped"
  exit 0
fi
# Tracked files deleted in the working tree are left out.
files=()
while IFS= read -r -d '' f; do
  [[ -f "$f" ]] && files+=("$f")
done < <(git ls-files -z --cached --others --exclude-standard -- '*.h' '*.cpp')
if ((${#files[@]})) && ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "format_check: run clang-format -i on the files above" >&2
  exit 1
fi
