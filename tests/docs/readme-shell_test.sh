#!/usr/bin/env bash
# The README's ```sh blocks run in order in a scratch directory, as a new user
# pastes them after `make` and `make example`: the built programs stand in
# build/release/ (and on PATH) and scripts/example has baked build/example/.
# Blocks that build or install (make, sudo, cmake) are left out: the test
# build did that. A block of `$ ` lines is a transcript whose commands must
# print the lines shown. Usage: readme-shell_test.sh SOURCE_DIR BIN_DIR
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/glyphmint-readme-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/release" "$work/blocks"
ln -s "$2/glyphmint" "$2/glyphmint-font" "$work/build/release/"
GLYPHMINT_BIN=$work/build/release GLYPHMINT_EXAMPLE_DIR=$work/build/example \
  "$1/scripts/example" >"$work/example.log" 2>&1 || { cat "$work/example.log"; exit 1; }
export PATH=$work/build/release:$PATH
# Each block into blocks/NNNN, NNNN its first line in the README.
awk -v out="$work/blocks" '/^```sh$/ { f = sprintf("%s/%04d", out, NR + 1); next }
  /^```/ { f = ""; next }  f != "" { print > f }' "$1/README.md"
ran=0
for b in "$work"/blocks/*; do
  grep -Eq '^(make|sudo|cmake) ' "$b" && continue
  cd "$work"
  if grep -q '^\$ ' "$b"; then
    sed -n 's/^\$ //p' "$b" | bash -eu >"$b.got" 2>&1 && grep -v '^\$ ' "$b" | diff -u - "$b.got"
  else
    bash -eu "$b" >"$b.got" 2>&1
  fi || { echo "README.md:$((10#${b##*/})) fails:"; cat "$b.got"; exit 1; }
  ran=$((ran + 1))
done
[[ $ran -ge 7 ]] || { echo "only $ran of the README's shell blocks ran"; exit 1; }
