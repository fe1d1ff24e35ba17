#!/usr/bin/env bash
# Holds the source tree to its floors: a file includes only the project's headers of its own
# folder and of the floors below it, so that the codec builds without the lab, the lab without
# the tool, and every front end reaches the engine through lab/ and codec/ alone.
#   codec/                 the bottom: nothing of the project's above it
#   lab/, scene/           the codec
#   app/                   the scene and the codec
#   cli/, web/, python/    the lab and the codec (and cli/ the viewer's scene for nothing);
#                          python/ also the tool's picture readers: cli/formats/, cli/image.h,
#                          cli/picture_bands.h and cli/report.h, and nothing else of cli/
# Within cli/, only the lab's commands (cli/lab/) and the command line that lists them
# (cli/main.cpp) include cli/lab/. Usage: layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"

# floor FOLDER ALLOWED...: every quoted include of the files under FOLDER names a header in one of
# the ALLOWED folders, or the generated kvrn_version.h.
faults=0
floor() {
    local folder=$1
    shift
    local allowed
    allowed=$(printf '%s/|' "$@")
    while IFS= read -r line; do
        echo "$line: includes above its floor (${folder} may include ${*})" >&2
        faults=$((faults + 1))
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$folder" \
        --include='*.h' --include='*.cpp' --include='*.c' |
        grep -vE "#[[:space:]]*include[[:space:]]+\"(${allowed}kvrn_version\.h\"|kvrn\.h\")")
}

floor codec codec
floor lab codec lab
floor scene codec scene
floor app codec scene app
floor cli codec lab cli
floor web codec lab web
floor python/src codec lab python cli

# Python reads picture files with the tool's readers, and reaches into the tool for nothing else.
while IFS= read -r line; do
    echo "$line: python/ includes of cli/ are its picture readers only" >&2
    faults=$((faults + 1))
done < <(grep -rnE '#[[:space:]]*include[[:space:]]+"cli/' python --include='*.h' --include='*.cpp' |
    grep -vE '"cli/(formats/[a-z_]+|image|picture_bands|report)\.h"')

# The tool's own files do not reach into the lab's commands, but for the table that lists them.
while IFS= read -r line; do
    echo "$line: only cli/lab/ and cli/main.cpp include cli/lab/" >&2
    faults=$((faults + 1))
done < <(grep -rnE '#[[:space:]]*include[[:space:]]+"cli/lab/' cli web python lab codec \
    --include='*.h' --include='*.cpp' | grep -vE '^cli/lab/|^cli/main\.cpp:[0-9]+:.*"cli/lab/commands\.h"')

if [ "$faults" -ne 0 ]; then
    echo "$faults includes above their floor" >&2
    exit 1
fi
echo "Every include runs downward"
