#!/usr/bin/env bash
# Tests the Debian package as a user gets it: builds it from the existing build
# (scripts/package.sh, no second compile), installs it with apt-get (which also
# proves its Depends resolve), runs the installed programs, then removes it and
# checks that nothing of it is left in /usr. Needs root or sudo; it installs
# into the real /usr for the length of the test.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --window ]; then
  mode=window
else
  mode=package
fi

fail() { echo "test-package: $*" >&2; exit 1; }
# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.2
  done
}

# --window TREE: the installed `trovix` on its own display, inside the private
# session bus that the caller started with dbus-run-session.
if [ "$mode" = window ]; then
  tree=$2
  work=$(mktemp -d)
  pids=()
  trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait; rm -rf "$work"' EXIT
  export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
  export XDG_CACHE_HOME=$work/cache XDG_STATE_HOME=$work/state
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"

  # The options of the single-instance launch, when this build has them.
  single_instance=0
  help=$(QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/trovix --help 2>&1 || true)
  if [[ $help == *--toggle* ]]; then
    single_instance=1
  fi

  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  wait_until 10 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=:$(head -1 "$work/display")

  /usr/bin/trovix >"$work/trovix.log" 2>&1 &
  app=$!
  pids+=("$app")
  windows() { xdotool search --onlyvisible --pid "$app" "$@" 2>/dev/null || true; }
  has_window() { [ -n "$(windows "$@")" ]; }
  wait_until 20 has_window || { cat "$work/xvfb.log" "$work/trovix.log" >&2; fail "no window of the installed trovix"; }
  window=$(windows | sed -n 1p)
  [[ $(xprop -id "$window" _NET_WM_ICON) == *"Icon ("* ]] ||
    fail "the window of the installed trovix has no icon (_NET_WM_ICON)"
  echo "test-package: the installed trovix shows its window with the icon" >&2

  if [ "$single_instance" = 0 ]; then
    echo "test-package: this trovix has no --toggle; second launch and --toggle not tested" >&2
    exit 0
  fi

  # A second launch with a folder hands it over and exits; the running Trovix
  # opens a second window scoped there (its title is the folder).
  timeout 20 /usr/bin/trovix "$tree" || fail "the second trovix did not hand over its folder"
  scoped() { has_window --name "$tree"; }
  wait_until 10 scoped || fail "no window scoped at $tree after a second launch"
  [ "$(windows | wc -l)" -ge 2 ] || fail "the second launch replaced the first window"

  # --toggle shows the windows and activates Trovix, or hides them when it is
  # active already: at most two toggles hide them, one more brings them back.
  hidden() { ! has_window; }
  timeout 20 /usr/bin/trovix --toggle || fail "trovix --toggle failed"
  if ! wait_until 3 hidden; then
    timeout 20 /usr/bin/trovix --toggle || fail "trovix --toggle failed"
    wait_until 5 hidden || fail "trovix --toggle does not hide the windows"
  fi
  timeout 20 /usr/bin/trovix --toggle || fail "trovix --toggle failed"
  wait_until 5 has_window || fail "trovix --toggle does not show the windows again"
  echo "test-package: second launch with a folder and --toggle work" >&2
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if [ "$(dpkg-query -W -f='${db:Status-Status}' trovix 2>/dev/null || true)" = installed ]; then
  fail "a trovix package is installed already; remove it first"
fi

deb=$(bash scripts/package.sh)
version=$(dpkg-deb -f "$deb" Version)
work=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then $SUDO apt-get purge -y -q trovix >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
installed=1
$SUDO apt-get install -y -q --no-install-recommends "$(realpath "$deb")" >/dev/null

# "Open With Trovix" on folders: the menu entry is registered for inode/directory.
grep -q '^inode/directory=.*org\.trovix\.Trovix\.desktop' /usr/share/applications/mimeinfo.cache ||
  fail "the installed menu entry is not registered for folders"

[[ $(/usr/bin/trovix-find --version) == *"$version"* ]] || fail "the installed trovix-find --version is not $version"
tree=$work/search-tree
mkdir -p "$tree/a" "$tree/b"
touch "$tree/a/needle-one.txt" "$tree/b/other.txt"
found=$(/usr/bin/trovix-find -s "$tree" needle)
[ "$found" = "$tree/a/needle-one.txt" ] || fail "the installed trovix-find found \"$found\""

dbus-run-session -- bash "$0" --window "$tree"

$SUDO apt-get purge -y -q trovix >/dev/null
installed=0
left=""
while read -r path; do
  [ -e "/$path" ] && [ ! -d "/$path" ] && left+=" /$path"
done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./||')
left+=$(find /usr -path /usr/local -prune -o -name '*trovix*' -printf ' %p' 2>/dev/null)
[ -z "$left" ] || fail "left in /usr after removal:$left"
if grep -q 'org\.trovix\.Trovix' /usr/share/applications/mimeinfo.cache 2>/dev/null; then
  fail "the menu entry is still registered after removal"
fi
echo "test-package: $(basename "$deb") installs, runs and removes cleanly" >&2
