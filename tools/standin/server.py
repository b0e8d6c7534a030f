#!/usr/bin/python3
"""Local stand-in for the maker's web service, content server and web site.

It answers in the shapes the manager relies on, on 127.0.0.1 only, so the demo,
the tests and the benchmarks run the real client code over real HTTP.

  POST <login path>      four form fields -> plain text: a session line, or a
                         message containing the error marker
  POST <catalogue path>  same fields (kind "1") -> XML of PLUGIN / PLUGIN_DEMO
  GET  anything else     a file from the content folder, with Content-Length
  POST /__standin/fault  set or clear fault switches (JSON, see Faults)
  GET  /__standin/log    the requests seen so far (JSON): method, path,
                         fields, range, ifRange, and the body bytes sent
  GET  /__standin/connections  how many connections were accepted

Faults, per path or for every path ("*"), optionally for the next N requests
only: refuse (close without answering), delay (ms before anything is sent),
stall (ms of silence after the headers and half the body), empty, truncate
(send half the body but declare all of it), overlong (send more than
declared), pad (append this many filler bytes), claim (declare this length
but send the body as it is), status (404, 500, 302 with a Location), flip
(change the byte at an offset), body (answer with this text instead), serve
(answer with this file of the content folder instead), drop (close the
connection after this many body bytes), etag (announce this ETag instead),
norange (ignore Range and If-Range: always the whole file).

Files are served with an ETag and a Last-Modified date and honour
"Range: bytes=N-" / "bytes=N-M" with If-Range (206, or 416 past the end).
Answers keep the connection open unless a fault is set.

  GET  /__standin/id     the --id given at start, so a caller can tell that
                         the server on the port is the one it started
  POST /__standin/newer  {"newer": true} publishes each product's "newer"
                         release (its version and installer); false withdraws
                         them (--newer starts with them published)

The manager's update manifest, /plugin-manager/latest.json (and its .sig),
announces the manager's own version unless the server is started with
--manager-update: then it is the one in /plugin-manager/offer/, which offers
the next minor version (make-content.py writes both).

--latency-ms N stands for a distant server: every answer waits N ms before
its headers, and every new connection another N ms before its first request
is read (the TCP and TLS set-up). --cert FILE --key FILE serve https.
"""
import argparse
import email.utils
import hashlib
import json
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import protocol  # noqa: E402


def rot13(text):
    out = []
    for c in text:
        if "a" <= c <= "z":
            out.append(chr((ord(c) - 97 + 13) % 26 + 97))
        elif "A" <= c <= "Z":
            out.append(chr((ord(c) - 65 + 13) % 26 + 65))
        else:
            out.append(c)
    return "".join(out)


class State:
    def __init__(self, data_dir, content_dir):
        self.data_dir = data_dir
        self.content_dir = os.path.realpath(content_dir)
        self.lock = threading.Lock()
        self.faults = {}
        self.log = []
        self.newer = False
        self.connections = 0

    def load(self, name):
        with open(os.path.join(self.data_dir, name), encoding="utf-8") as f:
            return json.load(f)

    def take_fault(self, path):
        with self.lock:
            for key in (path, "*"):
                fault = self.faults.get(key)
                if fault is None:
                    continue
                count = fault.get("count")
                if count is not None:
                    if count <= 1:
                        del self.faults[key]
                    else:
                        fault["count"] = count - 1
                return dict(fault)
        return None


