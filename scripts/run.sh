#!/usr/bin/env bash
# Starts the program. Until the window exists, converts the bundled example
# song with the command-line tool and shows what it holds.
set -euo pipefail
build=${1:-build}
if [ -x "$build/src/app/vakomidi" ]; then
    exec "$build/src/app/vakomidi" "${@:2}"
fi
out=$(mktemp -d)/example-copy.txt
echo "The window is not built yet: converting examples/example.txt with the command-line tool."
"$build/src/cli/vako" convert examples/example.txt "$out"
"$build/src/cli/vako" info "$out"
echo "Written: $out"
