#!/usr/bin/env bash
# Checks that no floor of the source tree reaches up: a floor's sources include headers of their
# own and lower floors only, and a floor's libraries call nothing that only a higher floor's
# library defines. Names each include and each symbol that reaches up.
#   rooms.sh SOURCE_DIR FLOOR=LIBRARY,LIBRARY... ...   (floors lowest first)
set -uo pipefail
src=$1
shift
floors=()
declare -A rank libraries
for arg in "$@"; do
  floor=${arg%%=*}
  rank[$floor]=${#floors[@]}
  libraries[$floor]=${arg#*=}
  floors+=("$floor")
done
status=0

declare -A home
for floor in "${floors[@]}"; do
  for header in "$src/$floor"/*.h; do
    [ -e "$header" ] && home[$(basename "$header")]=$floor
  done
done

for floor in "${floors[@]}"; do
  for file in "$src/$floor"/*.cpp "$src/$floor"/*.h; do
    [ -e "$file" ] || continue
    while read -r header; do
      target=${home[$header]:-}
      if [ -n "$target" ] && (( rank[$target] > rank[$floor] )); then
        echo "${file#"$src"/} includes $header from $target, which stands above $floor"
        status=1
      fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  done
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
