#!/usr/bin/env bash
# quorvel.exe under Wine and Xvfb: it shows a Windows-1251 data.qvp of 1000
# records with Cyrillic text and writes it back byte for byte, with
# widths.qvf, when its window is asked to close and when the session ends.
# Run with Wine set up by scripts/test-windows (Russian code page).
#   window_wine.sh QUORVEL_EXE WORK_DIR SCREENSHOT_DIR
set -euo pipefail
app=$(realpath "$1")
work=$2
shots=$3
here="$(cd "$(dirname "$0")" && pwd)"

rm -rf "$work"
mkdir -p "$work"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    exit 1
}

Xvfb -displayfd 3 -screen 0 1100x600x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"

python3 - "$work/original.qvp" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    for i in range(1000):
        line = ("<QV_U>http://партнёр%d.example.com/ссылки.html</QV_U><QV_I>%d</QV_I>"
                "<QV_E>почта%d@example.com</QV_E><QV_D>21.10.2010</QV_D>"
                "<QV_4>http://мой-сайт.example.com/обмен.html</QV_4><QV_5>%d</QV_5>"
                "<QV_6>http://мой-сайт.example.com/</QV_6><QV_7>Заметка №%d: ждём ответа</QV_7>\r\n"
                % (i, 100000 + i, i, i % 20, i))
        f.write(line.encode("cp1251"))
PY

# Starts the program in directory $1 and waits for its window; sets $pid and $window.
start() {
    # The end of the session ends the process by force once the files are
    # written: the subshell takes that end quietly.
    (cd "$1" && wine "$app" || true) >"$1/wine.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    window=""
    for _ in $(seq 1200); do
        window=$(xdotool search --name '^Quorvel$' 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        kill -0 "$pid" 2>/dev/null || fail "the program ended at start: $(tail -n 5 "$1/wine.log")"
        sleep 0.05
    done
    if [ -z "$window" ]; then
        # What the screen shows instead, to tell a dialog from a slow start.
        import -window root "$shots/windows-window-failed.png" 2>/dev/null || true
        fail "the window did not appear within a minute (the screen: $shots/windows-window-failed.png)"
    fi
    # The list is read before the window shows; a moment for the first paint.
    sleep 2
}
wait_gone() {
    for _ in $(seq 600); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" 2>/dev/null || true
            return 0
        fi
        sleep 0.05
    done
    fail "the program did not end within 30 seconds of $1"
}
# Both files written (data.qvp is dated 2001 before the start), and data.qvp
# holds the original bytes.
same_data() {
    [ "$(stat -c %Y "$1/data.qvp")" -gt 1000000000 ] || fail "data.qvp was not written on $2"
    cmp -s "$1/data.qvp" "$work/original.qvp" || fail "data.qvp is not written back byte for byte on $2"
    [ "$(wc -l <"$1/widths.qvf")" -eq 8 ] || fail "widths.qvf is not eight lines after $2"
}

echo "-- a close request writes data.qvp back as it was, and widths.qvf"
d="$work/close"
mkdir -p "$d"
cp "$work/original.qvp" "$d/data.qvp"
touch -d 2001-01-01 "$d/data.qvp"
start "$d"
import -window "$window" "$shots/windows-window.png"
python3 "$here/../e2e/x11_close.py" "$window"
wait_gone "the close request"
same_data "$d" "the close request"

echo "-- the end of the session writes both files"
d="$work/session"
mkdir -p "$d"
cp "$work/original.qvp" "$d/data.qvp"
touch -d 2001-01-01 "$d/data.qvp"
start "$d"
wine wineboot --end-session >/dev/null 2>&1 || true
wait_gone "the end of the session"
same_data "$d" "the end of the session"
echo "window under Wine: all passed (screenshot: $shots/windows-window.png)"
