#!/usr/bin/env bash
# quorvel-cli.exe under Wine against the Linux quorvel-cli: the same
# commands on the same files and pages (a loopback nginx for check) must give
# the same bytes on standard output and the same exit status. Run inside a
# loopback-only network namespace, with Wine set up by scripts/test-windows.
#   cli_compare.sh LINUX_CLI WINDOWS_CLI WORK_DIR
set -euo pipefail
linux_cli=$(realpath "$1")
windows_cli=$(realpath "$2")
work=$3
fixtures="$(cd "$(dirname "$0")/.." && pwd)/fixtures"
nginx=${NGINX:-/usr/sbin/nginx}

rm -rf "$work"
mkdir -p "$work/www" "$work/tmp" "$work/linux" "$work/windows"
nginx_pid=""
cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# Pages, as the Linux end-to-end check has them, and a few Russian ones.
me='http://www.mysite.example.com/'
echo "<p><a href=\"$me\">me</a></p>" >"$work/www/found.html"
echo "<a href=\"$me\" rel=\"nofollow\">me</a>" >"$work/www/nofollow.html"
echo "<noindex><a href=\"http://mysite.example.com/\">me</a></noindex>" >"$work/www/noindex.html"
echo '<a href="http://other.example.net/">someone else</a>' >"$work/www/missing.html"
{
    for i in 1 2 3 4 5 6 7 8; do echo "<a href=\"http://site$i.example.net/\">$i</a>"; done
    echo "<a href=\"$me\">me</a>"
} >"$work/www/farm.html"
# Windows-1251 without a charset, and UTF-8 with Cyrillic link texts and hosts.
printf '<p>\xcf\xf0\xe8\xe2\xe5\xf2</p><a href="%s">\xec\xee\xe9 \xf1\xe0\xe9\xf2</a> <a href="http://\xef\xf0\xe8\xec\xe5\xf0.test/">x</a>\n' \
    "$me" >"$work/www/cp1251.html"
printf '<p>Привет</p><a href="http://другой.example.net/">другой</a> <a href="%s" rel="nofollow">мой</a>\n' \
    "$me" >"$work/www/utf8.html"
# A big page: many links, compressed when the browser's headers ask.
{
    for i in $(seq 3000); do echo "<a href=\"http://s$i.example.net/страница\">ссылка $i</a>"; done
    echo "<a href=\"$me\">me</a>"
} >"$work/www/big.html"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
tls_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $work/tmp/body;
    proxy_temp_path $work/tmp/proxy;
    fastcgi_temp_path $work/tmp/fastcgi;
    uwsgi_temp_path $work/tmp/uwsgi;
    scgi_temp_path $work/tmp/scgi;
    gzip on;
    gzip_min_length 0;
    server {
        listen 127.0.0.1:$port;
        listen 127.0.0.1:$tls_port ssl;
        ssl_certificate $fixtures/tls/server.pem;
        ssl_certificate_key $fixtures/tls/server.key;
        server_name _;
        root $work/www;
        location = /redirect { return 302 /found.html; }
    }
}
CONF
"$nginx" -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
    sleep 0.05
done

# Record files in every encoding a record file may come in.
host="partner.test:$port"
record() { printf '<QV_U>%s</QV_U><QV_I></QV_I><QV_E></QV_E><QV_D>21.10.2010</QV_D><QV_4></QV_4><QV_5>5</QV_5><QV_6>%s</QV_6><QV_7>%s</QV_7>\r\n' "$1" "$me" "${2:-}"; }
{
    for page in found.html nofollow.html noindex.html missing.html nothing.html redirect farm.html \
        cp1251.html utf8.html big.html; do
        record "$host/$page" "заметка"
    done
    record "http://пример.test:$port/found.html" "кириллический адрес"
    record "https://secure.test:$tls_port/found.html" "https"
    record "" "пустая запись"
    printf 'NIL\r\n'
} >"$work/check-utf8.qvp"
sed -n '1,7p' "$work/check-utf8.qvp" | iconv -f UTF-8 -t CP1251 >"$work/check-1251.qvp"
{
    printf '<QV_U>http://пример.рф/</QV_U><QV_7>табуляция\tи \\ обратная косая\r</QV_7>\r\n'
    printf '<QV_U>второй</QV_U><QV_I>123</QV_I><QV_D>01.02.2003</QV_D>\n'
    printf 'строка без тегов\r'
    printf '<QV_U>последняя</QV_U>'
} >"$work/fields-utf8.qvp"
iconv -f UTF-8 -t CP1251 "$work/fields-utf8.qvp" >"$work/fields-1251.qvp"
{
    printf '\xef\xbb\xbf'
    cat "$work/fields-utf8.qvp"
} >"$work/fields-bom.qvp"
{
    printf '\xff\xfe'
    iconv -f UTF-8 -t UTF-16LE "$work/fields-utf8.qvp"
} >"$work/fields-utf16le.qvp"
{
    printf '\xfe\xff'
    iconv -f UTF-8 -t UTF-16BE "$work/fields-utf8.qvp"
} >"$work/fields-utf16be.qvp"
printf 'a\x98z\xc0\xff\r\n' >"$work/fields-all-bytes.qvp"
: >"$work/empty.qvp"

