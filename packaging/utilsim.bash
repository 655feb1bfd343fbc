# bash completion for utilsim: its commands, the options of each command, and the values of
# the options that take one of a fixed set. tests/cli_docs.sh checks it against what
# `utilsim [COMMAND] --help` prints: a new command or option goes into `options` below, an
# option with fixed values into `values` too, one whose value is a file into `files`, one with
# another value into `other`; a command that takes file arguments into `operands`.
# Plain bash: it needs nothing of the bash-completion package.

_utilsim() {
  local -A options=(
    [utilsim]="--help -h --version -V --plugin"
    [list]="--plugin --json --help -h"
    [tables]="--chip --plugin --json --help -h"
    [history]="--chip --plugin --fap-mask --dispatch --load-state --drop-command --json
               --progress --no-progress --help -h"
    [replay]="--chip --plugin --fap-mask --dispatch --trace --json --jsonl --show --lines
              --table --fap --instance --changed --failures --decode --expect --max-differences
              --diff-json --update --timing --load-state --save-state --progress
              --no-progress --drop-command --help -h"
    [diff]="--json --help -h"
  )
  local -A values=(
    [--chip]="bcm88890_a0 bcm88890_b0"
    [--dispatch]="applicable always"
    [--show]="chains entries"
    [--failures]="all"
    [--max-differences]="all"
  )
  local files=" --plugin --expect --diff-json --load-state --save-state "
  local other=" --fap-mask --trace --lines --table --fap --instance --drop-command "
  local operands=" replay history diff "

  local cur=${COMP_WORDS[COMP_CWORD]} option="" command=utilsim word i
  # --opt=value reaches us as three words: --opt, =, value.
  if [[ $cur == = ]]; then
    option=${COMP_WORDS[COMP_CWORD - 1]} cur=""
  elif ((COMP_CWORD >= 2)) && [[ ${COMP_WORDS[COMP_CWORD - 1]} == = ]]; then
    option=${COMP_WORDS[COMP_CWORD - 2]}
  elif ((COMP_CWORD >= 1)); then
    option=${COMP_WORDS[COMP_CWORD - 1]}
  fi
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word != -* && $word != utilsim && -n ${options[$word]+set} ]]; then
      command=$word
      break
    fi
  done

  COMPREPLY=()
  if [[ -n ${values[$option]+set} ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${values[$option]}" -- "$cur")
  elif [[ $files == *" $option "* ]]; then
    compopt -o filenames 2> /dev/null || true
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  elif [[ $other == *" $option "* ]]; then
    return 0
  elif [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${options[$command]}" -- "$cur")
  elif [[ $command == utilsim ]]; then
    local commands=("${!options[@]}")
    mapfile -t COMPREPLY < <(compgen -W "${commands[*]/utilsim/}" -- "$cur")
  elif [[ $operands == *" $command "* ]]; then
    compopt -o filenames 2> /dev/null || true
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -F _utilsim utilsim
