#!/usr/bin/env bash
# The bundled example replays to exactly its stored JSON document: a user's regression check,
# run as a user runs it.
set -euo pipefail
: "${UTILSIM:?}" "${TERN_SOURCE_DIR:?}"
cd "$TERN_SOURCE_DIR"
"$UTILSIM" replay --expect examples/basic.expected.json examples/basic.jsonl
# The document is written while the replay runs, byte for byte as it was stored.
"$UTILSIM" replay --json examples/basic.jsonl | cmp - examples/basic.expected.json
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