# Tables to import: a workbook (one part stored, the others deflated, the
# shared strings under another letter case than their relation names), the
# same rows as CSV in KOI8-R and CP866, and a workbook that is no zip.
python3 - "$work" <<'PY'
import sys, zipfile
ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
rows = [("Адрес", "Ссылка", "Заметки"),
        ("http://партнер.рф/ссылки.html", "http://www.mysite.example.com/", "обмен с 2009"),
        ("partner.example.net/links", "", "без ссылки"),
        ("http://партнер.рф/ссылки.html", "http://www.mysite.example.com/", "повтор")]
strings = sorted({v for row in rows for v in row if v})
def cell(ref, v):
    return '<c r="%s" t="s"><v>%d</v></c>' % (ref, strings.index(v)) if v else ""
sheet = "".join('<row r="%d">%s</row>' % (i + 1, "".join(cell("ABC"[j] + str(i + 1), v) for j, v in enumerate(row)))
                for i, row in enumerate(rows))
with zipfile.ZipFile(sys.argv[1] + "/partners.xlsx", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("xl/workbook.xml", '<workbook %s xmlns:r="%s"><sheets><sheet name="Лист1" sheetId="1" r:id="rId1"/></sheets></workbook>' % (ns, rel))
    z.writestr("xl/_rels/workbook.xml.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
               '<Relationship Id="rId2" Type="%s/sharedStrings" Target="sharedStrings.xml"/></Relationships>' % (rel, rel))
    z.writestr("xl/SharedStrings.XML", '<sst %s>%s</sst>' % (ns, "".join("<si><t>%s</t></si>" % v for v in strings)))
    z.writestr(zipfile.ZipInfo("xl/worksheets/sheet1.xml"), '<worksheet %s><sheetData>%s</sheetData></worksheet>' % (ns, sheet))
for name, encoding in (("koi8r", "koi8_r"), ("cp866", "cp866")):
    with open(sys.argv[1] + "/partners-%s.csv" % name, "wb") as f:
        f.write("".join(";".join(row) + "\r\n" for row in rows).encode(encoding))
with open(sys.argv[1] + "/broken.xlsx", "wb") as f:
    f.write(b"PK\x03\x04 not really a workbook")
PY

resolve=(--resolve "partner.test:$port:127.0.0.1" --resolve "www.partner.test:$port:127.0.0.1"
    --resolve "xn--e1afmkfd.test:$port:127.0.0.1" --resolve "www.xn--e1afmkfd.test:$port:127.0.0.1"
    --resolve "secure.test:$tls_port:127.0.0.1" --resolve "www.secure.test:$tls_port:127.0.0.1"
    --cacert ca.pem)
cp "$fixtures/tls/ca.pem" "$work/"

# name, then the arguments; both programs run in $work, on the same files.
cases=(
    "fields-encodings|fields fields-1251.qvp fields-utf8.qvp fields-bom.qvp fields-utf16le.qvp fields-utf16be.qvp fields-all-bytes.qvp empty.qvp"
    "fields-missing|fields fields-1251.qvp no-such-file.qvp"
    "fields-stdin|fields -"
    "scan|scan --link $me --partner http://$host/ www/found.html www/nofollow.html www/noindex.html www/missing.html www/farm.html www/cp1251.html www/utf8.html www/big.html"
    "links|links --partner http://$host/ www/utf8.html"
    "check-tsv|check --no-history ${resolve[*]} check-utf8.qvp"
    "check-csv|check --no-history --format csv ${resolve[*]} check-1251.qvp"
    "check-json|check --no-history --format json --workers 3 ${resolve[*]} check-utf8.qvp"
    "check-browser|check --no-history --browser --format csv ${resolve[*]} check-1251.qvp"
    "fetch|fetch ${resolve[*]} http://$host/utf8.html"
    "usage|check"
    "import-xlsx|import --output imported.qvp --force partners.xlsx"
    "import-koi8r|import --output imported.qvp --force --encoding KOI8-R partners-koi8r.csv"
    "import-cp866|import --output imported.qvp --force --encoding CP866 partners-cp866.csv"
    "import-broken|import --output imported.qvp --force broken.xlsx"
)
# The record file an import writes is part of its output.
take_import() {
    if [ -e "$work/imported.qvp" ]; then
        cat "$work/imported.qvp" >>"$work/$1"
        rm "$work/imported.qvp"
    fi
}

status=0
for entry in "${cases[@]}"; do
    name=${entry%%|*}
    read -r -a args <<<"${entry#*|}"
    set +e
    (cd "$work" && "$linux_cli" "${args[@]}" <fields-utf8.qvp >"linux/$name.out" 2>"linux/$name.err")
    linux_status=$?
    take_import "linux/$name.out"
    (cd "$work" && ${WINE:-wine} "$windows_cli" "${args[@]}" <fields-utf8.qvp >"windows/$name.out" 2>"windows/$name.err")
    windows_status=$?
    take_import "windows/$name.out"
    set -e
    if [ "$linux_status" != "$windows_status" ]; then
        echo "$name: exit status $windows_status under Wine, $linux_status on Linux"
        sed 's/^/   /' "$work/windows/$name.err" | head -n 5
        status=1
    elif ! cmp -s "$work/linux/$name.out" "$work/windows/$name.out"; then
        echo "$name: the output differs"
        diff <(od -c "$work/linux/$name.out") <(od -c "$work/windows/$name.out") | head -n 20 | sed 's/^/   /'
        status=1
    else
        echo "$name: the same ($(wc -c <"$work/linux/$name.out") bytes, exit status $linux_status)"
    fi
done
# Ctrl+C: Wine turns SIGINT into the console's Ctrl+C event. Twice against
# a server that never answers: the run ends at once with every row, status 130.
python3 - "$work/silent" <<'PY' &
import socket, sys, threading, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(64)
open(sys.argv[1] + ".port", "w").write(str(s.getsockname()[1]))
held = []
while True:
    c, _ = s.accept(); held.append(c)
    open(sys.argv[1] + ".count", "w").write(str(len(held)))
PY
silent_pid=$!
for _ in $(seq 100); do [ -s "$work/silent.port" ] && break; sleep 0.05; done
silent_port=$(cat "$work/silent.port")
for i in $(seq 20); do record "p$i.test:$silent_port/silent"; done >"$work/silent.qvp"
(cd "$work" && exec ${WINE:-wine} "$windows_cli" check --no-history "--resolve=*:$silent_port:127.0.0.1" \
    silent.qvp >windows/interrupt.out 2>windows/interrupt.err) &
cli_pid=$!
for _ in $(seq 600); do
    count=$(cat "$work/silent.count" 2>/dev/null || true)
    [ "${count:-0}" -ge 10 ] && break
    sleep 0.05
done
kill -INT "$cli_pid"
sleep 0.3
kill -INT "$cli_pid"
set +e
wait "$cli_pid"
interrupt_status=$?
set -e
kill "$silent_pid" 2>/dev/null || true
if [ "$interrupt_status" != 130 ] || [ "$(grep -c $'\tnone\t' "$work/windows/interrupt.out")" != 20 ]; then
    echo "interrupt: exit status $interrupt_status, $(wc -l <"$work/windows/interrupt.out") rows"
    status=1
else
    echo "interrupt: two Ctrl+C end the run with every row, exit status 130"
fi
exit "$status"
