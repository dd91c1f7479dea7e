#!/bin/sh
# Runs every block of the documentation fenced as ```kel as a script test,
# with its "// expect:" comments, so that the examples cannot drift from the
# program.
#   run_doc_examples.sh [EMULATOR...] RUNNER [RUNNER OPTIONS...]
# (the runner's options name the program; a cross build's runner starts
# through its emulator)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for doc in "$root"/docs/*.md; do
  awk -v out="$out" -v base="$(basename "$doc" .md)" '
    /^```kel[ \t]*$/ { n++; file = sprintf("%s/%s-%02d.kel", out, base, n); inblock = 1; next }
    /^```/ && inblock { inblock = 0; close(file); next }
    inblock { print > file }
  ' "$doc"
done
count=$(ls "$out" | wc -l)
if [ "$count" -eq 0 ]; then
  echo "no examples found in $root/docs"
  exit 1
fi
"$@" "$out"
