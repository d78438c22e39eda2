#!/usr/bin/env bash
# The installed glyphmint, as a user or a Debian system gets it: a release
# build of this source tree installed into a scratch DESTDIR, the programs and
# the consumer example run from there, the manual pages linted and rendered,
# and the .deb built, read back and checked by lintian.
#
# Usage: install_test.sh STEP SOURCE_DIR WORK_DIR VERSION
#   setup     configure, build and install into WORK_DIR/root (the other steps use it)
#   files     the installed file list is exactly the one the install rules promise
#   bake      the installed glyphmint bakes a fonts directory; glyphmint-font --version
#   info      the installed glyphmint-font info reads what was baked
#   consumer  examples/consumer builds both ways and measures a text correctly
#   manpages  mandoc lint is clean and man renders both pages
#   deb       the .deb's control fields, its file list, and lintian
set -euo pipefail

step=$1
src=$2
work=$3
version=$4

build=$work/build
root=$work/root
prefix=/usr/local
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

# The inner builds must not pick up the make that runs the tests.
unset MAKEFLAGS MAKELEVEL MFLAGS

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A missing tool fails the step with its name: never a silent pass.
need() {
  local tool=$1 package=$2
  command -v "$tool" >/dev/null ||
    fail "$tool is not installed; install the Debian package $package (scripts/install-deps does)"
}

# What the install rules promise, relative to the prefix.
promised_files() {
  cat <<'EOF'
bin/glyphmint
bin/glyphmint-font
include/glyphmint/fnt.h
share/cmake/glyphmint/glyphmint-config-version.cmake
share/cmake/glyphmint/glyphmint-config.cmake
share/cmake/glyphmint/glyphmint-targets.cmake
share/doc/glyphmint/README.md
share/doc/glyphmint/examples/DejaVuSans-SDF.glyphmint.ini
share/doc/glyphmint/examples/DejaVuSans.glyphmint.ini
share/man/man1/glyphmint-font.1
share/man/man1/glyphmint.1
share/pkgconfig/glyphmint.pc
EOF
}

installed_files() {
  (cd "$root$prefix" && find . -type f -o -type l) | sed 's|^\./||' | LC_ALL=C sort
}

# Bakes DejaVu Sans at 16 pixels, Basic Latin, with the installed glyphmint.
bake_into() {
  local dir=$1
  cp "$font" "$dir/"
  printf 'path = DejaVuSans.ttf\nsizes = [16]\nranges = [32-126]\nchars = []\n' \
    >"$dir/DejaVuSans.glyphmint.ini"
  "$root$prefix/bin/glyphmint" --dir "$dir" >"$dir/bake.log" ||
    fail "installed glyphmint failed (status $?): $(tail -n 3 "$dir/bake.log")"
}

# The oracle for measure: the box of an ASCII text computed from the .fnt's
# own records with od, not with the reader header.
expected_box() {
  local fnt=$1 text=$2
  local name_length line_height
  name_length=$(od -An -tu8 -N8 "$fnt" | tr -d ' ')
  line_height=$(od -An -td4 -j $((8 + name_length)) -N4 "$fnt" | tr -d ' ')
  {
    od -An -td4 -v -w36 -j $((32 + name_length)) "$fnt" | sed 's/^/record/'
    printf '%s' "$text" | od -An -tu1 -v -w1 | sed 's/^/byte/'
  } | awk -v line_height="$line_height" '
    $1 == "record" { if (!($2 in advance)) advance[$2] = $10; next }
    { code = $2 + 0
      if (code == 10) { lines++; if (pen > width) width = pen; pen = 0; next }
      if (!(code in advance)) { print "code point " code " not baked" > "/dev/stderr"; exit 1 }
      pen += advance[code] }
    END { if (pen > width) width = pen; printf "width: %d\nheight: %d\n", width, (lines + 1) * line_height }'
}

# One scratch directory per step, $tmp, removed when the step ends.
tmp=
trap '[[ -z $tmp ]] || rm -rf "$tmp"' EXIT
scratch() {
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/glyphmint-install-XXXXXX")
}

