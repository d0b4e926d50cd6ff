#!/usr/bin/env bash
# The Debian package, unpacked into a scratch root: quorvel-cli runs from
# there, and the menu entry and icons are in place.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/quorvel_*.deb)
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' || { echo "no Qt dependency"; exit 1; }
dpkg-deb --field "$deb" Depends | grep -q 'qt6-translations-l10n' || { echo "no dependency on Qt's Russian texts"; exit 1; }
dpkg -x "$deb" "$work/root"
"$work/root/usr/bin/quorvel-cli" --help | grep -q 'check' || { echo "quorvel-cli --help failed"; exit 1; }
test -x "$work/root/usr/bin/quorvel"
test -f "$work/root/usr/share/applications/quorvel.desktop"
test -f "$work/root/usr/share/icons/hicolor/48x48/apps/quorvel.png"
echo "package: $(basename "$deb") unpacks and runs"
