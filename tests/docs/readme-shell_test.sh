#!/usr/bin/env bash
# The README's shell blocks run in order in a scratch directory, as a new
# user pastes them after `make` and `make example`: the built programs stand
# in build/release/ (and on PATH, for the blocks that call them by name) and
# scripts/example has baked build/example/. Blocks that build or install the
# tree (make, sudo, cmake) are left out: the test build did that. A block of
# `$ ` lines is a transcript: its commands run, and what they print must be
# the lines shown.
#
# Usage: readme-shell_test.sh SOURCE_DIR BIN_DIR
set -euo pipefail

src=$1
bin=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/glyphmint-readme-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/release" "$work/blocks"
ln -s "$bin/glyphmint" "$bin/glyphmint-font" "$work/build/release/"
GLYPHMINT_BIN=$work/build/release GLYPHMINT_EXAMPLE_DIR=$work/build/example \
  "$src/scripts/example" >"$work/example.log" 2>&1 ||
  { cat "$work/example.log"; exit 1; }
export PATH=$work/build/release:$PATH

# Each ```sh block into blocks/NNNN, named by its first line in the README.
awk -v out="$work/blocks" '
  /^```sh$/ { file = sprintf("%s/%04d", out, NR + 1); next }
  /^```/ { file = ""; next }
  file != "" { print > file }' "$src/README.md"

ran=0
for block in "$work"/blocks/*; do
  where="README.md:$((10#${block##*/}))"
  if grep -Eq '^(make|sudo|cmake) ' "$block"; then continue; fi
  cd "$work"
  if grep -q '^\$ ' "$block"; then
    sed -n 's/^\$ //p' "$block" >"$block.run"
    grep -v '^\$ ' "$block" >"$block.want" || true
    bash -eu "$block.run" >"$block.got" 2>&1 || { echo "$where: failed"; cat "$block.got"; exit 1; }
    diff -u "$block.want" "$block.got" || { echo "$where: prints other lines than it shows"; exit 1; }
  else
    bash -eu "$block" >"$block.got" 2>&1 || { echo "$where: failed:"; cat "$block.got"; exit 1; }
  fi
  ran=$((ran + 1))
done
[[ $ran -ge 7 ]] || { echo "only $ran shell blocks ran: the README's blocks were not found"; exit 1; }
echo "$ran shell blocks of the README ran"
