#!/usr/bin/env bash
# The real program under a virtual X server, driven as a person would (xdotool
# clicks and keys, a window close request), in scratch directories. Run in a
# loopback-only network namespace (scripts/netns-run).
set -euo pipefail
app=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

# A free display: the server picks it and says which. -noreset: by default
# the server resets when its last client leaves (a closed window, an xdotool
# call), and a window started during that reset cannot connect.
Xvfb -displayfd 3 -screen 0 1100x600x24 -nolisten tcp -noreset 3>"$scratch/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$scratch/display")"

fail() { echo "FAILED: $*"; exit 1; }

# Starts the program in directory $1; sets $pid and $window.
start() {
    (cd "$1" && exec "$app") >/dev/null 2>&1 &
    pid=$!
    pids+=("$pid")
    window=""
    for _ in $(seq 200); do
        window=$(xdotool search --pid "$pid" --name '^Quorvel$' 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        sleep 0.05
    done
    [ -n "$window" ] || fail "the window of $1 did not appear"
    sleep 0.5
}
close_window() { python3 "$here/x11_close.py" "$window"; }
wait_gone() {
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.05; done
    fail "the program did not end"
}

echo "-- a file with a UTF-8 mark is written back in Windows-1251"
d="$scratch/mark"; mkdir -p "$d"
printf '\xef\xbb\xbf<QV_U>\xd0\x9f\xd1\x80\xd0\xb8\xd0\xbc\xd0\xb5\xd1\x80</QV_U>\r\n' > "$d/data.qvp"
start "$d"; close_window; wait_gone
[ "$(od -An -tx1 "$d/data.qvp" | tr -d ' \n')" = "$(printf '<QV_U>\xcf\xf0\xe8\xec\xe5\xf0</QV_U>\r\n' | od -An -tx1 | tr -d ' \n')" ] \
    || fail "data.qvp is not the same list in Windows-1251"
[ "$(wc -l < "$d/widths.qvf")" -eq 8 ] || fail "widths.qvf does not have eight lines"

echo "-- a record added with the editor is on disk after closing"
d="$scratch/add"; mkdir -p "$d"
start "$d"
xdotool mousemove --window "$window" 96 23 click 1        # "добавить запись"
sleep 0.3
xdotool mousemove --window "$window" 140 76 click 1       # Edit1
xdotool type --delay 5 "partner.example.com/links.html"
xdotool mousemove --window "$window" 727 127 click 1      # "добавить"
sleep 0.3
close_window; wait_gone
expected="<QV_U>partner.example.com/links.html</QV_U><QV_I></QV_I><QV_E></QV_E><QV_D>20.10.2010</QV_D><QV_4></QV_4><QV_5>5</QV_5><QV_6></QV_6><QV_7></QV_7>"
[ "$(cat "$d/data.qvp")" = "$expected"$'\r' ] || fail "data.qvp holds: $(cat "$d/data.qvp")"

echo "-- an unreadable data file is kept before the list is written"
d="$scratch/unreadable"; mkdir -p "$d"
printf 'original head' > "$d/data.qvp"
truncate -s 300M "$d/data.qvp"   # too large to read; sparse, so it costs no disk
start "$d"; close_window; wait_gone
[ "$(stat -c %s "$d/data.qvp.bak")" -eq $((300 * 1024 * 1024)) ] || fail "data.qvp.bak is not the original"
[ "$(head -c 13 "$d/data.qvp.bak")" = "original head" ] || fail "data.qvp.bak lost its bytes"
[ "$(stat -c %s "$d/data.qvp")" -eq 0 ] || fail "data.qvp is not the (empty) list"

echo "-- a data file damaged by zero bytes is kept byte for byte"
d="$scratch/nul"; mkdir -p "$d"
python3 - "$d/data.qvp" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    for i in range(2000):
        f.write(b"<QV_U>partner%d.example.com</QV_U>\r\n" % i)
        if i == 999:
            f.write(b"\0" * 4096)   # what a power cut often leaves behind
PY
cp "$d/data.qvp" "$scratch/nul-original.qvp"
start "$d"; close_window; wait_gone
cmp -s "$d/data.qvp.bak" "$scratch/nul-original.qvp" || fail "data.qvp.bak is not the damaged original"
[ "$(grep -c QV_U "$d/data.qvp")" -eq 1000 ] || fail "data.qvp does not hold the 1000 records before the damage"

echo "-- a data file that is a FIFO neither hangs the start nor is replaced"
d="$scratch/fifo"; mkdir -p "$d"
mkfifo "$d/data.qvp"
started=$(date +%s%N)
start "$d"
elapsed=$(( ($(date +%s%N) - started) / 1000000 - 500 ))   # start() waits 0.5 s after the window shows
close_window; wait_gone
[ -p "$d/data.qvp" ] || fail "data.qvp is no longer the FIFO"
[ ! -e "$d/data.qvp.bak" ] || fail "a backup was made of the FIFO"
[ "$elapsed" -lt 5000 ] || fail "the window took ${elapsed} ms to show"
echo "   the window showed after ${elapsed} ms"

echo "-- a project file cut short by a NUL is kept before it is saved over"
d="$scratch/project"; mkdir -p "$d"
# A record file (it holds a field tag), so it loads as a project.
printf '<QV_U>first</QV_U>\r\n\0second\r\n' > "$d/p.qvp"
cp "$d/p.qvp" "$scratch/p-original.qvp"
start "$d"
xdotool mousemove --window "$window" 48 23 click 1        # "загрузить файл проекта"
sleep 0.5
xdotool type --delay 5 "$d/p.qvp"; xdotool key Return
sleep 0.5
xdotool mousemove --window "$window" 600 250 click 1      # away: closes the name completer's popup
sleep 0.3
xdotool mousemove --window "$window" 20 23 click 1        # "сохранить файл проекта"
sleep 0.5
xdotool type --delay 5 "$d/p.qvp"; xdotool key Return
sleep 0.5
xdotool key shift+Tab space                               # from "no" to "yes": replace it
sleep 0.5
close_window; wait_gone
cmp -s "$d/p.qvp.bak" "$scratch/p-original.qvp" || fail "p.qvp.bak is not the original project"
[ "$(cat "$d/p.qvp")" = "<QV_U>first</QV_U>"$'\r' ] || fail "p.qvp holds: $(cat "$d/p.qvp")"

echo "-- SIGTERM with an edited list writes the edited list"
d="$scratch/term"; mkdir -p "$d"
printf 'first\r\nsecond\r\n' > "$d/data.qvp"
start "$d"
xdotool mousemove --window "$window" 100 66 click 1       # the first row
xdotool key --window "$window" Delete
sleep 0.3
kill -TERM "$pid"; wait_gone
[ "$(cat "$d/data.qvp")" = "second"$'\r' ] || fail "data.qvp holds: $(cat "$d/data.qvp")"

echo "-- SIGKILL while 100000 records are written: old file or new, never a mix"
d="$scratch/kill"; mkdir -p "$d"
python3 - "$d/data.qvp" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(b"\xef\xbb\xbf")
    for i in range(100000):
        f.write(("<QV_U>http://partner%d.example.com/страница.html</QV_U><QV_7>заметка %d</QV_7>\r\n" % (i, i)).encode())
PY
cp "$d/data.qvp" "$scratch/old.qvp"
python3 - "$scratch/old.qvp" "$scratch/new.qvp" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()[3:].decode("utf-8")
open(sys.argv[2], "wb").write(data.encode("cp1251"))
PY
for delay in 0 0.02 0.05 0.08 0.12 0.2; do
    cp "$scratch/old.qvp" "$d/data.qvp"
    start "$d"; close_window; sleep "$delay"; kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if cmp -s "$d/data.qvp" "$scratch/old.qvp"; then outcome=old
    elif cmp -s "$d/data.qvp" "$scratch/new.qvp"; then outcome=new
    else fail "after a kill at ${delay}s data.qvp is neither the old nor the new file"; fi
    echo "   killed after ${delay}s: the $outcome file"
done

echo "-- a check from the button colours the rows"
d="$scratch/check"; mkdir -p "$d/www"
echo '<a href="http://me.example.com/">me</a>' > "$d/www/found.html"
echo '<a href="http://me.example.com/" rel="nofollow">me</a>' > "$d/www/hidden.html"
echo '<a href="http://other.example.net/">x</a>' > "$d/www/missing.html"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$d/www" >/dev/null 2>&1 &
pids+=($!)
for page in found hidden missing gone; do
    printf '<QV_U>127.0.0.1:%s/%s.html</QV_U><QV_6>me.example.com</QV_6>\r\n' "$port" "$page"
done > "$d/data.qvp"
start "$d"
xdotool mousemove --window "$window" 160 23 click 1       # the check button
sleep 2
xdotool mousemove --window "$window" 600 250 click 1      # away from the rows
sleep 0.3
import -window "$window" "$scratch/check.png"
colour() { convert "$scratch/check.png" -format "%[pixel:p{$1,$2}]" info: ; }
# Rows start below the toolbar (41) and the header (17), 16 pixels each.
row() { echo $((41 + 17 + 16 * $1 + 8)); }
[ "$(colour 900 "$(row 0)")" = "srgb(192,220,192)" ] || fail "row 1 is $(colour 900 "$(row 0)"), not light green"
[ "$(colour 900 "$(row 1)")" = "srgb(255,0,0)" ] || fail "row 2 is $(colour 900 "$(row 1)"), not red"
[ "$(colour 900 "$(row 2)")" = "srgb(160,160,164)" ] || fail "row 3 is $(colour 900 "$(row 2)"), not grey"
[ "$(colour 900 "$(row 3)")" = "srgb(128,0,0)" ] || fail "row 4 is $(colour 900 "$(row 3)"), not maroon"
close_window; wait_gone

echo "-- Qt's own file dialogs speak Russian"
d="$scratch/dialogs"; mkdir -p "$d"
start "$d"
dialog_named() {
    for _ in $(seq 100); do
        xdotool search --pid "$pid" --name "^$1\$" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    fail "no dialog named $1"
}
xdotool mousemove --window "$window" 19 23 click 1        # "сохранить файл проекта"
dialog_named "Сохранить как"
xdotool key Escape; sleep 0.3
xdotool mousemove --window "$window" 50 23 click 1        # "загрузить файл проекта"
dialog_named "Открыть"
xdotool key Escape; sleep 0.3
close_window; wait_gone

echo "-- closing during a run against a server that never answers ends at once"
d="$scratch/hang"; mkdir -p "$d"
python3 - "$d/port" <<'PY' &
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(64)   # accepts nothing, answers nothing
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
time.sleep(600)
PY
pids+=($!)
for _ in $(seq 100); do [ -s "$d/port" ] && break; sleep 0.05; done
for i in $(seq 12); do printf '<QV_U>127.0.0.1:%s/p%s.html</QV_U>\r\n' "$(cat "$d/port")" "$i"; done > "$d/data.qvp"
start "$d"
xdotool mousemove --window "$window" 160 23 click 1       # the check button
sleep 1
rm -f "$d/widths.qvf"
started=$(date +%s%N)
close_window; wait_gone
elapsed=$(( ($(date +%s%N) - started) / 1000000 ))
[ "$elapsed" -lt 1500 ] || fail "the program took ${elapsed} ms to end"
[ "$(grep -c QV_U "$d/data.qvp")" -eq 12 ] || fail "data.qvp was not written"
[ -f "$d/widths.qvf" ] || fail "widths.qvf was not written"
echo "   gone after ${elapsed} ms, both files written"
echo "window end to end: all scenarios passed"
