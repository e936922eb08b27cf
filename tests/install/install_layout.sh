#!/usr/bin/env bash
# A per-user install (`cmake --install --prefix`) into a temporary folder:
# share/trovix/installed-files names exactly the files written, the D-Bus
# service starts the installed trovix, and the completions of trovix-find know
# every option its --help lists.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install_layout: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

list=$prefix/share/trovix/installed-files
[ -f "$list" ] || fail "no share/trovix/installed-files"
written=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
listed=$(LC_ALL=C sort "$list")
if [ "$written" != "$listed" ]; then
  diff <(echo "$listed") <(echo "$written") >&2 || true
  fail "installed-files (<) differs from the files written (>)"
fi

service=$prefix/share/dbus-1/services/org.trovix.Trovix.service
grep -qx "Exec=$prefix/bin/trovix --background" "$service" || fail "$service does not start $prefix/bin/trovix"

options=$("$prefix/bin/trovix-find" --help | grep -oE '(^|[ ,])--?[a-z0-9][a-z0-9-]*' | sed 's/^[ ,]*//' | sort -u)
[ -n "$options" ] || fail "trovix-find --help lists no option"
share=$prefix/share
for file in "$share/bash-completion/completions/trovix-find" "$share/zsh/vendor-completions/_trovix-find" \
            "$share/fish/vendor_completions.d/trovix-find.fish"; do
  text=$(<"$file")
  for option in $options; do
    case $file in
      # fish names options without their dashes: -s NAME, -l NAME.
      *.fish) [[ $option == --* ]] && pattern="-l ${option#--} " || pattern="-s ${option#-} " ;;
      *) pattern=$option ;;
    esac
    [[ $text == *"$pattern"* ]] || fail "$(basename "$file") does not complete $option"
  done
done
