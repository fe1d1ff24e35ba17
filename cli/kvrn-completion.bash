# Bash completion for kvrn: its commands, each command's options, and file names for the rest.
# Installed as share/bash-completion/completions/kvrn. The option lists follow the *_options
# arrays of cli/*.cpp; tests/install/install-test.sh holds them to each command's --help.
_kvrn() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        mapfile -t COMPREPLY < <(compgen -W "info decode encode preview sweep diff blocks --help --version" -- "$cur")
        return
    fi
    local options
    case ${COMP_WORDS[1]} in
        info) options="--max-pixels --help" ;;
        decode) options="--threads --max-pixels --help" ;;
        encode) options="--step --scales --threads --max-pixels --help" ;;
        preview) options="--step --channels --threads --max-pixels --help" ;;
        sweep) options="--steps --qualities --csv --plot --threads --max-pixels --help" ;;
        diff) options="--gain --threads --max-pixels --help" ;;
        blocks) options="--max-pixels --help" ;;
        *) return ;;
    esac
    case $prev in
        --step | --scales | --threads | --max-pixels | --steps | --qualities | --gain)
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
