#!/usr/bin/env bash
# What a user gets from `cmake --install` and from the Debian packages (release configuration
# only):
#  - every installed header compiles alone against include/tern;
#  - a consumer project finds the install with find_package(Tern), loads the installed plug-in
#    through the host library and replays one entry, and the plug-in reports utilsim's version;
#  - the install, moved to another prefix, runs utilsim on an installed example without
#    --plugin;
#  - cpack builds the two packages into build/release/packages: between them they hold every
#    installed file, each once, in the package it belongs to; each depends on the packages of
#    what it links or includes; the runtime package, unpacked, runs utilsim; the man page
#    renders without warnings (where man is installed).
# TERN_SYSTEM_INSTALL=1 also installs both packages into the system with apt-get, checks
# utilsim, the man page and the consumer there, and removes them again.
set -euo pipefail
: "${TERN_SOURCE_DIR:?}" "${TERN_BINARY_DIR:?}" "${UTILSIM:?}"
if [[ "${TERN_CONFIG:-release}" != release ]]; then
  echo "install: runs in the release configuration only"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "install: $*" >&2
  exit 1
}
version=$("$UTILSIM" --version | awk 'NR == 1 { print $2 }')
example=share/tern/examples/basic
# What the build replays the example to, which the installed utilsim must replay it to too (the
# stored document is example_expect.sh's to check: it is regenerated when a table is added).
"$UTILSIM" replay --json "$TERN_SOURCE_DIR/examples/basic.jsonl" > "$work/built.json"

cmake --install "$TERN_BINARY_DIR" --prefix "$work/prefix" > "$work/install.log"
find "$work/prefix" ! -type d -printf '%P\n' | sort > "$work/installed"

# Every header alone, with the warnings our code is held to.
compile_alone() {
  printf '#include "%s"\n' "$2" |
    c++ -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$1" -x c++ - ||
    echo "install: $2 does not compile alone" >&2
}
export -f compile_alone
headers=$(cd "$work/prefix/include/tern" && find . -name '*.h' -printf '%P\n' | sort)
[[ -n $headers ]] || fail "no header installed under include/tern"
# They compile while the rest runs, from a copy: the prefix moves below.
cp -r "$work/prefix/include/tern" "$work/include"
xargs -P "$(nproc)" -n 1 bash -c 'compile_alone "$0" "$1"' "$work/include" <<< "$headers" \
  > "$work/headers.log" 2>&1 &
headers_job=$!

