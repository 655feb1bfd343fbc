#!/usr/bin/env bash
# Every bundled example replays to exactly its stored JSON document: a user's regression
# check, run as a user runs it. Every example that differs is reported, then one command that
# regenerates them all.
set -euo pipefail
: "${UTILSIM:?}" "${TERN_SOURCE_DIR:?}"
cd "$TERN_SOURCE_DIR"
differing=()
for log in examples/*.jsonl; do
  stored=${log%.jsonl}.expected.json
  if ! "$UTILSIM" replay --expect "$stored" "$log"; then
    differing+=("$log")
    continue
  fi
  # The document is written while the replay runs, byte for byte as it was stored (the
  # failures example exits 1: its entries fail on purpose).
  if ! cmp <("$UTILSIM" replay --json "$log" || true) "$stored"; then
    differing+=("$log")
  fi
done
if ((${#differing[@]})); then
  echo "These examples no longer replay to their stored documents: ${differing[*]}." >&2
  echo "If the differences above are intended (a new table or Util changes what the examples" \
    "write), regenerate them all with:" >&2
  echo "  (cd $TERN_SOURCE_DIR && for log in ${differing[*]}; do $UTILSIM replay --json \"\$log\"" \
    "> \"\${log%.jsonl}.expected.json\"; done)" >&2
  exit 1
fi
# A different chip revision moves the trap row, so the same stored document must not match.
if "$UTILSIM" replay --chip bcm88890_b0 --expect examples/basic.expected.json examples/basic.jsonl; then
  echo "expected a difference on bcm88890_b0" >&2
  exit 1
fi
# Standard input has no size limit: 300 MB of comment lines before the log (which also moves
# every entry to another line than the stored document says) still match.
{
  yes '# a comment line, written over and over to make standard input larger than any buffer' |
    head -c 300000000 || true
  cat examples/basic.jsonl
} | "$UTILSIM" replay --no-progress --expect examples/basic.expected.json -
