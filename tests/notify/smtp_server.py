#!/usr/bin/python3
"""A loopback SMTP server for the notice tests (aiosmtpd).

    smtp_server.py MODE CERT KEY OUTDIR [USER PASSWORD]

MODE is "starttls" (STARTTLS offered and required before MAIL and AUTH),
"smtps" (TLS from the first byte) or "plain" (no TLS offered at all). With
USER and PASSWORD, AUTH is required. Each message taken is parsed with
Python's own mail parser and written to OUTDIR as N.json; the port is
printed on the first line of standard output once the server listens.
"""

import email
import email.header
import email.policy
import json
import os
import signal
import socket
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Handler:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.content, policy=email.policy.compat32)
        subject = str(email.header.make_header(email.header.decode_header(message["Subject"])))
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": server.transport.get_extra_info("ssl_object") is not None,
            "authenticated": bool(session.authenticated),
            "subject": subject,
            "date": message["Date"],
            "message_id": message["Message-ID"],
            "from": message["From"],
            "to": message["To"],
            "content_type": message.get_content_type(),
            "charset": message.get_content_charset(),
            "body": message.get_payload(decode=True).decode("utf-8"),
            "raw": envelope.content.decode("ascii", "replace"),
        }
        with self.lock:
            self.count += 1
            path = os.path.join(self.outdir, "%d.json" % self.count)
        with open(path + ".tmp", "w", encoding="utf-8") as f:
            json.dump(record, f, ensure_ascii=False)
        os.rename(path + ".tmp", path)
        return "250 Message accepted for delivery"


def main():
    mode, cert, key, outdir = sys.argv[1:5]
    credentials = tuple(sys.argv[5:7]) if len(sys.argv) >= 7 else None
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = credentials is not None and (
            auth_data.login.decode(), auth_data.password.decode()) == credentials
        return AuthResult(success=ok, handled=False)

    kwargs = {"hostname": "127.0.0.1", "port": free_port(), "server_hostname": "smtp.test"}
    if credentials:
        kwargs.update(authenticator=authenticate, auth_required=True,
                      auth_require_tls=True)
    if mode == "starttls":
        kwargs.update(tls_context=context, require_starttls=True)
    elif mode == "smtps":
        # aiosmtpd counts only STARTTLS as TLS for AUTH; here the whole
        # connection is TLS from the first byte.
        kwargs.update(ssl_context=context, auth_require_tls=False)
    controller = Controller(Handler(outdir), **kwargs)
    controller.start()
    print(controller.port, flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
