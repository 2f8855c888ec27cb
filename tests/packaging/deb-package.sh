#!/usr/bin/env bash
# The Debian package of a book (tomevane-pack --deb): the sample book's package, read back with
# dpkg-deb (control fields, file list, desktop entry, icons, copyright); a book without a logo gets
# the drawn icon; a book with problems and an unusable file name are refused with no file left.
#   deb-package.sh PACKER VIEWER BOOKDIR
set -euo pipefail
packer=$1 viewer=$2 book=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect() { # expect WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: \"$2\", expected \"$3\""
}
field() { dpkg-deb -f "$1" "$2"; }
alpha_at() { convert "$1" -alpha extract -format "%[fx:p{$2,$3}]" info:; }

# The name comes from the file's base name up to its first "_": lower case, foreign characters "-".
deb=$work/"My Sample.Book+1_2.1-1_any.deb"
"$packer" "$book" --deb -o "$deb" --deb-version 2.1-1 --viewer "$viewer"
name=my-sample.book+1
expect Package "$(field "$deb" Package)" "$name"
expect Version "$(field "$deb" Version)" 2.1-1
expect Architecture "$(field "$deb" Architecture)" "$(dpkg --print-architecture)"
expect Section "$(field "$deb" Section)" doc
expect Priority "$(field "$deb" Priority)" optional
# The title as the reader sees it: the variable in ApplicationTitle substituted.
expect "Description's first line" "$(field "$deb" Description | head -1)" "Writing a Tomevane Book"
depends=$(field "$deb" Depends)
for runtime in libwebkit2gtk-4.1-0 libc6; do
  grep -qE "(^|, )$runtime( |,|$)" <<<"$depends" || fail "Depends lacks $runtime: $depends"
done
[ -n "$(field "$deb" Maintainer)" ] || fail "no Maintainer"

listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ { print $NF }' <<<"$listing" | sort)
expected_files=$(printf '%s\n' ./usr/bin/$name ./usr/share/applications/$name.desktop \
  ./usr/share/doc/$name/copyright ./usr/share/icons/hicolor/128x128/apps/$name.png \
  ./usr/share/icons/hicolor/48x48/apps/$name.png | sort)
expect "file list" "$files" "$expected_files"
grep -q "^-rwxr-xr-x root/root .* ./usr/bin/$name$" <<<"$listing" || fail "the program is not root's with mode 755"

dpkg-deb -x "$deb" "$work/tree"
tree=$work/tree
size_kib=$(du -k --apparent-size -s "$tree/usr/bin/$name" | cut -f1)
[ "$(field "$deb" Installed-Size)" -ge "$size_kib" ] || fail "Installed-Size $(field "$deb" Installed-Size) below the program's $size_kib KiB"
grep -q '^\[FILES_MFS\]' <<<"$("$packer" --list "$tree/usr/bin/$name")" || fail "the installed program carries no book"

entry=$tree/usr/share/applications/$name.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate refuses the entry"
for line in "Name=Writing a Tomevane Book" "Exec=$name" "Icon=$name" "Type=Application" \
  "Categories=Education;Documentation;"; do
  grep -qxF "$line" "$entry" || fail "the desktop entry lacks \"$line\""
done

head -1 "$tree/usr/share/doc/$name/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
  fail "the copyright file is not in the machine-readable format"
grep -q "Writing a Tomevane Book" "$tree/usr/share/doc/$name/copyright" || fail "the copyright file does not name the book"

for size in 48 128; do
  icon=$tree/usr/share/icons/hicolor/${size}x${size}/apps/$name.png
  expect "$size icon" "$(identify -format '%m %wx%h' "$icon")" "PNG ${size}x${size}"
done
# The sample's logo (96 x 36) fills the width, centred: the corners lie on the transparent canvas,
# its bottom-left pixel had the bitmap's transparent colour and its lettering is opaque.
icon=$tree/usr/share/icons/hicolor/128x128/apps/$name.png
expect "canvas corner" "$(alpha_at "$icon" 0 0)" 0
expect "logo's own transparent colour" "$(alpha_at "$icon" 1 86)" 0
expect "logo's opaque part" "$(convert "$icon" -alpha extract -format '%[fx:maxima]' info:)" 1

# Without a logo: the drawn book (the blue of its cover in the middle).
cp -r "$book" "$work/nologo"
rm "$work/nologo/system/Logo.bmp"
"$packer" "$work/nologo" --deb -o "$work/nologo_1.0_any.deb" --viewer "$viewer"
dpkg-deb -x "$work/nologo_1.0_any.deb" "$work/nologo-tree"
expect "Version by default" "$(field "$work/nologo_1.0_any.deb" Version)" 1.0
for size in 48 128; do
  icon=$work/nologo-tree/usr/share/icons/hicolor/${size}x${size}/apps/nologo.png
  [ -f "$icon" ] || { fail "no $size icon without a logo"; continue; }
  expect "drawn $size icon" "$(identify -format '%wx%h' "$icon")" "${size}x${size}"
  expect "drawn $size icon's cover" "$(convert "$icon" -format "%[hex:p{$((size / 2)),$((size / 2))}]" info:)" 2E5A88FF
done

# Refusals: a book with problems (as a plain pack refuses it) and a file name that makes no
# package name; nothing is left in the output's folder either way.
mkdir "$work/refused"
cp -r "$book" "$work/broken"
rm "$work/broken/pages/welcome.htm"
if "$packer" "$work/broken" --deb -o "$work/refused/broken_1.0_any.deb" --viewer "$viewer" 2>"$work/err"; then
  fail "a book with problems was packed"
fi
grep -q "not packed" "$work/err" || fail "the refusal does not say why: $(cat "$work/err")"
if "$packer" "$book" --deb -o "$work/refused/_1.0_any.deb" --viewer "$viewer" 2>"$work/err"; then
  fail "a file name without a package name was accepted"
fi
grep -q "Cannot name the package" "$work/err" || fail "the bad name's message: $(cat "$work/err")"
[ -z "$(ls -A "$work/refused")" ] || fail "refused packages left files: $(ls -A "$work/refused")"

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "deb-package: all checks passed"
