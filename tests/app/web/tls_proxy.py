#!/usr/bin/env python3
"""A TLS front for a test's plain loopback HTTP server.

Started by a Windows test under Wine (tests/app/web/tls_server.cpp): it
listens on a free port of 127.0.0.1 (and of ::1, where the machine has it,
since "localhost" may resolve to either), completes the TLS handshake with
the certificate it is given, and passes the decrypted bytes both ways to
127.0.0.1:<backend port>, where the test's LoopbackServer records them.

The test talks to it over one control connection, which the proxy opens to
the test's port (Wine starts a Linux program without a handle to it, so the
test could neither wait for it nor stop it otherwise):
  - first line from the proxy: "port <n>", the TLS port;
  - then one line per connection accepted: "connected" (a client that
    refuses the certificate connects but never reaches the backend);
  - the proxy ends as soon as the test closes the connection, which also
    happens when the test process dies.

Usage: tls_proxy.py CERT KEY BACKEND_PORT CONTROL_PORT
"""
import os
import socket
import ssl
import sys
import threading


def pump(source, sink):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            sink.sendall(data)
    except OSError:
        pass
    finally:
        try:
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class Proxy:
    def __init__(self, cert, key, backend_port, control):
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(cert, key)
        self.backend_port = backend_port
        self.control = control
        self.control_lock = threading.Lock()

    def report(self, line):
        with self.control_lock:
            try:
                self.control.sendall((line + "\n").encode())
            except OSError:
                os._exit(0)

    def serve(self, client):
        client.settimeout(30)
        try:
            tls = self.context.wrap_socket(client, server_side=True)
        except (OSError, ssl.SSLError):
            # The client refused the certificate (or gave up): what the
            # untrusted-certificate tests provoke.
            client.close()
            return
        tls.settimeout(None)
        try:
            backend = socket.create_connection(("127.0.0.1", self.backend_port))
        except OSError:
            tls.close()
            return
        back = threading.Thread(target=pump, args=(backend, tls), daemon=True)
        back.start()
        pump(tls, backend)
        back.join()
        tls.close()
        backend.close()

    def accept_loop(self, listener):
        while True:
            client, _ = listener.accept()
            self.report("connected")
            threading.Thread(target=self.serve, args=(client,), daemon=True).start()


def listeners():
    first = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    first.bind(("127.0.0.1", 0))
    first.listen(32)
    port = first.getsockname()[1]
    found = [first]
    try:
        second = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
        second.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        second.bind(("::1", port))
        second.listen(32)
        found.append(second)
    except OSError:
        pass  # no IPv6 loopback here, or the port is taken there: IPv4 only
    return port, found


def main():
    cert, key, backend_port, control_port = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    control = socket.create_connection(("127.0.0.1", control_port))
    proxy = Proxy(cert, key, backend_port, control)
    port, sockets = listeners()
    for listener in sockets:
        threading.Thread(target=proxy.accept_loop, args=(listener,), daemon=True).start()
    proxy.report("port %d" % port)
    # The test closing its end is the one signal to stop.
    while control.recv(1024):
        pass
    os._exit(0)


if __name__ == "__main__":
    main()
