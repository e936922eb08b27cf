#!/usr/bin/env bash
# Builds the Debian package trovix_<version>_<arch>.deb from an existing build
# (build/, or TROVIX_BUILD_DIR; compiled only where it is stale): `cmake --install`
# into a staging folder with the prefix /usr, the Debian documents, Depends
# computed by dpkg-shlibdeps, then dpkg-deb. Before packing it checks the menu
# entry (desktop-file-validate), the AppStream file (appstreamcli) and the
# manual pages (man --warnings); after, lintian must report no error.
# Prints the package's path on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${TROVIX_BUILD_DIR:-build}")

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
if [ -z "$version" ]; then
  echo "package: $build is not a configured build folder" >&2; exit 1
fi
if ! head -1 packaging/deb/changelog | grep -qF "trovix ($version)"; then
  echo "package: packaging/deb/changelog has no entry for version $version" >&2; exit 1
fi
# After scripts/test.sh this finds nothing to do; it only keeps a package
# from holding programs older than their sources.
cmake --build "$build" --target trovix trovix-find >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/root
DESTDIR=$stage cmake --install "$build" --prefix /usr --strip >/dev/null

# Manual pages and the changelog go compressed, as Debian wants them; the list
# of installed files follows the renaming.
gzip -9n "$stage"/usr/share/man/man1/*.1
sed -i 's|^\(share/man/man1/.*\.1\)$|\1.gz|' "$stage/usr/share/trovix/installed-files"
doc=$stage/usr/share/doc/trovix
install -d -m 755 "$doc"
install -m 644 packaging/deb/copyright "$doc/copyright"
gzip -9n -c packaging/deb/changelog >"$doc/changelog.gz"
chmod -R u=rwX,go=rX "$stage"

desktop-file-validate "$stage/usr/share/applications/org.trovix.Trovix.desktop" >&2
if ! report=$(appstreamcli validate --no-net "$stage/usr/share/metainfo/org.trovix.Trovix.metainfo.xml"); then
  echo "$report" >&2; exit 1
fi
for page in "$stage"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "package: $(basename "$page"):" >&2; echo "$warnings" >&2; exit 1
  fi
done
if grep -rlF "$root" "$stage" >/dev/null; then
  echo "package: build paths inside: $(grep -rlF "$root" "$stage" | tr '\n' ' ')" >&2; exit 1
fi

# dpkg-shlibdeps reads the package names from a debian/control.
mkdir -p "$work/src/debian"
printf 'Source: trovix\n\nPackage: trovix\nArchitecture: any\n' >"$work/src/debian/control"
depends=$(cd "$work/src" && dpkg-shlibdeps -O -e"$stage/usr/bin/trovix" -e"$stage/usr/bin/trovix-find" 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
# Not libraries, yet needed: the MIME database read at run time, the SVG
# image plugin for icons of SVG files, and the icon theme the file icons come from.
depends="$depends, shared-mime-info, libqt6svg6, adwaita-icon-theme | breeze-icon-theme"

install -d -m 755 "$stage/DEBIAN"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s|@VERSION@|$version|; s|@ARCH@|$arch|; s|@SIZE@|$size|; s#@DEPENDS@#$depends#" \
  packaging/deb/control.in >"$stage/DEBIAN/control"

deb=$build/trovix_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null

# Errors fail the package; warnings are shown.
if ! lintian --fail-on error "$deb" >&2; then
  echo "package: lintian reports errors" >&2; exit 1
fi
echo "$deb"
