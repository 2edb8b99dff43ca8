"""Serves a folder on 127.0.0.1 as plain static files, with WebAssembly's
MIME type, and prints the URL to open.

Usage: serve.py FOLDER [PORT]   (PORT 0 takes a free port)
"""

import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".js": "text/javascript",
    }

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        pass


def make_server(folder, port):
    handler = functools.partial(Handler, directory=folder)
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
