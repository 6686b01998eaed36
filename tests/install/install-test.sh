#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs the installed tool on the
# installed example song, as a user who installed vakomidi would.
set -euo pipefail
build=$1
with_window=$2
with_synth=${3:-OFF}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
"$prefix/bin/vako" info "$prefix/share/doc/vakomidi/examples/example.txt" | grep -q '"notes":40'
"$prefix/bin/vako" convert "$prefix/share/doc/vakomidi/examples/example.txt" "$prefix/song.mid"
test -s "$prefix/song.mid"
# play and render come from the installed sound module.
if [ "$with_synth" = ON ]; then
    "$prefix/bin/vako" render "$prefix/share/doc/vakomidi/examples/example.txt" "$prefix/song.wav" 2> /dev/null
    test -s "$prefix/song.wav"
fi
if [ "$with_window" = ON ]; then
    test -x "$prefix/bin/vakomidi"
    grep -q '^Exec=vakomidi %f$' "$prefix/share/applications/vakomidi.desktop"
    test -s "$prefix/share/icons/hicolor/scalable/apps/vakomidi.svg"
    grep -q 'glob pattern="\*.mid"' "$prefix/share/mime/packages/vakomidi.xml"
fi
echo "installed and ran from $prefix"
