#!/bin/sh
# Prints the include file help2man reads for kvrn(1): the ideas behind the tool, from
# kvrn-concepts.h2m beside this script, then each command's own help, as `kvrn COMMAND --help`
# prints it, so that the manual page cannot drift from the tool.
# Usage: kvrn-commands.sh KVRN > kvrn.h2m
set -e
kvrn=$1
# The commands are the two-space-indented words of the "Commands:" list in `kvrn --help`.
commands=$("$kvrn" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
[ -n "$commands" ] || { echo "$0: no commands in '$kvrn --help'" >&2; exit 1; }
cat "$(dirname "$0")/kvrn-concepts.h2m"
echo '[COMMANDS]'
for command in $commands; do
    echo '.SS' "$command"
    echo '.nf'
    # Backslashes and lines that roff would take for requests are escaped.
    "$kvrn" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^[.']/\\\\\\&&/"
    echo '.fi'
done
echo '[SEE ALSO]'
echo '.BR kvrn-view (1)'
