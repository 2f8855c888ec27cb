#!/usr/bin/env bash
# Runs the sample book on a reader's machine: a minimal Debian 12 (debootstrap, variant minbase)
# that has nothing but what a reader installs, entered with chroot.
#   1. The single file: the machine holds only libwebkit2gtk-4.1-0, xvfb and xauth; the packed
#      book is copied in and run under a virtual X server.
#   2. The Debian package: a fresh copy of the machine without WebKit (xvfb and xauth only) gets
#      the book's .deb through `apt-get install ./FILE.deb`, which must pull in the runtime; the
#      desktop entry's Exec command is run the same way.
# Each run passes when the debug log reports the first page's DocumentComplete; the book is then
# closed. Must run as root (chroot, mounts).
#
# The machines are made once and kept under BUILD_DIR/reader-machine (BUILD_DIR defaults to build);
# remove that folder to make them anew. Downloaded packages are kept there too.
#
# Exit codes: 0 both runs passed, 1 a run failed, 77 skipped (the Debian mirror cannot be reached,
# or the script does not run as root).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
mirror=${MIRROR:-http://deb.debian.org/debian}
suite=bookworm
first_page_seconds=${FIRST_PAGE_SECONDS:-120}
skipped=77
root=$build/reader-machine
mkdir -p "$root"
root=$(cd "$root" && pwd)

say() { echo "reader-machine: $*"; }

if [ "$(id -u)" -ne 0 ]; then
  say "needs root (chroot and mounts): skipped"
  exit "$skipped"
fi
if ! command -v debootstrap >/dev/null; then
  say "debootstrap is missing (scripts/install-deps.sh installs it)"
  exit 1
fi

# Every tree whose mounts are up, unmounted (deepest first) when the script ends however it ends.
mounted_trees=()
scratch=""
unmount_tree() {
  local dir=$1 pid
  # What still runs inside the tree (a book that outlived its kill, a stray helper) is ended by id.
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    if [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$dir" ]; then kill -9 "$pid" 2>/dev/null || true; fi
  done
  { findmnt -rn -o TARGET | grep -F "$dir/" || true; } | sort -r | while read -r target; do
    umount "$target" 2>/dev/null || umount -l "$target"
  done
}
cleanup() {
  local dir
  for dir in "${mounted_trees[@]+"${mounted_trees[@]}"}"; do unmount_tree "$dir"; done
  if [ -n "$scratch" ] && ! findmnt -rn -o TARGET | grep -qF "$scratch/"; then rm -rf "$scratch"; fi
}
trap cleanup EXIT

mount_tree() {
  local dir=$1
  mounted_trees+=("$dir")
  mount -t proc proc "$dir/proc"
  mount --bind /dev "$dir/dev"
  mount -t tmpfs shm "$dir/dev/shm"
  mount -t tmpfs tmp "$dir/tmp"
  mkdir -p "$root/apt-archives/partial" "$dir/var/cache/apt/archives"
  mount --bind "$root/apt-archives" "$dir/var/cache/apt/archives"
  cp /etc/resolv.conf "$dir/etc/resolv.conf"
}

in_tree() {
  local dir=$1
  shift
  chroot "$dir" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# Installs packages inside the tree; apt's output goes to a log shown only when it fails.
apt_install() {
  local dir=$1 log=$root/apt.log
  shift
  if ! { in_tree "$dir" apt-get update -qq && in_tree "$dir" apt-get install -y -qq --no-install-recommends "$@"; } >"$log" 2>&1; then
    tail -n 30 "$log"
    say "apt-get could not install $* (log: $log)"
    return 1
  fi
}

# The minimal machine with a virtual X server: debootstrap's minbase plus xvfb and xauth.
make_base() {
  local dir=$root/base
  [ -f "$dir/.ready" ] && return 0
  if ! wget -q --spider --timeout=20 --tries=2 "$mirror/dists/$suite/Release"; then
    say "cannot reach the Debian mirror $mirror: skipped"
    exit "$skipped"
  fi
  rm -rf "$dir.new"
  say "making the minimal Debian 12 in $dir (debootstrap, takes a few minutes)"
  local start log=$root/debootstrap.log
  start=$(date +%s)
  if ! debootstrap --variant=minbase "$suite" "$dir.new" "$mirror" >"$log" 2>&1; then
    tail -n 20 "$log"
    if grep -qE "Failed getting release file|Couldn't download|Temporary failure resolving|Could not resolve|Connection refused|Network is unreachable" "$log"; then
      say "debootstrap cannot reach the Debian mirror $mirror: skipped"
      exit "$skipped"
    fi
    say "debootstrap failed (log: $log)"
    exit 1
  fi
  mount_tree "$dir.new"
  apt_install "$dir.new" xvfb xauth
  unmount_tree "$dir.new"
  touch "$dir.new/.ready"
  rm -rf "$dir"
  mv "$dir.new" "$dir"
  say "minimal machine made in $(($(date +%s) - start)) s"
}

# The reader's machine for the single file: the minimal machine plus the WebKitGTK runtime.
make_webkit() {
  local dir=$root/webkit
  [ -f "$dir/.ready" ] && return 0
  rm -rf "$dir.new"
  cp -a "$root/base" "$dir.new"
  rm -f "$dir.new/.ready"
  mount_tree "$dir.new"
  apt_install "$dir.new" libwebkit2gtk-4.1-0
  unmount_tree "$dir.new"
  touch "$dir.new/.ready"
  rm -rf "$dir"
  mv "$dir.new" "$dir"
}

# Runs COMMAND inside the mounted tree under a virtual X server with the debug log on, until the
# log reports a page of the book complete (then the book is closed) or the book ends or the time
# runs out. Passes in the first case only.
run_book() {
  local dir=$1 what=$2
  shift 2
  local log=$root/$what.log pid
  say "$what: running $* inside the machine"
  setsid chroot "$dir" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
    G_MESSAGES_DEBUG=Tomevane xvfb-run -a -s "-screen 0 1280x1024x24" "$@" >"$log" 2>&1 &
  pid=$!
  local waited=0 outcome=timeout
  while [ "$waited" -lt $((first_page_seconds * 5)) ]; do
    if grep -q "DocumentComplete mfs:" "$log"; then outcome=complete; break; fi
    if ! kill -0 "$pid" 2>/dev/null; then outcome=ended; break; fi
    sleep 0.2
    waited=$((waited + 1))
  done
  # The book, its virtual X server and the engine's processes share the session started above.
  kill -TERM -- "-$pid" 2>/dev/null || true
  sleep 1
  kill -KILL -- "-$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  case $outcome in
  complete)
    say "$what: passed: $(grep -m1 -o "DocumentComplete mfs:.*" "$log")"
    return 0
    ;;
  ended) say "$what: FAILED: the book ended before its first page completed. Its output:" ;;
  timeout) say "$what: FAILED: no page completed within $first_page_seconds s. Its output:" ;;
  esac
  sed 's/^/  | /' "$log" | tail -n 40
  if grep -q "error while loading shared libraries" "$log"; then
    say "$what: the loader misses a library the machine does not have: $(grep -o "lib[^:]*: cannot open shared object file" "$log" | head -1)"
  fi
  return 1
}