step_setup() {
  mkdir -p "$work"
  local log=$work/setup.log
  {
    cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
      -DGLYPHMINT_BENCH=OFF -DGLYPHMINT_SANITIZE=OFF &&
      cmake --build "$build" -j 2 &&
      rm -rf "$root" &&
      DESTDIR=$root cmake --install "$build" --prefix "$prefix"
  } >"$log" 2>&1 || fail "building and installing failed; the end of $log:"$'\n'"$(tail -n 20 "$log")"
}

step_files() {
  diff -u <(promised_files) <(installed_files) ||
    fail "installed files differ from the promised list (- promised, + installed)"
  local pc=$root$prefix/share/pkgconfig/glyphmint.pc
  grep -qxF 'prefix=${pcfiledir}/../..' "$pc" || fail "$pc does not find its prefix from its own place"
  grep -qx "Version: $version" "$pc" || fail "$pc does not give version $version"
}

step_bake() {
  scratch
  local fonts=$tmp
  bake_into "$fonts"
  for out in DejaVuSans-16.png DejaVuSans-16.fnt; do
    [[ -s $fonts/$out ]] || fail "installed glyphmint did not write $out"
  done
  grep -q '| Done!$' "$fonts/bake.log" || fail "the bake log does not end with Done!"
  local said
  said=$("$root$prefix/bin/glyphmint-font" --version)
  [[ $said == "glyphmint-font $version" ]] || fail "glyphmint-font --version said '$said'"
}

step_info() {
  scratch
  local fonts=$tmp
  bake_into "$fonts"
  local out status=0
  out=$("$root$prefix/bin/glyphmint-font" info "$fonts/DejaVuSans-16.fnt" 2>&1) || status=$?
  [[ $status -eq 0 ]] || fail "installed glyphmint-font info failed (status $status): $out"
  for line in "image: DejaVuSans-16.png" "size: 16" "glyphs: 95" "code points: 32-126"; do
    grep -qxF "$line" <<<"$out" || fail "info printed no line '$line'; it printed:"$'\n'"$out"
  done
}

# Runs measure and compares its box with the oracle's.
check_measure() {
  local how=$1 exe=$2 fnt=$3 text=$4
  local got want
  got=$("$exe" "$fnt" "$text") || fail "$how: measure failed (status $?)"
  want=$(expected_box "$fnt" "$text")
  [[ $got == "$want" ]] || fail "$how: measure printed '$got', the .fnt records give '$want'"
}

step_consumer() {
  need pkg-config pkg-config
  scratch
  mkdir "$tmp/fonts"
  bake_into "$tmp/fonts"
  local fnt=$tmp/fonts/DejaVuSans-16.fnt
  local text=$'Hello, World!\nglyphmint {AV} ~'

  # The CMake package, found only under DESTDIR.
  cmake -S "$src/examples/consumer" -B "$tmp/cmake" -DCMAKE_PREFIX_PATH="$root$prefix" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$tmp/cmake.log" 2>&1 ||
    fail "cmake could not configure the consumer: $(tail -n 5 "$tmp/cmake.log")"
  grep -qx "glyphmint_DIR:PATH=$root$prefix/share/cmake/glyphmint" "$tmp/cmake/CMakeCache.txt" ||
    fail "find_package found glyphmint outside the install tree: $(grep glyphmint_DIR "$tmp/cmake/CMakeCache.txt")"
  cmake --build "$tmp/cmake" >"$tmp/cmake-build.log" 2>&1 ||
    fail "the consumer does not build with CMake: $(tail -n 5 "$tmp/cmake-build.log")"
  check_measure "CMake package" "$tmp/cmake/measure" "$fnt" "$text"

  # pkg-config, seeing the staged .pc through PKG_CONFIG_PATH alone: the file
  # finds its prefix from its own place, in the staged tree and in a moved copy.
  unset PKG_CONFIG_LIBDIR PKG_CONFIG_SYSROOT_DIR
  cp -r "$src/examples/consumer" "$tmp/pc"
  cp -r "$root$prefix" "$tmp/moved"
  local tree cflags
  for tree in "$root$prefix" "$tmp/moved"; do
    cflags=$(PKG_CONFIG_PATH=$tree/share/pkgconfig pkg-config --cflags glyphmint) ||
      fail "pkg-config does not find $tree/share/pkgconfig/glyphmint.pc"
    read -r cflags <<<"$cflags"
    [[ $cflags == -I* && $(realpath "${cflags#-I}") == "$(realpath "$tree/include")" ]] ||
      fail "pkg-config gives '$cflags' for $tree"
  done
  PKG_CONFIG_PATH=$root$prefix/share/pkgconfig make -C "$tmp/pc" >"$tmp/make.log" 2>&1 ||
    fail "the consumer does not build with its Makefile: $(tail -n 5 "$tmp/make.log")"
  check_measure "pkg-config" "$tmp/pc/measure" "$fnt" "$text"
}

