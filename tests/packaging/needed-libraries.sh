#!/usr/bin/env bash
# Checks that every shared library an executable names (readelf's NEEDED entries, resolved with
# ldd and owned per dpkg -S) comes from a package a reader who installed WebKitGTK already has:
# the recursive Depends closure of libwebkit2gtk-4.1-0 among the installed packages, plus the
# C and C++ runtimes (libc6, libstdc++6, libgcc-s1).
#
#   needed-libraries.sh EXECUTABLE
#       exit 0 when every library passes; 1 with one line per offending library and its package.
#   needed-libraries.sh EXECUTABLE --expect-outside "PKG PKG ..."
#       exit 0 when the packages outside the closure are exactly the ones given (a known state
#       the check is held to until it can pass outright); 1 otherwise, saying what differs.
set -euo pipefail

exe=${1:?usage: needed-libraries.sh EXECUTABLE [--expect-outside "PKG ..."]}
expect_mode=0
expected=""
if [ "${2:-}" = --expect-outside ]; then
  expect_mode=1
  expected=$(tr ' ' '\n' <<<"${3:-}" | sed '/^$/d' | sort -u)
fi
[ -x "$exe" ] || { echo "needed-libraries: \"$exe\" is not an executable" >&2; exit 1; }

root_package=libwebkit2gtk-4.1-0
if ! dpkg-query -W -f='${Status}' "$root_package" 2>/dev/null | grep -q 'install ok installed'; then
  echo "needed-libraries: $root_package is not installed: its Depends closure cannot be computed" >&2
  exit 1
fi

# Top-level lines of apt-cache's recursive listing are the packages of the closure; virtual ones
# come as <name>.
closure=$( {
  apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "$root_package" | grep -v '^ ' | tr -d '<>'
  printf '%s\n' libc6 libstdc++6 libgcc-s1
} | sed 's/:.*//' | sort -u)

ldd_output=$(ldd "$exe")
libs=$(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')

# The spellings under which dpkg may know a library: with a merged /usr, the /lib or the /usr/lib
# path its package ships, the link or its target.
spellings() {
  local path=$1 real
  real=$(readlink -f "$path")
  printf '%s\n' "$path" "$real" "${path#/usr}" "/usr${path#/usr}" "${real#/usr}" "/usr${real#/usr}"
}
declare -A path_of
all_spellings=()
while read -r lib; do
  path=$(awk -v lib="$lib" '$1 == lib && $2 == "=>" && $3 ~ /^\// { print $3 }' <<<"$ldd_output" | head -1)
  path_of[$lib]=$path
  [ -n "$path" ] && mapfile -t -O "${#all_spellings[@]}" all_spellings < <(spellings "$path")
done <<<"$libs"
# One dpkg -S for all of them: it reads its whole database on every call.
declare -A owner_of
while IFS= read -r line; do
  owner_of[${line#*: }]=$(sed 's/[:,].*//' <<<"${line%%: *}")
done < <(dpkg -S "${all_spellings[@]}" 2>/dev/null | grep -v '^diversion ' || true)

offenders=()
outside=()
while read -r lib; do
  path=${path_of[$lib]}
  if [ -z "$path" ]; then
    offenders+=("$lib (not found by the loader)")
    outside+=("?$lib")
    continue
  fi
  package=""
  while read -r spelling; do
    if [ -n "${owner_of[$spelling]:-}" ]; then package=${owner_of[$spelling]}; break; fi
  done < <(spellings "$path")
  if [ -z "$package" ]; then
    offenders+=("$lib ($path belongs to no package)")
    outside+=("?$lib")
    continue
  fi
  if ! grep -qxF "$package" <<<"$closure"; then
    offenders+=("$lib (package $package)")
    outside+=("$package")
  fi
done <<<"$libs"

found=$(printf '%s\n' "${outside[@]+"${outside[@]}"}" | sed '/^$/d' | sort -u)

if [ "$expect_mode" = 1 ]; then
  if [ "$found" = "$expected" ]; then
    echo "needed-libraries: outside $root_package's closure, as expected: $(tr '\n' ' ' <<<"$found")"
    exit 0
  fi
  echo "needed-libraries: the packages outside $root_package's closure are not the expected ones" >&2
  echo "  expected: $(tr '\n' ' ' <<<"$expected")" >&2
  echo "  found:    $(tr '\n' ' ' <<<"$found")" >&2
  for o in "${offenders[@]+"${offenders[@]}"}"; do echo "  $o" >&2; done
  exit 1
fi

if [ ${#offenders[@]} -gt 0 ]; then
  echo "needed-libraries: $exe needs libraries that a reader with only $root_package does not have:" >&2
  for o in "${offenders[@]}"; do echo "  $o" >&2; done
  exit 1
fi
echo "needed-libraries: every library of $exe comes with $root_package or the C/C++ runtime"
