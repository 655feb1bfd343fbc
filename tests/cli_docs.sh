#!/usr/bin/env bash
# utilsim's man page and bash completion keep up with its --help: every command the overview
# lists has its subsection in the man page and is completed; every option a command's help
# prints is named in that command's subsection and completed after the command; an option
# shown with fixed values (--chip a|b) completes to exactly those. A failure names each
# command, option or value missing, and where.
set -euo pipefail
: "${UTILSIM:?}" "${TERN_SOURCE_DIR:?}"
man_page=docs/utilsim.1
completion=packaging/utilsim.bash
cd "$TERN_SOURCE_DIR"
# shellcheck source=packaging/utilsim.bash
source "$completion"

# What the completion offers on the line `utilsim WORDS...` (the last word being completed).
offers() {
  local COMP_WORDS=(utilsim "$@") COMP_CWORD=$# COMPREPLY=()
  _utilsim
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

# The man page as text, and the subsection of one command (.SS COMMAND up to the next one).
man_text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$man_page")
man_section() {
  awk -v c="$1" '/^\.S[SH] / { inside = ($0 == ".SS " c) } inside' <<< "$man_text"
}
names() { # names WORD TEXT: WORD stands in TEXT as a whole word
  grep -qE -- "(^|[^A-Za-z0-9_-])$1([^A-Za-z0-9_-]|\$)" <<< "$2"
}

# Records "option|COMMAND|OPTION" and "values|COMMAND|OPTION|V1 V2" from a help text; the
# overview's usage lines give the options of the command they show, its other lines belong to
# no command. Options are lower case (upper case words are placeholders: N[-M]).
parse_help() {
  awk -v cmd="$1" '
    {
      own = cmd
      if (cmd == "" && match($0, /^(usage:)? *utilsim [a-z]+/)) {
        n = split(substr($0, RSTART, RLENGTH), w, " ")
        own = w[n]
      }
      s = $0
      while (match(s, /--[a-z][a-z0-9-]*[ =][A-Za-z0-9_]+(\|[A-Za-z0-9_]+)+/)) {
        split(substr(s, RSTART, RLENGTH), p, /[ =]/)
        n = split(p[2], v, "|")
        fixed = ""
        for (i = 1; i <= n; i++) if (v[i] !~ /[A-Z]/) fixed = fixed " " v[i]
        print "values|" own "|" p[1] "|" substr(fixed, 2)
        s = substr(s, RSTART + RLENGTH)
      }
      s = " " $0
      while (match(s, /[^A-Za-z0-9_-]--?[a-z][a-z0-9-]*/)) {
        print "option|" own "|" substr(s, RSTART + 1, RLENGTH - 1)
        s = substr(s, RSTART + RLENGTH)
      }
    }' | sort -u
}

failures=()
fail() { failures+=("$*"); }

commands=$("$UTILSIM" --help | awk '/^commands:/ { on = 1; next } on && NF == 0 { on = 0 }
                                     on { print $1 }')
[[ -n $commands ]] || fail "utilsim --help lists no commands under 'commands:': this check no longer reads it"
for command in "" $commands; do
  help_cmd="utilsim ${command:+$command }--help"
  if [[ -n $command ]]; then
    [[ $man_text == *$'\n'".SS $command"$'\n'* ]] ||
      fail "$man_page has no subsection '.SS $command' for the command '$command'"
    offers "${command:0:1}" | grep -qx -- "$command" ||
      fail "$completion does not complete the command '$command'"
  fi
  # shellcheck disable=SC2086 # no command: no word
  records=$("$UTILSIM" $command --help | parse_help "$command")
  grep -q "^option" <<< "$records" || fail "$help_cmd: no option found: this check no longer reads it"
  while IFS='|' read -r kind owner option fixed; do
    where=${owner:+" $owner"}
    section=$man_text
    [[ -n $owner ]] && section=$(man_section "$owner")
    # shellcheck disable=SC2086 # no command: no word
    if [[ $kind == option ]]; then
      names "$option" "$section" ||
        fail "$help_cmd prints $option: not in $man_page${owner:+ under '.SS $owner'}"
      # The overview also names options of the commands in passing: any command's will do.
      scope=$owner
      [[ -n $owner ]] || scope=$'\n'$commands
      found=0
      while read -r c; do
        if offers $c - | grep -qx -- "$option"; then
          found=1
          break
        fi
      done <<< "$scope"
      ((found)) ||
        fail "$help_cmd prints $option: $completion does not offer it after 'utilsim$where'"
    else
      for value in $fixed; do
        names "$value" "$section" ||
          fail "$help_cmd prints $option $value: '$value' not in $man_page${owner:+ under '.SS $owner'}"
      done
      got=$(offers $owner "$option" "" | paste -sd ' ')
      want=$(tr ' ' '\n' <<< "$fixed" | sort | paste -sd ' ')
      [[ $got == "$want" ]] ||
        fail "$help_cmd prints $option with the values '$want': $completion offers '$got'"
    fi
  done <<< "$records"
done

if ((${#failures[@]})); then
  printf 'cli_docs: %s\n' "${failures[@]}" >&2
  exit 1
fi
echo "cli_docs: the man page and the completion name every command, option and value of --help"
