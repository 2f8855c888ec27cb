#!/usr/bin/env bash
# Checks that no floor of the source tree reaches up: a floor's sources include headers of their
# own and lower floors only, and a floor's libraries call nothing that only a higher floor's
# library defines. Prints the floors each floor uses, and names each include and each symbol that
# reaches up. Without libraries, only the includes are checked.
#   rooms.sh SOURCE_DIR FLOOR[=LIBRARY,LIBRARY...] ...   (floors lowest first)
set -uo pipefail
src=$1
shift
floors=()
declare -A rank libraries
for arg in "$@"; do
  floor=${arg%%=*}
  rank[$floor]=${#floors[@]}
  libraries[$floor]=""
  [[ $arg == *=* ]] && libraries[$floor]=${arg#*=}
  floors+=("$floor")
done
status=0

declare -A home
for floor in "${floors[@]}"; do
  for header in "$src/$floor"/*.h; do
    [ -e "$header" ] && home[$(basename "$header")]=$floor
  done
done

# Each floor's includes, drawn as the floors it uses (highest first).
for floor in "${floors[@]}"; do
  declare -A uses=()
  for file in "$src/$floor"/*.cpp "$src/$floor"/*.h; do
    [ -e "$file" ] || continue
    while read -r header; do
      target=${home[$header]:-}
      [ -n "$target" ] && [ "$target" != "$floor" ] || continue
      uses[$target]=1
      if (( rank[$target] > rank[$floor] )); then
        echo "${file#"$src"/} includes $header from $target, which stands above $floor"
        status=1
      fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  done
  used=""
  for (( i = ${#floors[@]} - 1; i >= 0; i-- )); do
    [ -n "${uses[${floors[$i]}]:-}" ] && used+=" ${floors[$i]}"
  done
  printf '%-16s ->%s\n' "$floor" "${used:- (nothing)}"
  unset uses
done

# Weak symbols (template instances, inline functions) are defined wherever they are used; only
# what a library alone defines counts.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for floor in "${floors[@]}"; do
  [ -n "${libraries[$floor]}" ] || continue
  nm -C -u ${libraries[$floor]//,/ } | sed 's/^ *U //' | sort -u > "$work/${rank[$floor]}.needed"
  nm -C --defined-only ${libraries[$floor]//,/ } |
    awk '$2 ~ /^[TDBR]$/ { $1 = ""; $2 = ""; print substr($0, 3) }' | sort -u > "$work/${rank[$floor]}.defined"
done
for low in "${floors[@]}"; do
  [ -e "$work/${rank[$low]}.needed" ] || continue
  for high in "${floors[@]}"; do
    (( rank[$high] > rank[$low] )) && [ -e "$work/${rank[$high]}.defined" ] || continue
    up=$(comm -12 "$work/${rank[$low]}.needed" "$work/${rank[$high]}.defined")
    if [ -n "$up" ]; then
      echo "$low calls into $high:"
      echo "$up" | sed 's/^/  /'
      status=1
    fi
  done
done

[ $status = 0 ] && echo "no include and no call reaches a higher floor (${#floors[@]} floors)"
exit $status
