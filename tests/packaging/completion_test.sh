#!/usr/bin/env bash
# The bash completions as bash-completion runs them: commands, options
# (each command's own only after it), kinds, users, and the account files of
# the server folder named on the line.
# Usage: bash completion_test.sh <build-dir>
set -u
build=$1
completion=/usr/share/bash-completion/bash_completion
[ -f "$completion" ] || { echo "bash-completion is not installed" >&2; exit 1; }
# shellcheck disable=SC1090
source "$completion"
for p in Vostrel Calmet Ruvane; do
  # shellcheck disable=SC1090
  source "$build/packaging/completions/$p"
done

server=$(mktemp -d "${TMPDIR:-/tmp}/completion-XXXXXX")
trap 'rm -rf "$server"' EXIT
mkdir -p "$server/accounts"
touch "$server/accounts/bob.ini" "$server/accounts/Betty Blue.ini" "$server/accounts/BILL.INI" \
  "$server/accounts/notes.txt" "$server/accounts/"$'b\e[31mad.ini'

failures=0
# complete <expected, one per line> <words...>: completes the last word.
complete_line() {
  local expected=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  local fn
  fn=$(complete -p "$1" | sed 's/.*-F \([^ ]*\) .*/\1/')
  "$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
  if [ "$got" != "$(sort <<<"$expected")" ]; then
    printf 'FAIL: %s\n  expected: %s\n  got:      %s\n' "$*" "$(echo $expected)" "$(echo $got)"
    failures=$((failures + 1))
  fi
}

complete_line $'list\nshow\nfind\nwipe\nrestore\nbackups\njournal' Calmet ""
complete_line $'bob\nBetty Blue\nBILL.INI' Calmet show --server-dir "$server" ""
complete_line $'Betty Blue\nBILL.INI' Calmet --server-dir "$server" show B
complete_line $'bob\nBetty Blue\nBILL.INI' Calmet --server-dir="$server" show ""
complete_line "" Calmet show ""  # no server folder named: nothing to read
complete_line $'--backup=' Calmet wipe --b
complete_line $'--since=' Calmet journal --si
complete_line $'--item=' Calmet find --i
complete_line $'--json' Calmet list --j
complete_line "" Calmet list --y
complete_line $'items\nspells\nsigns\nshops\nnpcs\nmaps\nall' Vostrel convert ""
complete_line $'maps' Vostrel convert items ma
complete_line $'--max=' Vostrel convert --m
complete_line $'--server-dir=' Vostrel --ser
complete_line $'--user=' Ruvane --systemd-unit --u
complete_line "" Ruvane --no-window --u
complete_line $'--no-window' Ruvane --no
complete_line "$(compgen -u -- ro)" Ruvane --systemd-unit --user ro

# Every option --help names is offered after one of the commands, or with none.
offered() {  # <program> <words before the option...>: every option offered there
  local p=$1 fn
  COMP_WORDS=("$@" --)
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  fn=$(complete -p "$p" | sed 's/.*-F \([^ ]*\) .*/\1/')
  "$fn" "$p" -- "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]%=}"
}
for p in Vostrel Calmet Ruvane; do
  all=$(
    offered "$p"
    for command in list show find wipe restore backups journal convert --systemd-unit; do offered "$p" "$command"; done
  )
  for option in $("$build/bin/$p" --help | grep -oE '^  (-h, )?--[a-z0-9-]+' | grep -oE -- '--[a-z0-9-]+'); do
    grep -qx -- "$option" <<<"$all" || {
      echo "FAIL: $p: $option is in --help but not offered"
      failures=$((failures + 1))
    }
  done
done

echo "completion: $failures failures"
[ "$failures" -eq 0 ]
