#!/usr/bin/env python3
"""Loopback servers for the update client tests.

Starts, on 127.0.0.1 with free ports:
  - the check service (plain HTTP), answering /rest/camera/updateCorrectFile;
  - the file server (HTTPS) with a certificate for 127.0.0.1 and localhost;
  - a second HTTPS file server whose certificate names another host.
Both certificates are signed by a certificate authority made here with
openssl. Files are served from --root. Behaviour is read, at each request,
from --root/control.json:
  check_reply   text of the check service's answer ("" answers 404)
  check_delay   seconds to wait before answering the check service
  cut           {path: n}: announce the full length, send n bytes, close
  pace          {path: [chunks, seconds]}: send in that many pieces, pausing between
  nolength      [path, ...]: send without a length, end by closing
Every request path is appended to --root/requests.log.
Prints one JSON line with the ports and the bundle path, then serves until
killed.
"""
import argparse
import http.server
import json
import os
import ssl
import subprocess
import sys
import threading
import time


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    openssl("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=Update Test Authority",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    for name, san in (("good", "IP:127.0.0.1,DNS:localhost"), ("wrong", "DNS:wrong.invalid")):
        openssl("req", *ec, "-keyout", name + ".key", "-out", name + ".csr",
                "-subj", "/CN=" + name, cwd=folder)
        with open(os.path.join(folder, name + ".ext"), "w") as f:
            f.write("basicConstraints=CA:FALSE\nsubjectAltName=" + san + "\n")
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", name + ".pem", "-days", "2",
                "-extfile", name + ".ext", cwd=folder)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, *args):
        pass

    def control(self):
        try:
            with open(os.path.join(self.root, "control.json")) as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def do_GET(self):
        with open(os.path.join(self.root, "requests.log"), "a") as f:
            f.write(self.path + "\n")
        ctl = self.control()
        try:
            if self.path.startswith("/rest/camera/updateCorrectFile"):
                self.check_service(ctl)
            else:
                self.file(ctl)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass

    def check_service(self, ctl):
        time.sleep(float(ctl.get("check_delay", 0)))
        body = ctl.get("check_reply", "").encode()
        self.answer(200 if body else 404, body)

    def answer(self, status, body):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def file(self, ctl):
        rel = self.path.lstrip("/").split("?")[0]
        full = os.path.realpath(os.path.join(self.root, rel))
        if not full.startswith(os.path.realpath(self.root) + os.sep) or not os.path.isfile(full):
            self.answer(404, b"not found")
            return
        with open(full, "rb") as f:
            data = f.read()
        self.close_connection = True
        self.send_response(200)
        if rel not in ctl.get("nolength", []):
            self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        if rel in ctl.get("cut", {}):
            self.wfile.write(data[:int(ctl["cut"][rel])])
            self.wfile.flush()
            return
        chunks, seconds = ctl.get("pace", {}).get(rel, [1, 0])
        step = max(1, -(-len(data) // int(chunks)))
        for i in range(0, len(data), step):
            if i:
                time.sleep(float(seconds))
            self.wfile.write(data[i:i + step])
            self.wfile.flush()


def serve(context=None):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if context:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def tls(folder, name):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    return ctx


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--certs", required=True)
    args = ap.parse_args()
    Handler.root = args.root
    os.makedirs(args.certs, exist_ok=True)
    make_certificates(args.certs)
    ports = {
        "http": serve(),
        "https": serve(tls(args.certs, "good")),
        "wrong": serve(tls(args.certs, "wrong")),
        "ca": os.path.join(args.certs, "ca.pem"),
    }
    print(json.dumps(ports), flush=True)
    # Serve until killed or until the test closes our standard input.
    sys.stdin.read()


if __name__ == "__main__":
    main()
