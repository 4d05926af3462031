# Bash completion for talvenor-import: its commands, each command's options
# (read from the command's own --help, so they match the installed program),
# file names for operands and file options, folders for --folder, the
# dialects of init --sql, and for --database the ids of the catalogue the
# command would use (the same --folder).

# Prints "OPTION PLACEHOLDER" for every option in the --help of the command
# ARGS ("-" for a switch without a value).
_talvenor_import_options() {
  local line
  "$@" --help 2>/dev/null | while IFS= read -r line; do
    if [[ $line =~ ^\ \ (-[a-zA-Z],\ ?)?(--[a-z][a-z0-9-]*)(\ ([A-Z][A-Z_-]*))? ]]; then
      echo "${BASH_REMATCH[2]} ${BASH_REMATCH[4]:--}"
    fi
  done
}

# Prints the command names listed under the "...commands:" heading of the
# --help of ARGS.
_talvenor_import_commands() {
  "$@" --help 2>/dev/null | awk '
    tolower($0) ~ /commands:$/ { listing = 1; next }
    listing && /^  [a-z]/ { print $1; next }
    listing && !/^ / { listing = 0 }'
}

# The options of the command words ARGS... and of the command they belong to
# (catalogue's --folder also stands after "catalogue list").
_talvenor_import_command_options() {
  local program=$1
  shift
  {
    _talvenor_import_options "$program" "$1"
    (($# > 1)) && _talvenor_import_options "$program" "$@"
  } | awk '!seen[$1]++'
}

_talvenor_import() {
  local cur prev words cword split
  _init_completion -s || return

  local program=${words[0]} command=() folder='' skip=0 i word
  # The command words (run, or catalogue list) and the --folder given, if any;
  # an option's value is neither.
  for ((i = 1; i < cword; i++)); do
    word=${words[i]}
    if ((skip)); then
      skip=0
      continue
    fi
    case $word in
      --folder)
        folder=${words[i + 1]}
        skip=1
        ;;
      --folder=*) folder=${word#--folder=} ;;
      -*)
        ((${#command[@]})) && _talvenor_import_command_options "$program" "${command[@]}" |
          grep -q -- "^$word [^-]" && skip=1
        ;;
      *)
        if ((${#command[@]} == 0)); then
          command=("$word")
        elif ((${#command[@]} == 1)) &&
          _talvenor_import_commands "$program" "${command[0]}" | grep -qx -- "$word"; then
          command+=("$word")
        fi
        ;;
    esac
  done

  if ((${#command[@]} == 0)); then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$(_talvenor_import_commands "$program")" -- "$cur"))
    fi
    return
  fi

  local placeholder
  placeholder=$(_talvenor_import_command_options "$program" "${command[@]}" |
    awk -v o="$prev" '$1 == o { print $2; exit }')
  case $placeholder in
    ID)
      local ids
      ids=$("$program" catalogue list --ids ${folder:+--folder "$folder"} 2>/dev/null)
      local IFS=$'\n'
      COMPREPLY=($(compgen -W "$ids" -- "$cur"))
      # Ids may hold blanks: quote what is put on the line.
      local k
      for k in "${!COMPREPLY[@]}"; do COMPREPLY[k]=$(printf '%q' "${COMPREPLY[k]}"); done
      return
      ;;
    DIR)
      _filedir -d
      return
      ;;
    DIALECT)
      COMPREPLY=($(compgen -W 'sqlite postgres sqlserver' -- "$cur"))
      return
      ;;
    N) return ;;
    - | '') ;;
    *)
      _filedir
      return
      ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$(_talvenor_import_command_options "$program" "${command[@]}" |
      awk '{ print $1 }')" -- "$cur"))
    return
  fi
  local sub
  sub=$(_talvenor_import_commands "$program" "${command[@]}")
  if [[ -n $sub && ${#command[@]} -eq 1 ]]; then
    COMPREPLY=($(compgen -W "$sub" -- "$cur"))
    return
  fi
  _filedir
}
complete -F _talvenor_import talvenor-import
