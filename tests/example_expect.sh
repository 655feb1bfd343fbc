#!/usr/bin/env bash
# The bundled example replays to exactly its stored JSON document: a user's regression check,
# run as a user runs it.
set -euo pipefail
: "${UTILSIM:?}" "${TERN_SOURCE_DIR:?}"
cd "$TERN_SOURCE_DIR"
"$UTILSIM" replay --expect examples/basic.expected.json examples/basic.jsonl
# A different chip revision moves the trap row, so the same stored document must not match.
if "$UTILSIM" replay --chip bcm88890_b0 --expect examples/basic.expected.json examples/basic.jsonl; then
  echo "expected a difference on bcm88890_b0" >&2
  exit 1
fi
