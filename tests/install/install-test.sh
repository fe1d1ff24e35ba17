#!/bin/bash
# Installs a build into a scratch prefix and uses what lands there as a user would: the installed
# kvrn runs, the manual pages render with man, and the bash completion loads and offers every
# command of `kvrn --help` and every option of each `kvrn COMMAND --help`.
# Usage: install-test.sh BUILD_DIR VIEWER(ON|OFF) [MAN_PAGE...]
set -u
build=$1 viewer=$2
shift 2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
kvrn=$prefix/bin/kvrn
version=$("$kvrn" --version)
[[ $version =~ ^kvrn\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "installed kvrn --version says '$version'"
# The lab's commands run in kvrn-lab, installed out of the PATH, which kvrn must find.
if "$kvrn" --help | grep -q '^  sweep '; then
    "$kvrn" sweep --help | grep -qF -- --qualities || fail "installed kvrn sweep --help fails"
fi
if [ "$viewer" = ON ]; then
    [ -x "$prefix/bin/kvrn-view" ] || fail "no bin/kvrn-view"
fi

# Each page with a line it must show, rendered as plain ASCII.
for page in "$@"; do
    case $page in
        kvrn.1) line="kvrn - inspect, decode, encode and preview KVRN pictures" ;;
        kvrn-view.1) line="Enter KVRN filename, including extension:" ;;
        *) line="$page" ;;
    esac
    file=$prefix/share/man/man1/$page
    [ -f "$file" ] || { fail "no share/man/man1/$page"; continue; }
    LC_ALL=C MANPAGER=cat MANWIDTH=80 man -l "$file" 2>&1 | grep -qF -- "$line" ||
        fail "man -l $page does not show '$line'"
done
if [ -f "$prefix/share/man/man1/kvrn.1" ]; then
    LC_ALL=C MANPAGER=cat MANWIDTH=80 man -l "$prefix/share/man/man1/kvrn.1" |
        grep -qF -- "--scales Y,CR,CB   quantise" || fail "kvrn(1) lacks the encode options"
    # The ideas come before the commands.
    LC_ALL=C MANPAGER=cat MANWIDTH=80 man -l "$prefix/share/man/man1/kvrn.1" |
        grep -E '^(CONCEPTS|COMMANDS)$' | tr '\n' ' ' | grep -qx 'CONCEPTS COMMANDS ' ||
        fail "kvrn(1) lacks its CONCEPTS section before COMMANDS"
fi

completion=$prefix/share/bash-completion/completions/kvrn
# The words the completion offers after "kvrn WORD...", one a line, sorted; it asks the installed
# kvrn for its commands and options.
offered() {
    bash -c 'source "$1" && shift && COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) && _kvrn &&
             printf "%s\n" "${COMPREPLY[@]}"' - "$completion" "$kvrn" "$@" | sort -u
}
[ "$(bash -c 'source "$1" && complete -p kvrn' - "$completion")" = "complete -F _kvrn kvrn" ] ||
    fail "the completion does not register for kvrn"
commands=$("$kvrn" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' | sort -u)
missing=$(comm -23 <(echo "$commands") <(offered ""))
if [ -z "$commands" ] || [ -n "$missing" ]; then fail "the completion lacks the commands: $missing"; fi
for command in $commands; do
    options=$("$kvrn" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
    missing=$(comm -23 <(echo "$options") <(offered "$command" --))
    [ -z "$missing" ] || fail "the completion lacks the options of $command:" "$missing"
done
[ "$(offered encode --s | tr '\n' ' ')" = "--scales --step " ] ||
    fail "kvrn encode --s<TAB> offers '$(offered encode --s | tr '\n' ' ')'"
# The metrics --metrics offers are those kvrn diff lists when it refuses an unknown one.
metrics=$("$kvrn" diff --metrics unknown a b 2>&1 | sed -n 's/.*, or all: //p' | tr -d , | tr ' ' '\n')
[ "$(offered diff --metrics '' | tr '\n' ' ')" = "$(printf '%s\n' all "$metrics" | sort | tr '\n' ' ')" ] ||
    fail "kvrn diff --metrics <TAB> offers '$(offered diff --metrics '' | tr '\n' ' ')'"
[ "$(offered diff --metrics psnr_y,butt | tr '\n' ' ')" = \
    "psnr_y,butteraugli psnr_y,butteraugli_3norm " ] ||
    fail "kvrn diff --metrics psnr_y,butt<TAB> offers '$(offered diff --metrics psnr_y,butt)'"
# Likewise the codecs of sweep --codecs, and the metrics of --plot-metric (no list, no "all").
codecs=$("$kvrn" sweep --codecs unknown a 2>&1 | sed -n 's/.*, or all: //p' | tr -d , | tr ' ' '\n')
[ "$(offered sweep --codecs '' | tr '\n' ' ')" = "$(printf '%s\n' all "$codecs" | sort | tr '\n' ' ')" ] ||
    fail "kvrn sweep --codecs <TAB> offers '$(offered sweep --codecs '' | tr '\n' ' ')'"
[ "$(offered sweep --codecs kvrn,av | tr '\n' ' ')" = "kvrn,avif420 kvrn,avif444 " ] ||
    fail "kvrn sweep --codecs kvrn,av<TAB> offers '$(offered sweep --codecs kvrn,av)'"
[ "$(offered sweep --plot-metric '' | tr '\n' ' ')" = "$(printf '%s\n' "$metrics" | sort | tr '\n' ' ')" ] ||
    fail "kvrn sweep --plot-metric <TAB> offers '$(offered sweep --plot-metric '' | tr '\n' ' ')'"
exit $status
