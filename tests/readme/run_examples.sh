#!/usr/bin/env bash
# Runs the README's kvrn examples as written: every block of shell lines after a marker comment,
# in the README's order (a later block may use what an earlier one made), line by line, at the
# top of a scratch copy of the checkout's samples where out/view/cli/kvrn is the kvrn under test.
# Any line that fails, or no block at all, fails the test.
# Usage: run_examples.sh README KVRN SAMPLES
set -euo pipefail
readme=$1
kvrn=$2
samples=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$samples" "$scratch/samples"
mkdir -p "$scratch/out/view/cli"
ln -s "$kvrn" "$scratch/out/view/cli/kvrn"

# The lines between the opening ```sh after each marker and the closing ```.
mapfile -t lines < <(awk '/<!-- kvrn examples:/ { marked = 1; next }
                          marked && /^```sh/ { inside = 1; marked = 0; next }
                          inside && /^```/ { inside = 0; next }
                          inside { print }' "$readme")
if [ "${#lines[@]}" -eq 0 ]; then
    echo "no kvrn examples found after the marker in $readme" >&2
    exit 1
fi
cd "$scratch"
# A build without the lab (the arm64 cross-build) has no lab commands: their lines are skipped.
commands=$("$kvrn" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
ran=0
for line in "${lines[@]}"; do
    command=$(sed -n 's|^out/view/cli/kvrn \(-[a-z]* \)*\([a-z]*\).*|\2|p' <<<"$line")
    if [ -n "$command" ] && ! grep -qx "$command" <<<"$commands"; then
        echo "skipped, this kvrn has no $command: $line"
        continue
    fi
    ran=$((ran + 1))
    echo "\$ $line"
    if ! bash -euo pipefail -c "$line"; then
        echo "failed: $line" >&2
        exit 1
    fi
done
echo "$ran of ${#lines[@]} examples ran"
