#!/usr/bin/env python3
"""The two sides of scripts/soak.

  soak_parts.py server PORT        a keep-alive HTTP/1.1 web server on 127.0.0.1
  soak_parts.py client PORT SECONDS BOUND HOST...
      one program making keep-alive GETs for SECONDS, cycling through the
      hosts; prints one line of counts when done: sent answered redirected
      errors stalled. A request that gets no answer within BOUND seconds is
      stalled. A redirect to the block page ends the connection, as a
      browser leaves a page it is sent away from; so does any error.
"""
import http.client
import http.server
import socket
import sys
import time

PAGE = (b'<html><body>A page. <script>window.open("ad.html")</script>'
        + b'x' * 2000 + b'</body></html>\n')


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'  # keep-alive with a length on every answer

    def do_GET(self):
        self.send_response(200)
        self.send_header('Content-Type', 'text/html')
        self.send_header('Content-Length', str(len(PAGE)))
        self.end_headers()
        self.wfile.write(PAGE)

    def handle(self):
        try:
            super().handle()
        except ConnectionError:
            pass  # a program that was sent away closes its connection at once

    def log_message(self, *args):
        pass


def serve(port):
    server = http.server.ThreadingHTTPServer(('127.0.0.1', port), Handler)
    server.daemon_threads = True
    server.serve_forever()


def run_client(port, seconds, bound, hosts):
    counts = dict(sent=0, answered=0, redirected=0, errors=0, stalled=0)
    end = time.monotonic() + seconds
    connection = None
    turn = 0
    while time.monotonic() < end:
        host = hosts[turn % len(hosts)]
        turn += 1
        if connection is None:
            connection = http.client.HTTPConnection('127.0.0.1', port, timeout=bound)
        try:
            counts['sent'] += 1
            connection.request('GET', '/page%d.html' % turn, headers={'Host': host})
            response = connection.getresponse()
            location = response.getheader('Location') or ''
            if response.status == 302 and 'site=' in location:
                counts['redirected'] += 1
                connection.close()
                connection = None
                continue
            body = response.read()
            if response.status == 200 and len(body) == len(PAGE):
                counts['answered'] += 1
            else:
                counts['errors'] += 1
                connection.close()
                connection = None
        except socket.timeout:
            counts['stalled'] += 1
            connection.close()
            connection = None
        except (OSError, http.client.HTTPException):
            counts['errors'] += 1
            connection.close()
            connection = None
    print(' '.join(str(counts[k]) for k in
                   ('sent', 'answered', 'redirected', 'errors', 'stalled')), flush=True)


def main():
    if sys.argv[1] == 'server':
        serve(int(sys.argv[2]))
    else:
        run_client(int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5:])


if __name__ == '__main__':
    main()
