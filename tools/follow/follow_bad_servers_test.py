#!/usr/bin/env python3
"""quorvane-follow --source vlc against servers on the VLC port that are not VLC, or a VLC that
misbehaves: none of them gives a position or blocks the run, and a refused password is said
once.

    follow_bad_servers_test.py QUORVANE_FOLLOW_EXE WORK_DIR
"""
import http.server
import os
import shutil
import socketserver
import subprocess
import sys
import threading
import time

GOOD = b'{"time":5,"length":60,"state":"playing","rate":1}'


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def handler(mode, redirect_port=0):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def log_message(self, *args):
            pass

        def body(self, status, data, content_type="application/json"):
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def do_GET(self):
            try:
                if mode == "good":
                    self.body(200, GOOD)
                elif mode == "other-json":
                    self.body(200, b'{"status":"ok","items":[1,2,3]}')
                elif mode == "html":
                    self.body(200, b"<html><body><h1>It works!</h1></body></html>", "text/html")
                elif mode == "invalid-json":
                    self.body(200, b'{"time":5,"state":"playi')
                elif mode == "error-500":
                    self.body(500, b"internal error", "text/plain")
                elif mode == "redirect":
                    self.send_response(302)
                    self.send_header("Location", f"http://127.0.0.1:{redirect_port}/requests/status.json")
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                elif mode == "ten-megabytes":
                    # A status that would be valid, were it not padded to 10 MB.
                    self.body(200, GOOD[:-1] + b',"pad":"' + b"x" * (10 << 20) + b'"}')
                elif mode == "endless":
                    self.send_response(200)
                    self.send_header("Content-Type", "application/json")
                    self.end_headers()
                    self.wfile.write(GOOD[:-1] + b',"pad":"')
                    end = time.monotonic() + 5  # dribbles on (bounded here, so the test ends)
                    while time.monotonic() < end:
                        self.wfile.write(b"x" * 64)
                        self.wfile.flush()
                        time.sleep(0.01)
                elif mode == "wrong-password":
                    self.send_response(401)
                    self.send_header("WWW-Authenticate", 'Basic realm="VLC stream"')
                    self.send_header("Content-Length", "0")
                    self.end_headers()
            except (BrokenPipeError, ConnectionResetError):
                pass

    return Handler


def serve(mode, redirect_port=0):
    server = Server(("127.0.0.1", 0), handler(mode, redirect_port))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    exe, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    srt = os.path.join(work, "one.srt")
    with open(srt, "w", newline="\r\n") as f:
        f.write("1\n00:00:00,000 --> 00:10:00,000\nshown\n\n")

    good = serve("good")
    modes = ["good", "other-json", "html", "invalid-json", "error-500", "redirect", "ten-megabytes",
             "endless", "wrong-password"]
    failures = []
    for mode in modes:
        server = good if mode == "good" else serve(mode, good.server_address[1])
        started = time.monotonic()
        out = subprocess.run(["wine", exe, "--lang", "en", "--source", "vlc", "--port", str(server.server_address[1]),
                              "--password", "p", "--seconds", "2", srt],
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=60).stdout.decode("utf-8", "replace")
        took = time.monotonic() - started
        shown = "shown" in out
        refused = out.count("refused the password")
        ok = shown == (mode == "good") and refused == (1 if mode == "wrong-password" else 0) and took < 15
        print(f"{'ok:  ' if ok else 'FAIL:'} {mode}: cue shown={shown}, refusal told {refused}x, {took:.1f} s")
        if not ok:
            print(out)
            failures.append(mode)
    print(f"{'FAILED' if failures else 'PASSED'}: {len(failures)} of {len(modes)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