def catalogue_xml(account, catalogue, base, newer=False):
    products = {str(p["id"]): dict(p, **p["newer"]) if newer and p.get("newer") else p
                for p in catalogue["products"]}
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<PLUGINS>"]

    def element(tag, product, owned):
        attrs = dict(product.get("attributes", {}))
        attrs.setdefault("id", str(product["id"]))
        attrs.setdefault("name", product["name"])
        attrs.setdefault("version", product.get("version", ""))
        attrs.setdefault("productURL", base + "/products/" + str(product["id"]) + "/")
        if product.get("thumbnail"):
            attrs.setdefault("imageURL", base + "/thumbnails/" + product["thumbnail"])
        if product.get("installer"):
            attrs.setdefault("downloadPC", base + "/installers/" + product["installer"])
        attrs.setdefault("freebie", "1" if product.get("freebie") else "0")
        if owned:
            attrs.setdefault("hash", hashlib.md5(product["name"].encode()).hexdigest())
            attrs.setdefault("date", product.get("date", "2026-01-01"))
            attrs.setdefault("nfr", "1" if str(product["id"]) in account.get("nfr", []) else "0")
        text = " ".join("%s=%s" % (k, quoteattr(str(v))) for k, v in attrs.items())
        lines.append("  <%s %s/>" % (tag, text))

    for pid in account.get("owned", []):
        if str(pid) in products:
            element("PLUGIN", products[str(pid)], True)
    for pid in account.get("demos", []):
        if str(pid) in products:
            element("PLUGIN_DEMO", products[str(pid)], False)
    lines.append("</PLUGINS>")
    return "\n".join(lines) + "\n"


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuillotoneStandIn/1.0"
    # An idle kept connection is let go after this long.
    timeout = 60
    # Headers and body go out in separate writes; with Nagle's algorithm the
    # second waits for the client's delayed acknowledgement on a kept connection.
    disable_nagle_algorithm = True

    def setup(self):
        with self.server.state.lock:
            self.server.state.connections += 1
        if self.server.latency:
            time.sleep(self.server.latency / 1000.0)
        if self.server.tls is not None:
            self.request.settimeout(10)
            self.request = self.server.tls.wrap_socket(self.request, server_side=True)
        super().setup()

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("standin: " + fmt % args + "\n")

    # -- plumbing -----------------------------------------------------------
    def record(self, method, fields=None):
        self.entry = {"method": method, "path": self.path, "fields": fields or [],
                      "range": self.headers.get("Range"), "ifRange": self.headers.get("If-Range"), "sent": 0}
        with self.server.state.lock:
            self.server.state.log.append(self.entry)

    def count_sent(self, n):
        entry = getattr(self, "entry", None)
        if entry is not None:
            with self.server.state.lock:
                entry["sent"] += n

    def answer(self, status, body, content_type="text/plain; charset=utf-8", headers=None):
        if isinstance(body, str):
            body = body.encode("utf-8")
        path = urllib.parse.urlsplit(self.path).path
        fault = self.server.state.take_fault(path) or {}

        if self.server.latency and not path.startswith("/__standin/"):
            time.sleep(self.server.latency / 1000.0)
        if "delay" in fault:
            time.sleep(fault["delay"] / 1000.0)
        if fault.get("refuse"):
            self.close_connection = True
            try:
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            except OSError:
                pass
            return
        if "body" in fault:
            body = fault["body"].encode("utf-8")
        if "serve" in fault:
            with open(os.path.join(self.server.state.content_dir, fault["serve"]), "rb") as f:
                body = f.read()
        if fault.get("empty"):
            body = b""
        if "pad" in fault:
            body = body + b"#" * int(fault["pad"])
        if "flip" in fault and body:
            offset = min(int(fault["flip"]), len(body) - 1)
            body = body[:offset] + bytes([body[offset] ^ 0xFF]) + body[offset + 1:]
        if "status" in fault:
            status = int(fault["status"])
            headers = dict(headers or {})
            if status in (301, 302, 303, 307):
                headers["Location"] = fault.get("location", "/moved")

        declared = int(fault.get("claim", len(body)))
        sent = body
        if fault.get("truncate"):
            sent = body[: len(body) // 2]
        if fault.get("overlong"):
            sent = body + b"EXTRA-BYTES-BEYOND-THE-DECLARED-LENGTH"

        if "drop" in fault:
            sent = sent[: int(fault["drop"])]

        # A faulty answer ends its connection, so nothing of it lingers into the next.
        if fault:
            self.close_connection = True
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(declared))
        if self.close_connection:
            self.send_header("Connection", "close")
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            try:
                if "stall" in fault:
                    half = len(sent) // 2
                    self.wfile.write(sent[:half])
                    self.wfile.flush()
                    self.count_sent(half)
                    time.sleep(fault["stall"] / 1000.0)
                    sent = sent[half:]
                view = memoryview(sent)
                for start in range(0, len(sent), 1 << 20):
                    self.wfile.write(view[start:start + (1 << 20)])
                    self.count_sent(min(1 << 20, len(sent) - start))
                self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
                self.close_connection = True

    def base(self):
        host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]
        return ("https://" if self.server.tls is not None else "http://") + host

    # -- requests -------------------------------------------------------------
    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length).decode("utf-8", "replace") if length else ""
        path = urllib.parse.urlsplit(self.path).path

        if path == "/__standin/fault":
            self.control(raw)
            return
        if path == "/__standin/newer":
            self.server.state.newer = bool(json.loads(raw or "{}").get("newer"))
            self.answer(200, "OK")
            return

        fields = urllib.parse.parse_qsl(raw, keep_blank_values=True)
        self.record("POST", fields)

        if path == protocol.LOGIN_PATH:
            self.service(fields, "0")
        elif path == protocol.CATALOGUE_PATH:
            self.service(fields, "1")
        else:
            self.answer(404, "Not found")

    def control(self, raw):
        request = json.loads(raw or "{}")
        state = self.server.state
        with state.lock:
            if request.get("clear"):
                state.faults.clear()
                state.log.clear()
            for path, fault in request.get("faults", {}).items():
                if fault is None:
                    state.faults.pop(path, None)
                else:
                    state.faults[path] = fault
        self.send_response(200)
        self.send_header("Content-Length", "2")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        self.wfile.write(b"OK")

    def service(self, fields, expected_kind):
        names = [name for name, _ in fields]
        if names != list(protocol.PARAMETER_NAMES):
            self.answer(200, "Error: the request was not understood.")
            return
        values = dict(fields)
        email = rot13(values[protocol.PARAMETER_NAMES[0]])
        password = rot13(values[protocol.PARAMETER_NAMES[1]])
        digest = values[protocol.PARAMETER_NAMES[2]]
        kind = values[protocol.PARAMETER_NAMES[3]]

        if kind != expected_kind or email != email.lower() or digest != hashlib.md5(email.encode("utf-8")).hexdigest():
            self.answer(200, "Error: the request was not understood.")
            return

        accounts = self.server.state.load("accounts.json")
        account = next((a for a in accounts if a["email"].lower() == email), None)

        if account is None or account["password"] != password:
            self.answer(200, "ERROR: The e-mail address or password is incorrect.")
            return
        if account.get("disabled"):
            self.answer(200, "Error: This account has been disabled. Please contact support.")
            return

        if kind == "0":
            token = hashlib.sha256((email + ":" + password).encode()).hexdigest()[:24]
            self.answer(200, "OK\r\n" + account.get("name", email) + "|" + token + "\r\n")
        else:
            catalogue = self.server.state.load("catalogue.json")
            self.answer(200, catalogue_xml(account, catalogue, self.base(), self.server.state.newer),
                        "text/xml; charset=utf-8")

    def do_GET(self):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if not path.startswith("/__standin/"):
            self.record("GET")

        if path == "/__standin/id":
            self.answer(200, self.server.identity)
            return

        if path == "/__standin/log":
            with self.server.state.lock:
                body = json.dumps(self.server.state.log)
            self.answer(200, body, "application/json")
            return

        if path == "/__standin/connections":
            with self.server.state.lock:
                body = str(self.server.state.connections)
            self.answer(200, body)
            return

        if self.server.manager_update and path in ("/plugin-manager/latest.json", "/plugin-manager/latest.json.sig"):
            path = path.replace("/plugin-manager/", "/plugin-manager/offer/", 1)

        root = self.server.state.content_dir
        target = os.path.realpath(os.path.join(root, path.lstrip("/")))

        if os.path.isdir(target):
            target = os.path.join(target, "index.html")
        if not (target == root or target.startswith(root + os.sep)) or not os.path.isfile(target):
            self.answer(404, "Not found")
            return

        with open(target, "rb") as f:
            body = f.read()
        kind = "application/octet-stream"
        for ext, mime in ((".png", "image/png"), (".json", "application/json"), (".html", "text/html"), (".zip", "application/zip")):
            if target.endswith(ext):
                kind = mime
        status, body, headers = self.ranged(path, os.stat(target), body)
        self.answer(status, body, kind, headers)

    def ranged(self, path, info, body):
        """The part of a file the request asks for: status, bytes, headers."""
        with self.server.state.lock:
            fault = dict(self.server.state.faults.get(path) or self.server.state.faults.get("*") or {})
        etag = fault.get("etag", '"%x-%x"' % (info.st_mtime_ns, info.st_size))
        modified = email.utils.formatdate(info.st_mtime, usegmt=True)
        headers = {"ETag": etag, "Last-Modified": modified}
        if fault.get("norange"):
            return 200, body, headers
        headers["Accept-Ranges"] = "bytes"
        wanted = self.headers.get("Range", "")
        condition = self.headers.get("If-Range")
        if not wanted.startswith("bytes=") or "," in wanted or (condition is not None and condition not in (etag, modified)):
            return 200, body, headers
        first, _, last = wanted[6:].strip().partition("-")
        try:
            first = int(first)
            last = int(last) if last else len(body) - 1
        except ValueError:
            return 200, body, headers
        if first >= len(body) or last < first:
            headers["Content-Range"] = "bytes */%d" % len(body)
            return 416, b"", headers
        last = min(last, len(body) - 1)
        headers["Content-Range"] = "bytes %d-%d/%d" % (first, last, len(body))
        return 206, body[first:last + 1], headers

    do_HEAD = do_GET


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--port", type=int, default=38080)
    parser.add_argument("--data", default=os.path.join(here, "demo"), help="folder with accounts.json and catalogue.json")
    parser.add_argument("--content", required=True, help="folder served to GET requests")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--id", default="", help="answered at /__standin/id")
    parser.add_argument("--newer", action="store_true", help="start with the newer releases published")
    parser.add_argument("--manager-update", action="store_true", help="announce a newer manager")
    parser.add_argument("--latency-ms", type=int, default=0, help="wait this long per answer and per new connection")
    parser.add_argument("--cert", help="serve https with this certificate (PEM)")
    parser.add_argument("--key", help="the certificate's private key (PEM)")
    args = parser.parse_args()

    ThreadingHTTPServer.allow_reuse_address = True
    ThreadingHTTPServer.daemon_threads = True
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.state = State(args.data, args.content)
    server.verbose = args.verbose
    server.identity = args.id
    server.state.newer = args.newer
    server.manager_update = args.manager_update
    server.latency = max(0, args.latency_ms)
    server.tls = None
    if args.cert:
        server.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        server.tls.load_cert_chain(args.cert, args.key)
    if not args.verbose:
        # A client that refuses the certificate or hangs up is no news here.
        server.handle_error = lambda request, address: None
    print("stand-in listening on %s://127.0.0.1:%d" % ("https" if server.tls else "http", args.port), flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
