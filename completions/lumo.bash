# bash completion for lumo                                   -*- shell-script -*-
#
# Offers the flags after a dash, the parser names after --parser, the section
# names of the file on the command line after --section (from `lumo --list
# --json`), and file names everywhere else. A switch already on the command line is not offered
# again in either form, since lumo rejects both repeats and contradictions.

_lumo() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}

  if [[ $prev == --parser ]]; then
    COMPREPLY=($(compgen -W 'elf pe qoi macho wasm zip png jpeg gzip gif data' -- "$cur"))
    return
  fi
  # The file to compare with: readline completes a file name.
  if [[ $prev == --diff ]]; then
    COMPREPLY=()
    return
  fi
  # A byte count: nothing to offer.
  if [[ $prev == --skip || $prev == --length ]]; then
    COMPREPLY=()
    return
  fi
  if [[ $prev == --section ]]; then
    local file= i names
    for ((i = 1; i < COMP_CWORD - 1; i++)); do
      case ${COMP_WORDS[i - 1]} in # a value, not the file
        --parser | --skip | --length | --section | --diff) continue ;;
      esac
      [[ ${COMP_WORDS[i]} != -* && -f ${COMP_WORDS[i]} ]] && file=${COMP_WORDS[i]}
    done
    COMPREPLY=()
    [[ -n $file ]] || return
    # Names with a quote, a backslash or an escaped byte are left out.
    names=$("${COMP_WORDS[0]:-lumo}" "$file" --list --json 2>/dev/null |
      sed -nE 's/.*"name": "([^"\\]*)".*/\1/p')
    local IFS=$'\n'
    COMPREPLY=($(compgen -W "$names" -- "$cur"))
    return
  fi
  if [[ $cur != -* ]]; then
    COMPREPLY=() # readline completes a file name (complete -o default)
    return
  fi

  # One switch per entry; its forms are separated by a space.
  local switches=(
    '--color --no-color'
    '--uppercase --lowercase'
    '--size --no-size'
    '--offset --no-offset'
    '--ascii --no-ascii'
    '--skip-lines --no-skip-lines'
    '--raw'
    '--show-palette'
    '--legend'
    '--annotate'
    '--list'
    '--json'
  )
  local flags='-h --help -v --version --skip --length --section --diff --parser' switch i
  for switch in "${switches[@]}"; do
    for ((i = 1; i < COMP_CWORD; i++)); do
      case ${COMP_WORDS[i - 1]} in # a value, not a flag
        --parser | --skip | --length | --section | --diff) continue ;;
      esac
      [[ " $switch " == *" ${COMP_WORDS[i]} "* ]] && continue 2
    done
    flags+=" $switch"
  done
  COMPREPLY=($(compgen -W "$flags" -- "$cur"))
}
complete -o default -F _lumo lumo
