#!/usr/bin/env bash
# End to end: quorvel-cli check against a real web server. Starts its own
# nginx on 127.0.0.1 (a free port) with a page tree made here, checks a record
# file pointing at it and compares every row. Run inside a loopback-only
# network namespace (scripts/netns-run).
set -euo pipefail
cli=$1
nginx=${NGINX:-/usr/sbin/nginx}

work=$(mktemp -d)
nginx_pid=""
cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/www" "$work/tmp"
me='http://www.mysite.example.com/'
echo "<p><a href=\"$me\">me</a></p>" > "$work/www/found.html"
echo "<a href=\"$me\" rel=\"nofollow\">me</a>" > "$work/www/nofollow.html"
echo "<noindex><a href=\"http://mysite.example.com/\">me</a></noindex>" > "$work/www/noindex.html"
echo '<a href="http://other.example.net/">someone else</a>' > "$work/www/missing.html"
{
    for i in 1 2 3 4 5 6 7 8; do echo "<a href=\"http://site$i.example.net/\">$i</a>"; done
    echo "<a href=\"$me\">me</a>"
} > "$work/www/farm.html"

cat > "$work/nginx.conf" <<CONF
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
    server {
        listen 127.0.0.1:$port;
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

host="partner.test:$port"
records=""
for page in found.html nofollow.html noindex.html missing.html nothing.html redirect farm.html; do
    records+="<QV_U>$host/$page</QV_U><QV_I></QV_I><QV_E></QV_E><QV_D>21.10.2010</QV_D>"
    records+="<QV_4></QV_4><QV_5>5</QV_5><QV_6>$me</QV_6><QV_7></QV_7>"$'\r\n'
done
printf '%s' "$records" > "$work/list.qvp"

status=0
"$cli" check --resolve "partner.test:$port:127.0.0.1" --resolve "www.partner.test:$port:127.0.0.1" \
    "$work/list.qvp" > "$work/rows.tsv" || status=$?

expected=$(printf '%s\n' \
    "0	Found	1	0	$host/found.html			none	0	me			1" \
    "1	Hidden	0	0	$host/nofollow.html	nofollow		none	0	me			1" \
    "2	Hidden	0	0	$host/noindex.html	noindex		none	0	me			1" \
    "3	Missing	1	0	$host/missing.html			none	0				1" \
    "4	FetchFailed	0	0	$host/nothing.html	http 404; http 404		none	0				" \
    "5	Found	1	0	$host/redirect			none	0	me			1" \
    "6	Found	9	1	$host/farm.html			none	0	me			9")
if [ "$(cat "$work/rows.tsv")" != "$expected" ] || [ "$status" -ne 1 ]; then
    echo "unexpected result (exit status $status):"
    diff <(echo "$expected") "$work/rows.tsv" || true
    cat "$work/error.log" || true
    exit 1
fi
echo "check against nginx: 7 rows as expected"