start=$(date +%s)
make_base
make_webkit
say "machines ready after $(($(date +%s) - start)) s"

bash scripts/install-deps.sh >/dev/null
if [ ! -x "$build/viewer/tomevane-viewer" ] || [ ! -x "$build/tools/tomevane-pack" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" -j 2 --target tomevane-viewer tomevane-pack >/dev/null

failed=0

# 1. The single file.
book=$root/sample-book
"$build/tools/tomevane-pack" examples/sample-book -o "$book" --viewer "$build/viewer/tomevane-viewer"
mount_tree "$root/webkit"
install -m 755 "$book" "$root/webkit/usr/local/bin/sample-book"
run_book "$root/webkit" single-file /usr/local/bin/sample-book || failed=1
rm -f "$root/webkit/usr/local/bin/sample-book"
unmount_tree "$root/webkit"

# 2. The Debian package, on a fresh copy of the machine without WebKit.
deb=$root/sample-book_1.0.deb
if "$build/tools/tomevane-pack" examples/sample-book --deb -o "$deb" --viewer "$build/viewer/tomevane-viewer"; then
  scratch=$root/deb-run
  rm -rf "$scratch"
  cp -a "$root/base" "$scratch"
  mount_tree "$scratch"
  cp "$deb" "$scratch/root/"
  if in_tree "$scratch" dpkg-query -W libwebkit2gtk-4.1-0 >/dev/null 2>&1; then
    say "deb: the fresh machine already has WebKit: the check would prove nothing"
    failed=1
  elif ! (apt_install "$scratch" "./root/$(basename "$deb")" && in_tree "$scratch" dpkg-query -W libwebkit2gtk-4.1-0 >/dev/null); then
    say "deb: FAILED: apt-get could not install the package with its runtime"
    failed=1
  else
    say "deb: installed with apt-get, which pulled in $(in_tree "$scratch" dpkg-query -W -f='${Package} ${Version}' libwebkit2gtk-4.1-0)"
    entry=$(ls "$scratch/usr/share/applications/"*.desktop 2>/dev/null | head -1)
    exec_line=$(sed -n 's/^Exec=//p' "$entry" 2>/dev/null | head -1)
    if [ -z "$exec_line" ]; then
      say "deb: FAILED: the package installed no desktop entry with an Exec line"
      failed=1
    else
      # The Exec line of the entry, as a launcher runs it (no field codes in ours).
      read -r -a exec_words <<<"$exec_line"
      run_book "$scratch" deb "${exec_words[@]}" || failed=1
    fi
  fi
  unmount_tree "$scratch"
else
  say "deb: FAILED: tomevane-pack could not make the package"
  failed=1
fi

if [ "$failed" -ne 0 ]; then
  say "FAILED"
  exit 1
fi
say "passed"