# Builds the installed consumer example against the Tern that find_package finds first in
# PREFIX (a system prefix: /usr) and runs it: it must load the plug-in of that prefix.
consumer() {
  local prefix=$1 build=$work/consumer-${1//\//_} out
  cmake -S "$prefix/share/tern/examples/consumer" -B "$build" -DCMAKE_PREFIX_PATH="$prefix" \
    > "$build.log" 2>&1 && cmake --build "$build" >> "$build.log" 2>&1 ||
    fail "the consumer example does not build against $prefix: $(cat "$build.log")"
  grep -q "^Tern_DIR:PATH=$prefix/" "$build/CMakeCache.txt" ||
    fail "find_package(Tern) did not find the install in $prefix"
  out=$("$build/replay_one") || fail "the consumer against $prefix failed: $out"
  [[ $out == "plug-in $version: "* ]] || fail "the consumer printed '$out' (utilsim is $version)"
}
consumer "$work/prefix"

# A moved install finds its own plug-in; the old prefix is gone.
mv "$work/prefix" "$work/moved"
"$work/moved/bin/utilsim" replay --expect "$work/built.json" "$work/moved/$example.jsonl" \
  > /dev/null || fail "the moved install does not replay as the build does"
"$work/moved/bin/utilsim" --version | grep -q "^plug-in: $work/moved/" ||
  fail "the moved utilsim loads no plug-in of its own prefix"

# --- The Debian packages --------------------------------------------------------------------
packages=$TERN_BINARY_DIR/packages
rm -rf "$packages"
cpack -G DEB -B "$packages" --config "$TERN_BINARY_DIR/CPackConfig.cmake" > "$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
runtime=$(echo "$packages"/tern_"$version"_*.deb) dev=$(echo "$packages"/tern-dev_"$version"_*.deb)
[[ -f $runtime && -f $dev ]] || fail "no packages tern and tern-dev $version in $packages"

files_of() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' | sort; }
files_of "$runtime" > "$work/runtime.files"
files_of "$dev" > "$work/dev.files"
diff <(sort "$work/runtime.files" "$work/dev.files") "$work/installed" ||
  fail "the packages do not hold the installed files each once (< packaged, > installed only)"
for pattern in bin/utilsim 'lib/.*/libTernHost\.so\.[0-9]+$' 'lib/.*/tern/libJericho3aiUtils\.so$' \
  share/man/man1/utilsim.1 share/bash-completion/completions/utilsim "$example.jsonl"; do
  grep -qE "^$pattern" "$work/runtime.files" || fail "tern holds no $pattern"
done
for pattern in include/tern/host/Host.h include/tern/TernAsicUtils/UtilFile.h \
  'lib/.*/libTernHost\.so$' 'lib/.*/cmake/Tern/TernConfig\.cmake$'; do
  grep -qE "^$pattern" "$work/dev.files" || fail "tern-dev holds no $pattern"
done

# Declared dependencies: the owners of what the files load or include.
depends() { dpkg-deb -f "$1" Depends | tr ',' '\n' | awk 'NF { print $1 }' | sort -u; }
owner() { dpkg -S "$1" 2> /dev/null | awk -F: 'NR == 1 { print $1 }' || true; }
root=$work/root
dpkg-deb -x "$runtime" "$root"
while read -r lib; do
  pkg=$(owner "$lib")
  [[ -n $pkg ]] || pkg=$(owner "/usr$lib")
  depends "$runtime" | grep -qx -- "$pkg" || fail "tern loads $lib of $pkg but does not depend on it"
done < <(find "$root" -type f \( -name '*.so*' -o -perm -u+x \) -exec ldd {} + 2> /dev/null |
  awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | grep -v "^$root/" | sort -u)
dpkg-deb -f "$dev" Depends | grep -qF "tern (= $version)" ||
  fail "tern-dev does not depend on tern of its own version"
# Headers outside the C and C++ toolchain's own that the installed headers include.
while read -r header; do
  [[ -f /usr/include/$header ]] || continue
  pkg=$(owner "/usr/include/$header")
  [[ $pkg == libc6-dev || $pkg == linux-libc-dev || $pkg == libstdc++* ]] && continue
  depends "$dev" | grep -qx -- "$pkg" || fail "tern-dev's headers include <$header> of $pkg"
done < <(grep -rhoE '^#include <[^>]+>' "$work/include" | sed 's/.*<\(.*\)>/\1/' | sort -u)

# The unpacked runtime package runs: utilsim finds the plug-in and the host library in it.
"$root/usr/bin/utilsim" replay --expect "$work/built.json" \
  "$root/usr/$example.jsonl" > /dev/null || fail "the unpacked utilsim does not replay as the build does"
"$root/usr/bin/utilsim" --version | grep -q "^plug-in: $root/" ||
  fail "the unpacked utilsim loads no plug-in of the package"
if command -v man > /dev/null; then
  warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/utilsim.1" 2>&1 > "$work/man")
  [[ -z $warnings ]] || fail "the man page renders with warnings: $warnings"
  grep -q "Tern $version" "$work/man" || fail "the rendered man page does not carry version $version"
else
  echo "install: man is not installed: the man page is not rendered"
fi

wait "$headers_job" || true  # the log says which failed
if grep -q 'does not compile alone' "$work/headers.log"; then
  cat "$work/headers.log" >&2
  fail "installed headers do not compile alone (above)"
fi

# --- Opt-in: the packages installed into this system ----------------------------------------
if [[ ${TERN_SYSTEM_INSTALL:-} == 1 ]]; then
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$runtime" "$dev"
  trap '"${sudo[@]}" apt-get purge -y -q tern tern-dev; rm -rf "$work"' EXIT
  /usr/bin/utilsim replay --expect "$work/built.json" "/usr/$example.jsonl" > /dev/null ||
    fail "the installed utilsim does not replay as the build does"
  [[ $(man -w utilsim) == /usr/share/man/man1/utilsim.1* ]] || fail "man does not find utilsim(1)"
  consumer /usr
  echo "install: installed into the system and checked; removing the packages"
fi
echo "install: headers, consumer, moved prefix and the packages $(basename "$runtime") $(basename "$dev") checked"
