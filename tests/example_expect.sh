#!/usr/bin/env bash
# Every bundled example replays to exactly its stored JSON document: a user's regression
# check, run as a user runs it. Every example that differs is reported, then one command that
# regenerates them all.
set -euo pipefail
: "${UTILSIM:?}" "${TERN_SOURCE_DIR:?}"
cd "$TERN_SOURCE_DIR"
mask_writer() {
  sed -E 's/^( *"(utilsim|pluginBuildId)": )"[^"]*"/\1"(masked)"/'
}
differing=()
for log in examples/*.jsonl; do
  stored=${log%.jsonl}.expected.json
  if ! "$UTILSIM" replay --expect "$stored" "$log"; then
    differing+=("$log")
    continue
  fi
  # The document is written while the replay runs, byte for byte as it was stored (the
  # failures example exits 1: its entries fail on purpose), but for what wrote it: utilsim's
  # version and the plug-in's build id differ from build to build.
  if ! cmp <({ "$UTILSIM" replay --json "$log" || true; } | mask_writer) <(mask_writer < "$stored"); then
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
# Two builds in one command, as docs/utilsim.md shows it (here the same build on both sides):
# the run agrees with itself, and with a withheld command or another fap mask the first line
# names the first difference, said to come from other options.
for log in examples/*.jsonl; do
  # (The failures example exits 1 on its own: its entries fail on purpose.)
  { "$UTILSIM" replay --jsonl "$log" || true; } |
    "$UTILSIM" replay --no-progress --expect - "$log" > /dev/null
done
expect_first() {
  local first
  first=$("$UTILSIM" replay --jsonl examples/basic.jsonl |
    { "$UTILSIM" replay "$@" --expect - examples/basic.jsonl || true; } | head -n 1)
  if [[ $first != "$want"* ]]; then
    echo "with $*, expected a first line starting with: $want" >&2
    echo "got: $first" >&2
    exit 1
  fi
}
want="utilsim: the run differs from <stdin> (recorded with other options: --drop-command none (this run: 5)): first, hardware mismatch added IppaRoutingProfileToVectorMapHwDirect fap 0 instance 0 array=3 entryIndex=0"
expect_first --drop-command 5
want="utilsim: the run differs from <stdin> (recorded with other options: --fap-mask 0-127 (this run: 1-127)): first, line 7 gives other results"
expect_first --fap-mask 1-127
