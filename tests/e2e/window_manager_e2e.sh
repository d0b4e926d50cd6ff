#!/usr/bin/env bash
# The real program under a real window manager (openbox) on a virtual X
# server: it opens maximised, restores to its own size centred on the screen,
# and cannot be made smaller than its minimum.
set -euo pipefail
app=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
command -v openbox >/dev/null || { echo "FAILED: openbox is missing (Debian package openbox)"; exit 1; }
scratch=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$scratch/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$scratch/display")"
HOME="$scratch" openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

(cd "$scratch" && exec "$app") >/dev/null 2>&1 &
pid=$!
pids+=("$pid")
window=""
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --pid "$pid" --name '^Quorvel$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.05
done
[ -n "$window" ] || fail "the window did not appear"

# Width and height of the window's client area.
size() { xwininfo -id "$window" | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w "x" h}'; }
# Waits until the condition "$@" holds, for up to 5 s.
wait_for() { for _ in $(seq 100); do "$@" && return 0; sleep 0.05; done; return 1; }
maximised() { xprop -id "$window" _NET_WM_STATE | grep -q MAXIMIZED_VERT.*MAXIMIZED_HORZ; }
not_maximised() { ! maximised; }

echo "-- the window opens maximised"
wait_for maximised || fail "not maximised: $(xprop -id "$window" _NET_WM_STATE), $(size)"
sleep 0.5   # anything the program does after showing must not undo it
maximised || fail "no longer maximised: $(size)"
width=$(size | cut -dx -f1)
[ "$width" -eq 1280 ] || fail "maximised, but $(size) wide on a screen of 1280"

echo "-- restored, it has its own size"
python3 "$here/x11_restore.py" "$window"
wait_for not_maximised || fail "the window manager did not restore it"
# 979 x 432 inside the frame; a frame thinner than 8 pixels leaves the
# minimum outer width of 987 a few pixels more.
restored() { read -r w h < <(size | tr x " "); [ "$h" -eq 432 ] && [ "$w" -ge 979 ] && [ "$w" -le 987 ]; }
wait_for restored || fail "restored at $(size)"

echo "-- it cannot be made smaller than its minimum"
xdotool windowsize "$window" 400 150
sleep 0.5
read -r w h < <(size | tr x ' ')
[ "$w" -ge 979 ] && [ "$h" -ge 250 ] || fail "made as small as ${w}x${h}"
echo "passed"
