#!/usr/bin/env python3
"""Serves the browser build's page on this machine only:

    scripts/serve-web.py [--port PORT] [FOLDER]

FOLDER defaults to build/web/page; PORT to 8640, and 0 takes any free one. Prints one line,
"Serving FOLDER at http://127.0.0.1:PORT/", once it listens, so that a script can read the address. The .wasm
goes out as application/wasm, which the browser's streaming compilation insists on, and nothing may be cached:
a rebuilt page is the one the next reload shows.
"""
import argparse
import functools
import http.server
import os
import sys

TYPES = {".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8", ".wasm": "application/wasm"}


class PageHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, **TYPES}

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, format, *args):
        # The requests of a page that works are no news; the failed ones are.
        if len(args) > 1 and str(args[1]).startswith(("4", "5")):
            super().log_message(format, *args)


def main():
    parser = argparse.ArgumentParser(description="Serve the browser build's page on 127.0.0.1.")
    parser.add_argument("folder", nargs="?", default="build/web/page")
    parser.add_argument("--port", type=int, default=8640, help="0 takes any free port (default 8640)")
    args = parser.parse_args()
    if not os.path.isfile(os.path.join(args.folder, "index.html")):
        sys.exit(f"{args.folder} holds no index.html: build the page first "
                 "(cmake --preset web && cmake --build --preset web)")
    handler = functools.partial(PageHandler, directory=args.folder)
    try:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), handler)
    except OSError as error:
        sys.exit(f"Cannot listen on 127.0.0.1:{args.port}: {error.strerror}")
    print(f"Serving {args.folder} at http://127.0.0.1:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
