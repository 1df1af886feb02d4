#!/usr/bin/env bash
# The bash completion must offer every option that folivane-pdf --help lists, and every value it
# offers for an option must be one that folivane-pdf accepts.
# Usage: completion_test.sh FOLIVANE_PDF COMPLETION_SCRIPT SAMPLE_SOURCE
set -uo pipefail
program=$1
completion=$2
sample=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch XDG_CONFIG_HOME=$scratch

source "$completion"
complete_words() {
  COMP_WORDS=(folivane-pdf "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _folivane_pdf
  printf '%s\n' "${COMPREPLY[@]}"
}

status=0
offered=$(complete_words --)
listed=$("$program" --help | grep -oE '^ +(-h, )?--[a-z-]+' | grep -oE -- '--[a-z-]+')
for option in $listed; do
  grep -qxF -- "$option" <<<"$offered" || { echo "completion does not offer $option"; status=1; }
done

# Every code page that --help names as an example ("such as windows-1252, gbk, ...") is offered.
help_text=$("$program" --help | tr '\n' ' ' | tr -s ' ')
named=$(sed -n 's/.*--encoding <[A-Z]*> \(.*\)/\1/p' <<<"$help_text" | sed 's/ *--[a-z].*//' |
  sed -n 's/.*such as \([^.]*\)\..*/\1/p' | tr ',' '\n' | sed 's/^ *//; s/^or //')
[ -n "$named" ] || { echo "--help names no code page for --encoding"; status=1; }
encodings=$(complete_words --encoding "")
for name in $named; do
  grep -qxF -- "$name" <<<"$encodings" || { echo "completion does not offer --encoding $name"; status=1; }
done

for option in --font-size --page-header --paper --encoding --engine; do
  grep -qxF -- "$option" <<<"$listed" || continue
  values=$(complete_words "$option" "")
  [ -n "$values" ] || { echo "no values for $option"; status=1; }
  for value in $values; do
    if ! "$program" "$option" "$value" --clock 2026-01-31T09:30:00 "$sample" "$scratch/out.pdf" \
        2>"$scratch/err"; then
      echo "folivane-pdf rejects $option $value: $(cat "$scratch/err")"; status=1
    fi
  done
done
# The --option=value form that bash splits at the "=".
[ "$(complete_words --page-header = f)" = first ] || { echo "--page-header=f does not complete"; status=1; }
exit $status
