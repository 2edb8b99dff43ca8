"""Serves a folder on 127.0.0.1 as plain static files, with WebAssembly's
MIME type, gzip for the text and WebAssembly files when the browser takes it,
and "Cache-Control: no-cache" on every answer (the file names carry no
version, so the browser asks each time and gets 304 Not Modified when its
copy is current). Prints the URL to open.

Usage: serve.py FOLDER [PORT]   (PORT 0 takes a free port)
"""

import email.utils
import functools
import gzip
import http.server
import io
import os
import sys

COMPRESSED = {".html", ".js", ".wasm", ".webmanifest", ".json", ".css", ".svg"}


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".js": "text/javascript",
        ".webmanifest": "application/manifest+json",
    }
    # Compressed bodies by path, kept while the file's size and time stay.
    compressed = {}

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        pass

    def end_headers(self):
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def send_head(self):
        path = self.translate_path(self.path)
        if os.path.isdir(path) and self.path.split("?", 1)[0].endswith("/"):
            path = os.path.join(path, "index.html")
        if os.path.splitext(path)[1] not in COMPRESSED or not os.path.isfile(path):
            return super().send_head()
        stat = os.stat(path)
        tag = f'"{stat.st_mtime_ns:x}-{stat.st_size:x}"'
        gzipped = "gzip" in self.headers.get("Accept-Encoding", "")
        if gzipped:
            tag = tag[:-1] + '-gzip"'
        if tag in self.headers.get("If-None-Match", ""):
            self.send_response(304)
            self.send_header("ETag", tag)
            self.end_headers()
            return None
        key = (stat.st_mtime_ns, stat.st_size)
        if gzipped and self.compressed.get(path, (None,))[0] == key:
            body = self.compressed[path][1]
        else:
            with open(path, "rb") as file:
                body = file.read()
            if gzipped:
                body = gzip.compress(body, 9, mtime=0)
                self.compressed[path] = (key, body)
        self.send_response(200)
        self.send_header("Content-Type", self.guess_type(path))
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Last-Modified", email.utils.formatdate(stat.st_mtime, usegmt=True))
        self.send_header("ETag", tag)
        self.send_header("Vary", "Accept-Encoding")
        if gzipped:
            self.send_header("Content-Encoding", "gzip")
        self.end_headers()
        return io.BytesIO(body)


def make_server(folder, port, handler_class=Handler):
    handler = functools.partial(handler_class, directory=folder)
    return http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)


def main():
    folder = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 8000
    try:
        server = make_server(folder, port)
    except OSError as error:
        sys.exit(f"web: cannot serve on 127.0.0.1:{port} ({error.strerror}); try PORT=0")
    print(f"web: open http://127.0.0.1:{server.server_address[1]}/ (Ctrl-C stops)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
