#!/usr/bin/env python3
"""A stand-in for the music service, for trying the tool without one.

Listens on 127.0.0.1 only and answers
  /yy/...            any play-data request: a song record shaped like the
                     service's (UTF-8 JSON, texts as \\uXXXX escapes, slashes
                     escaped) whose cover and audio addresses point back here;
  /cover/<hash>.jpg  a cover picture made on the spot;
  /audio/<hash>.wav  a short chime made on the spot.
Every request is logged as one line on stdout and, with --log, in that file.

  standin_service.py [--port N] [--port-file FILE] [--log FILE]

--port asks for a port (0, the default, takes any free one; a busy port falls
back to a free one); the port in use is printed and written to --port-file.
"""

import argparse
import http.server
import json
import os
import re
import signal
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standin_media  # noqa: E402

HOST = "127.0.0.1"


def record(port, song_hash):
    base = "http://%s:%d" % (HOST, port)
    data = {
        "status": 1,
        "err_code": 0,
        "data": {
            "hash": song_hash,
            "timelength": 1500,
            "song_name": "示例歌曲",
            "author_name": "SongLink 演示",
            "img": "%s/cover/%s.jpg" % (base, song_hash),
            # The tool cuts the audio address at the marker of the next field.
            "play_url": "%s/audio/%s.wav" % (base, song_hash),
            "authors": [{"author_name": "SongLink 演示"}],
        },
    }
    text = json.dumps(data, ensure_ascii=True, separators=(",", ":"))
    return text.replace("/", "\\/").encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "SongLinkStandIn/1"
    cover = standin_media.cover_jpeg()
    chime = standin_media.chime_wav()

    def do_GET(self):
        target = urllib.parse.urlsplit(self.path)
        if target.path.startswith("/yy/"):
            query = urllib.parse.parse_qs(target.query)
            song_hash = re.sub(r"[^0-9A-Za-z]", "", query.get("hash", [""])[0])[:64] or "SAMPLE"
            self.reply(200, "text/html; charset=utf-8", record(self.server.server_address[1], song_hash))
        elif target.path.startswith("/cover/"):
            self.reply(200, "image/jpeg", self.cover)
        elif target.path.startswith("/audio/"):
            self.reply(200, "audio/wav", self.chime)
        else:
            self.reply(404, "text/plain", b"not here\n")

    def reply(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_request(self, code="-", size="-"):
        line = "standin: %s %s -> %s" % (self.command, self.path, code)
        print(line, flush=True)
        if self.server.log_path:
            with open(self.server.log_path, "a", encoding="utf-8") as log:
                log.write(line + "\n")

    def log_message(self, format, *args):
        pass  # errors of single requests: the request line above says enough


def main():
    parser = argparse.ArgumentParser(description="Stand-in play-data service on 127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    args = parser.parse_args()

    try:
        server = http.server.ThreadingHTTPServer((HOST, args.port), Handler)
    except OSError:
        server = http.server.ThreadingHTTPServer((HOST, 0), Handler)
    server.log_path = args.log
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".part", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".part", args.port_file)
    print("standin: listening on http://%s:%d/" % (HOST, port), flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
