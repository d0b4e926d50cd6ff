# Shared settings of the Windows scripts (sourced, not run).
# The cross-built libraries live in a cache outside the tree, keyed by the
# versions of the three Debian source packages they come from.
QW_CACHE=${QUORVEL_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel-windows}
QW_TRIPLE=x86_64-w64-mingw32
QW_HOST_QT_CMAKE=/usr/lib/x86_64-linux-gnu/cmake
# The directory of the last complete build of the libraries; its prefix/
# holds Qt, curl and SQLite for Windows.
QW_CURRENT="$QW_CACHE/current"

qw_log() { printf '== %s\n' "$*"; }
