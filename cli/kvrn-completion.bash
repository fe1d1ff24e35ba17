# Bash completion for kvrn: its commands, each command's options, and file names for the rest.
# Installed as share/bash-completion/completions/kvrn. The commands and options are read from the
# help of the kvrn being completed, `kvrn --help` and `kvrn COMMAND --help`, which its command
# table prints, as the manual page is; tests/install/install-test.sh holds them to each other.

# The options of the help text on standard input, from its lines such as "  -s, --step N  ...":
# with -n, those that take no value; with -v, those that take one, each as "NAME VALUE".
_kvrn_options() {
    local line name value words
    while IFS= read -r line; do
        [[ $line == "  -"* ]] || continue
        line=${line:2}
        # The option ends where the two spaces before its description start.
        read -ra words <<<"${line%%  *}"
        value=${words[-1]}
        [[ $value == -* ]] && value=
        for name in "${words[@]}"; do
            [[ $name == -* ]] || continue
            name=${name%,}
            case $1 in
                -n) [ -z "$value" ] && printf '%s\n' "$name" ;;
                -v) [ -n "$value" ] && printf '%s %s\n' "$name" "$value" ;;
                *) printf '%s\n' "$name" ;;
            esac
        done
    done
}

_kvrn() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local kvrn=${COMP_WORDS[0]/#\~/$HOME} tool_help commands
    tool_help=$("$kvrn" --help 2>/dev/null) || return
    # The two-space-indented words of the "Commands:" list.
    commands=$(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$tool_help")
    if [ "$COMP_CWORD" -eq 1 ]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands help $(_kvrn_options -n <<<"$tool_help")" \
            -- "$cur")
        return
    fi
    case " ${commands//$'\n'/ } " in
        *" ${COMP_WORDS[1]} "*) ;;
        *)
            [ "${COMP_WORDS[1]}" = help ] && [ "$COMP_CWORD" -eq 2 ] &&
                mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
            return
            ;;
    esac
    local command_help
    command_help=$("$kvrn" "${COMP_WORDS[1]}" --help 2>/dev/null) || return
    # After an option that takes a value: the value's choices, file names, or nothing to offer.
    local name value valued=
    while read -r name value; do
        [ "$name" = "$prev" ] && valued=$value
    done < <(_kvrn_options -v <<<"$command_help")
    case $prev:$valued in
        --channels:*)
            mapfile -t COMPREPLY < <(compgen -W "yrb y r b yr yb rb" -- "$cur")
            return
            ;;
        --metrics:*)
            # The lab's metrics (lab/metric_table.h), each after those listed before a comma.
            local listed=${cur%"${cur##*,}"}
            mapfile -t COMPREPLY < <(compgen -P "$listed" -W "all psnr_rgb psnr_y ssim_y \
                ms_ssim_y butteraugli butteraugli_3norm" -- "${cur##*,}")
            return
            ;;
        --codecs:*)
            # The sweep's codecs (lab/codec_table.h), each after those listed before a comma.
            local listed=${cur%"${cur##*,}"}
            mapfile -t COMPREPLY < <(compgen -P "$listed" -W "all kvrn kvrn+zstd jpeg444 jpeg420 \
                kvrn-tables webp avif444 avif420 jxl" -- "${cur##*,}")
            return
            ;;
        --plot-metric:*)
            mapfile -t COMPREPLY < <(compgen -W "psnr_rgb psnr_y ssim_y ms_ssim_y butteraugli \
                butteraugli_3norm" -- "$cur")
            return
            ;;
        --table:*)
            # JPEG's tables at a quality, or a file that holds a table (preview, inspect).
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -W "jpeg:" -- "$cur"; compgen -f -- "$cur")
            return
            ;;
        *:FILE | *:) ;;
        *) return ;;  # numbers
    esac
    if [[ $cur == -?* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_kvrn_options <<<"$command_help")" -- "$cur")
    else
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -F _kvrn kvrn
