# bash completion for skyfw
_skyfw() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  local global="--plugin --trace --machine --json --version --help"
  case $prev in
    --plugin | --trace | --document | --request | -o | --output | --key | --payload | --from)
      COMPREPLY=($(compgen -f -- "$cur"))
      return
      ;;
    --machine | --fw)
      COMPREPLY=($(compgen -d -- "$cur"))
      return
      ;;
  esac
  # The command words typed so far (options and their values left out).
  local words=() i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -*) ;;
      *) words+=("${COMP_WORDS[i]}") ;;
    esac
  done
  local options=""
  case "${words[0]:-} ${words[1]:-}" in
    " ") COMPREPLY=($(compgen -W "discover flash flash-pci dump info text version pkg sim $global" -- "$cur")); return ;;
    "pkg ") COMPREPLY=($(compgen -W "inspect verify build make-image make-vpd" -- "$cur")); return ;;
    "sim ") COMPREPLY=($(compgen -W "init show events" -- "$cur")); return ;;
    discover*) options="--fw -o --output" ;;
    flash-pci*) options="--pci --allow-older" ;;
    flash*) options="--fw --document --request --skip --allow-reinstall --allow-older --dry-run" ;;
    dump*) options="--pci" ;;
    info*) options="--fw" ;;
    "pkg inspect") options="--json" ;;
    "pkg verify") options="--device --current-version --json" ;;
    "pkg build") options="-o --output --item --version --prerequisite --device-id --subsystem-vendor --subsystem-id --revisions --description --wrap" ;;
    "pkg make-image") options="-o --output --type --framing --code --size --seed --payload --version --key" ;;
    "pkg make-vpd") options="-o --output --id --ro --rw --rv-reserve" ;;
    "sim init") options="--from" ;;
    "sim show" | "sim events") options="--json" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options $global" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _skyfw skyfw