step_manpages() {
  need mandoc mandoc
  need man man-db
  local -A sections=(
    [glyphmint.1]="NAME|SYNOPSIS|DESCRIPTION|OPTIONS|SETTINGS FILE FORMAT|OUTPUT|EXIT STATUS|FILES|DIAGNOSTICS|EXAMPLES"
    [glyphmint-font.1]="NAME|SYNOPSIS|DESCRIPTION|COMMANDS|OPTIONS|EXIT STATUS|FILES|DIAGNOSTICS|EXAMPLES"
  )
  local page file rendered
  for page in "${!sections[@]}"; do
    file=$root$prefix/share/man/man1/$page
    mandoc -T lint -W warning "$file" || fail "mandoc -T lint reports the messages above for $page"
    rendered=$(MANWIDTH=80 man --warnings -l "$file" 2>"$work/man-warnings.txt") ||
      fail "man -l $page failed"
    [[ ! -s $work/man-warnings.txt ]] || fail "man -l $page warns: $(cat "$work/man-warnings.txt")"
    IFS='|' read -ra wanted <<<"${sections[$page]}"
    for section in "${wanted[@]}"; do
      grep -qx "$section" <<<"$rendered" || fail "man -l $page shows no $section section"
    done
  done
}

step_deb() {
  need dpkg-deb dpkg
  need dpkg-shlibdeps dpkg-dev
  need lintian lintian
  local out=$work/deb
  rm -rf "$out"
  cpack --config "$build/CPackConfig.cmake" -B "$out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -n 10 "$work/cpack.log")"
  local debs=("$out"/*.deb)
  [[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single .deb in $out"
  local deb=${debs[0]}
  local arch
  arch=$(dpkg --print-architecture)
  [[ $(basename "$deb") == "glyphmint_${version}_$arch.deb" ]] || fail "unexpected name $deb"

  local -A fields=([Package]=glyphmint [Version]=$version [Architecture]=$arch
                   [Section]=graphics [Priority]=optional)
  local field got
  for field in "${!fields[@]}"; do
    got=$(dpkg-deb -f "$deb" "$field")
    [[ $got == "${fields[$field]}" ]] || fail "control field $field is '$got', not '${fields[$field]}'"
  done
  dpkg-deb -f "$deb" Maintainer | grep -qE '^[^<]+ <[^@>]+@[^>]+>$' ||
    fail "Maintainer is '$(dpkg-deb -f "$deb" Maintainer)'"
  dpkg-deb -f "$deb" Depends | grep -qE '(^|, )libfreetype6( |,|$)' ||
    fail "Depends does not name FreeType's library: '$(dpkg-deb -f "$deb" Depends)'"
  [[ $(dpkg-deb -f "$deb" Description | wc -l) -ge 3 ]] ||
    fail "no long description: '$(dpkg-deb -f "$deb" Description)'"

  # The install rules' files under /usr, with Debian's compressed pages, its
  # copyright file and its changelog.
  diff -u <({ promised_files | sed -e 's|^|usr/|' -e 's|\.1$|.1.gz|'
              printf 'usr/share/doc/glyphmint/%s\n' copyright changelog.gz; } | LC_ALL=C sort) \
    <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort) ||
    fail "the .deb's files differ from the install rules' (- expected, + in the .deb)"

  local report status=0
  report=$(lintian --fail-on error "$deb" 2>&1) || status=$?
  echo "lintian $(lintian --version | awk '{print $2}') on $(basename "$deb"), status $status:"
  grep -v 'running with root privileges' <<<"$report" || true
  [[ $status -eq 0 ]] || fail "lintian reports errors"
}

case $step in
  setup | files | bake | info | consumer | manpages | deb) "step_$step" ;;
  *) fail "unknown step '$step'" ;;
esac
