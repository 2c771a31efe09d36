#!/usr/bin/env bash
# The library as a program outside this tree uses it: installs a build into
# a fresh prefix, checks that only the public header is there to include,
# and builds examples/api/worked.cpp against the prefix twice, through
# find_package(kalmir) and through pkg-config; both must print the worked
# example's figures (examples/api/expected.txt).
# Usage: install_example.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build_dir="$1"
source_dir="$2"
example="$source_dir/examples/api"
cxx="${CXX:-c++}"
failures=0
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

check() {  # check NAME CONDITION...
  local name="$1"
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

prefix="$tmp/prefix"
cmake --install "$build_dir" --prefix "$prefix" > /dev/null
check "install: the one public header" \
  test "$(cd "$prefix/include" && find . -type f)" = "./kalmir/kalmir.h"
pc="$(find "$prefix" -name kalmir.pc)"
check "install: kalmir.pc" test -n "$pc"
check "install: libkalmir.a" test -n "$(find "$prefix" -name libkalmir.a)"
check "install: the CMake package" \
  test -n "$(find "$prefix" -name kalmirConfig.cmake)"
# A moved prefix still works: both package files find it from where they
# are.
mv "$prefix" "$tmp/moved"
prefix="$tmp/moved"
pc_dir="$(dirname "${pc/$tmp\/prefix/$prefix}")"

# find_package
cmake -S "$example" -B "$tmp/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" > "$tmp/log" 2>&1 &&
  cmake --build "$tmp/cmake-build" >> "$tmp/log" 2>&1
check "find_package: the example builds" test -x "$tmp/cmake-build/worked" ||
  cat "$tmp/log"
"$tmp/cmake-build/worked" > "$tmp/cmake.out" 2>&1
check "find_package: the worked example's figures" \
  diff -u "$example/expected.txt" "$tmp/cmake.out"

# pkg-config
export PKG_CONFIG_PATH="$pc_dir"
# shellcheck disable=SC2046
"$cxx" -std=c++17 "$example/worked.cpp" $(pkg-config --cflags --libs kalmir) \
  -o "$tmp/worked-pc" > "$tmp/log" 2>&1
check "pkg-config: the example builds" test -x "$tmp/worked-pc" ||
  cat "$tmp/log"
"$tmp/worked-pc" > "$tmp/pc.out" 2>&1
check "pkg-config: the worked example's figures" \
  diff -u "$example/expected.txt" "$tmp/pc.out"
check "pkg-config: the version the library reports" \
  test "$(pkg-config --modversion kalmir)" = \
  "$(sed -n '1s/.*kalmir //p' "$tmp/pc.out")"

# No internal header can be reached from the public one's directory.
for internal in scsim.h notes.h casefile.h measurement.h; do
  echo "#include \"$internal\"" > "$tmp/internal.cpp"
  # shellcheck disable=SC2046
  if "$cxx" -std=c++17 -fsyntax-only $(pkg-config --cflags kalmir) \
      "$tmp/internal.cpp" 2> /dev/null; then
    check "$internal is not reachable" false
  else
    check "$internal is not reachable" true
  fi
done

echo "$failures failed"
[ "$failures" -eq 0 ]
