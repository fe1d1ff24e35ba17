# Bash completion for kvrn: its commands, each command's options, and file names for the rest.
# Installed as share/bash-completion/completions/kvrn. The option lists follow the *_options
# arrays of cli/*.cpp; tests/install/install-test.sh holds them to each command's --help.
_kvrn() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="info decode encode preview sweep diff blocks"
    if [ "$COMP_CWORD" -eq 1 ]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands help -q --quiet -v --verbose -f --force \
            -h --help -V --version" -- "$cur")
        return
    fi
    local options
    case ${COMP_WORDS[1]} in
        help)
            [ "$COMP_CWORD" -eq 2 ] && mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
            return
            ;;
        info) options="--json" ;;
        decode) options="--threads" ;;
        encode) options="-s --step --scales --threads" ;;
        preview) options="-s --step --channels --threads" ;;
        sweep) options="--steps --qualities --csv --plot --threads" ;;
        diff) options="--gain --threads" ;;
        blocks) options="" ;;
        *) return ;;
    esac
    # Every command's.
    options+=" -q --quiet -v --verbose -f --force --max-pixels -h --help -V --version"
    case $prev in
        -s | --step | --scales | --threads | --max-pixels | --steps | --qualities | --gain)
            return ;;  # numbers: nothing to offer
        --channels)
            mapfile -t COMPREPLY < <(compgen -W "yrb y r b yr yb rb" -- "$cur")
            return
            ;;
    esac
    if [[ $cur == -?* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    else
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -F _kvrn kvrn
