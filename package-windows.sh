#!/usr/bin/env bash
# Builds Quorvel for 64-bit Windows on this Debian machine and tests it under
# Wine:
#   build-windows/quorvel-VERSION-win64.zip    the programs with their DLLs
#   build-windows/quorvel-VERSION-setup.exe    the installer
# Qt, libcurl and SQLite are cross-built once from Debian's own source
# packages into ~/.cache/quorvel-windows/<versions>/ (an hour or more the
# first time); later runs reuse them.
#   ./package-windows.sh [--rebuild] [--no-test]
# --rebuild: build the cached libraries again from the start.
# --no-test: do not run scripts/test-windows after packing.
set -euo pipefail
cd "$(dirname "$0")"

rebuild=0
run_tests=1
for arg in "$@"; do
    case "$arg" in
    --rebuild) rebuild=1 ;;
    --no-test) run_tests=0 ;;
    -h | --help)
        sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "usage: ./package-windows.sh [--rebuild] [--no-test]" >&2
        exit 2
        ;;
    esac
done

started=$(date +%s)
./scripts/install-deps windows
. scripts/windows/env.sh

qw_log "Debian's source packages"
# Qt's sources are those of the host tools (moc, rcc, uic) this build uses.
qt_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
declare -A dsc version
while read -r name ver path; do
    dsc[$name]=$path
    version[$name]=$ver
done < <(scripts/windows/fetch-sources "$QW_CACHE/sources" "qt6-base=$qt_version" curl sqlite3 brotli libxlsxwriter zlib)

key="qt6-base_${version[qt6-base]}+curl_${version[curl]}+sqlite3_${version[sqlite3]}"
key=${key//:/%}
dir="$QW_CACHE/$key"
if [ "$rebuild" = 1 ]; then
    rm -rf "$dir"
fi
# Library builds yield to interactive work on a shared machine.
nice -n 10 scripts/windows/build-libs "$dir" \
    "qt6-base=${dsc[qt6-base]}" "sqlite3=${dsc[sqlite3]}" "brotli=${dsc[brotli]}" "curl=${dsc[curl]}" \
    "libxlsxwriter=${dsc[libxlsxwriter]}" "minizip=${dsc[zlib]}"
ln -sfn "$key" "$QW_CURRENT"

scripts/windows/build-program
scripts/windows/pack
if [ "$run_tests" = 1 ]; then
    scripts/test-windows --prebuilt
fi
echo "package-windows: done in $(($(date +%s) - started)) s"
