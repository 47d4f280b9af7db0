#!/usr/bin/python3
"""pyftpdlib as a field server for scripts/field-matrix.

    pyftpd.py ROOT ADDRESS PORT [--foreign] [--idle SECONDS] [--passive LOW-HIGH]

Serves ROOT to Lichtfracht (password 58Kovarenisobume) on ADDRESS:PORT until SIGTERM.
--foreign accepts a PORT naming another address than the client's own (as some servers
do; behind a NAT router the connect-back then goes nowhere). --idle drops a session that
sent nothing for SECONDS. PASV names the address the control connection came in on, as a
server behind a NAT router with nothing configured does. Every command and reply is
logged to standard error.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("address")
    parser.add_argument("port", type=int)
    parser.add_argument("--foreign", action="store_true")
    parser.add_argument("--idle", type=int, default=300)
    parser.add_argument("--passive", default="30000-30019")
    options = parser.parse_args()

    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG,
                        format="%(asctime)s %(message)s")
    authorizer = DummyAuthorizer()
    authorizer.add_user("Lichtfracht", "58Kovarenisobume", options.root, perm="elradfmwMT")
    low, high = (int(part) for part in options.passive.split("-"))

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = options.foreign
    Handler.timeout = options.idle
    Handler.passive_ports = range(low, high + 1)
    Handler.banner = "Lichtfracht-Feldtest (pyftpdlib) bereit."

    server = FTPServer((options.address, options.port), Handler)
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
