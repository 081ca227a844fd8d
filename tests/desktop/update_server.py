"""The update server, on 127.0.0.1 only: answers the version check with the
text set in `answer`, and serves an installer that it cuts short, so that a
download ends in failure (or, with `whole` set, a tiny whole one that no
program on the desktop opens); nothing is ever installed."""

import http.server
import threading
import time


class UpdateServer:
    def __init__(self):
        self.answer = "{}"
        self.checks = 0
        self.whole = False  # serve a whole (tiny) installer instead
        self._changed = threading.Condition()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                self.rfile.read(int(self.headers.get("Content-Length", 0)))
                body = outer.answer.encode()
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                with outer._changed:
                    outer.checks += 1
                    outer._changed.notify_all()

            def do_GET(self):
                if outer.whole:
                    body = b"MZ" + b"\0" * 65536
                    self.send_response(200)
                    self.send_header("Content-Type", "application/octet-stream")
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                    return
                # 8 MiB promised, 768 KiB given over 3 s: the dialog is seen at
                # work, then the transfer breaks off.
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(8 << 20))
                self.end_headers()
                try:
                    # An installer's first bytes: anything else is refused at once.
                    self.wfile.write(b"MZ")
                    for _ in range(12):
                        self.wfile.write(b"\0" * 65536)
                        self.wfile.flush()
                        time.sleep(0.25)
                except OSError:
                    pass
                self.close_connection = True

            def log_message(self, *args):
                pass

        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    def wait_checks(self, count, timeout=20):
        with self._changed:
            return self._changed.wait_for(lambda: self.checks >= count, timeout)

    def stop(self):
        self._server.shutdown()
        self._server.server_close()
