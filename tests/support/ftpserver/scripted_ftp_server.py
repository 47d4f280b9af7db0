#!/usr/bin/python3
"""FTP server for the tests whose every reply byte is under the test's control.

Usage:
  scripted_ftp_server.py --scenario NAME[,NAME...] --root DIR --transcript FILE
                         [--set key=value ...] [--set key.SUB=value ...]

Listens on 127.0.0.1, port chosen by the system, and prints "PORT <n>" as its first line
on stdout (an empty --scenario means "default"). Every command line received is appended
to FILE at once, one per line, as it arrived without its CR LF: control bytes and the
backslash are escaped (\\r \\n \\t \\\\ \\xNN), a line that ended in a bare LF gets a
trailing \\n, an unterminated rest at close a trailing \\EOF. The scenarios and their
options are described in scenarios.py.

Plain sockets and threads on purpose: a library server would decide reply texts, line
ends and the order of data connection and replies for us.
"""

import argparse
import codecs
import copy
import json
import os
import posixpath
import select
import socket
import stat
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios  # noqa: E402

MONTHS = [b"Jan", b"Feb", b"Mar", b"Apr", b"May", b"Jun",
          b"Jul", b"Aug", b"Sep", b"Oct", b"Nov", b"Dec"]
TRANSFER_COMMANDS = ("LIST", "NLST", "RETR", "STOR", "APPE", "STOU")
IDLE = object()  # next_command: the client said nothing for idle_timeout seconds


class ConfigError(Exception):
    pass


class SessionClosed(Exception):
    pass


def to_bytes(value):
    if isinstance(value, bytes):
        return value
    if isinstance(value, (int, float)):
        return str(value).encode()
    return value.encode("utf-8", "surrogateescape")


def reply_bytes(reply_form):
    """The bytes of a reply form (see scenarios.py), None for "the server's own"."""
    if reply_form is None:
        return None
    if isinstance(reply_form, (list, tuple)):
        return b"".join(to_bytes(line) + b"\r\n" for line in reply_form)
    data = to_bytes(reply_form)
    if b"\r" in data or b"\n" in data:
        return data
    return data + b"\r\n"


def escape_line(data):
    out = bytearray()
    for b in data:
        if b == 0x5C:
            out += b"\\\\"
        elif b == 0x0D:
            out += b"\\r"
        elif b == 0x0A:
            out += b"\\n"
        elif b == 0x09:
            out += b"\\t"
        elif b < 0x20 or b == 0x7F:
            out += b"\\x%02x" % b
        else:
            out.append(b)  # bytes >= 0x80 stay raw: UTF-8 names read back unchanged
    return bytes(out)


def unescape(text):
    return codecs.escape_decode(os.fsencode(text))[0]


def parse_setting(field, sub, text, default):
    """Turns the text of --set into a value of the option's type."""
    if sub is not None:
        if field == "reply_delays":
            return float(text)
        if field == "replies_once":
            return json.loads(text)
        return unescape(text)
    if isinstance(default, bool):
        return text.lower() in ("1", "true", "yes", "on")
    if isinstance(default, (int, float)):
        if text.lower() == "none":
            return None
        return type(default)(float(text)) if isinstance(default, float) else int(text)
    if isinstance(default, (list, dict)):
        try:
            return json.loads(text)
        except ValueError:
            return unescape(text)
    return unescape(text)


def build_options(scenario_names, settings):
    options = copy.deepcopy(scenarios.DEFAULTS)
    for name in [n.strip() for n in scenario_names.split(",") if n.strip()] or ["default"]:
        if name not in scenarios.SCENARIOS:
            raise ConfigError("unknown scenario %r" % name)
        for key, value in scenarios.SCENARIOS[name].items():
            if key not in options:
                raise ConfigError("scenario %r: unknown option %r" % (name, key))
            if isinstance(value, dict):
                options[key].update(copy.deepcopy(value))
            else:
                options[key] = copy.deepcopy(value)
    for setting in settings:
        key, sep, text = setting.partition("=")
        if not sep:
            raise ConfigError("--set needs key=value, got %r" % setting)
        field, dot, sub = key.partition(".")
        if field not in options:
            raise ConfigError("unknown option %r" % field)
        if dot:
            if not isinstance(options[field], dict):
                raise ConfigError("option %r has no entries" % field)
            options[field][sub.upper()] = parse_setting(field, sub, text, None)
        else:
            options[field] = parse_setting(field, None, text, scenarios.DEFAULTS[field])
    close_on = options["close_on"]
    if isinstance(close_on, (str, bytes)):
        close_on = [c for c in to_bytes(close_on).decode("latin-1").split(",") if c]
    options["close_on"] = [c.upper() for c in close_on]
    options["replies"] = {k.upper(): v for k, v in options["replies"].items()}
    options["replies_once"] = {k.upper(): v for k, v in options["replies_once"].items()}
    options["reply_delays"] = {k.upper(): v for k, v in options["reply_delays"].items()}
    return options


def split_command(line):
    # Telnet IP/DM bytes some clients put before ABOR are not part of the word.
    stripped = line.lstrip(b"\xff\xf4\xf2")
    word, sep, arg = stripped.partition(b" ")
    return word.decode("latin-1").upper(), (arg if sep else None)


class Server:
    def __init__(self, options, root, transcript_path):
        self.options = options
        self.root = os.fsencode(os.path.abspath(root)).rstrip(b"/")
        self.transcript = open(transcript_path, "ab", buffering=0)
        self.transcript_lock = threading.Lock()
        self.cuts = 0  # transfers cut so far, in all sessions (cut_times)
        self.once_counts = {}  # replies_once occurrences, with once_across_sessions

    def transcribe(self, shown):
        with self.transcript_lock:
            self.transcript.write(shown + b"\n")


class Session:
    def __init__(self, server, conn):
        self.server = server
        self.options = server.options
        self.conn = conn
        self.cwd = b"/"
        # ("active", (host, port)), ("connected", socket) or ("passive", listening socket)
        self.data_target = None
        self.once_counts = {}
        self.queue = []  # received lines; None marks the end of the connection
        self.queue_cond = threading.Condition()
        self.send_lock = threading.Lock()
        self.pending_never = None  # threading.Event of a transfer that never connects back
        self.stou_counter = 0
        self.blackhole = None  # (listening socket with a full queue, the connection filling it)
        self.connected_back = 0  # active data connections opened in this session

    # --- receiving --------------------------------------------------------------

    def reader(self):
        buf = b""
        try:
            while True:
                try:
                    chunk = self.conn.recv(4096)
                except socket.timeout:
                    continue  # the timeout is there for sending; the session has its own
                if not chunk:
                    break
                buf += chunk
                while True:
                    end = buf.find(b"\n")
                    if end < 0:
                        break
                    line, buf = buf[:end], buf[end + 1:]
                    if line.endswith(b"\r"):
                        line = line[:-1]
                        self.server.transcribe(escape_line(line))
                    else:
                        self.server.transcribe(escape_line(line) + b"\\n")
                    self.push(line)
        except OSError:
            pass  # reset by the client: the same as a close here
        if buf:
            self.server.transcribe(escape_line(buf) + b"\\EOF")
        self.push(None)

    def push(self, line):
        with self.queue_cond:
            self.queue.append(line)
            self.queue_cond.notify_all()

    def next_command(self):
        """The next line; None when the client closed, IDLE when it said nothing for
        idle_timeout seconds."""
        deadline = time.monotonic() + self.options["idle_timeout"]
        with self.queue_cond:
            while not self.queue:
                left = deadline - time.monotonic()
                if left <= 0:
                    return IDLE
                self.queue_cond.wait(left)
            return self.queue.pop(0)

    def session_gone(self):
        with self.queue_cond:
            return None in self.queue

    def take_abort(self, timeout):
        """Removes a queued ABOR, waiting up to timeout seconds for one."""
        deadline = time.monotonic() + (timeout or 0)
        with self.queue_cond:
            while True:
                for i, line in enumerate(self.queue):
                    if line is None:
                        return False
                    if split_command(line)[0] == "ABOR":
                        del self.queue[i]
                        return True
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.queue_cond.wait(left)

    # --- sending ----------------------------------------------------------------

    def send(self, data):
        if data is None:
            return
        delay = self.options["reply_delay"]
        if delay:
            time.sleep(delay)
        size = self.options["reply_chunk_size"]
        pause = self.options["reply_chunk_delay"]
        try:
            with self.send_lock:
                if size and size > 0:
                    for i in range(0, len(data), size):
                        if i and pause:
                            time.sleep(pause)
                        self.conn.sendall(data[i:i + size])
                else:
                    self.conn.sendall(data)
        except OSError:
            raise SessionClosed()

    def reply(self, reply_form, **fields):
        data = reply_bytes(reply_form)
        if data is None:
            return
        for key, value in fields.items():
            data = data.replace(b"{" + key.encode() + b"}", to_bytes(value))
        self.send(data)

    def override(self, word):
        answers = self.options["replies_once"].get(word)
        if answers:
            counts = (self.server.once_counts if self.options["once_across_sessions"]
                      else self.once_counts)
            count = counts.get(word, 0)
            counts[word] = count + 1
            if count < len(answers) and answers[count] not in (None, ""):
                return answers[count]
        return self.options["replies"].get(word)

    # --- session ----------------------------------------------------------------

    def run(self):
        threading.Thread(target=self.reader, daemon=True).start()
        try:
            if self.close_requested("GREETING"):
                return
            self.pause_for("GREETING")
            self.reply(self.options["greeting"])
            while True:
                line = self.next_command()
                if line is IDLE:
                    self.reply(self.options["idle_reply"])
                    return
                if line is None:
                    return
                if not self.handle(line):
                    return
        except SessionClosed:
            pass
        finally:
            self.drop_data_target()
            if self.blackhole is not None:
                for sock in self.blackhole:
                    sock.close()
            if self.pending_never is not None:
                self.pending_never.set()
            try:
                self.conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self.conn.close()

    def pause_for(self, word):
        delay = self.options["reply_delays"].get(word)
        if delay:
            time.sleep(delay)

    def close_requested(self, word):
        if word not in self.options["close_on"]:
            return False
        partial = self.options["close_partial"]
        if partial is not None:
            try:
                with self.send_lock:
                    self.conn.sendall(to_bytes(partial))
            except OSError:
                pass
        return True

    def handle(self, line):
        word, arg = split_command(line)
        if self.close_requested(word):
            return False
        self.pause_for(word)
        reply_form = self.override(word)
        if reply_form is not None:
            self.reply(reply_form)
            return word != "QUIT"
        handler = getattr(self, "cmd_" + word, None) if word.isalpha() else None
        if handler is None:
            self.reply("502 Command not implemented")
            return True
        return handler(arg) is not False

    # --- paths ------------------------------------------------------------------

    def resolve(self, arg):
        arg = arg or b""
        vpath = arg if arg.startswith(b"/") else posixpath.join(self.cwd, arg)
        vpath = posixpath.normpath(vpath)
        vpath = b"/" + vpath.lstrip(b"/")
        return vpath, self.server.root + (b"" if vpath == b"/" else vpath)

    @staticmethod
    def quoted(vpath):
        return b'"' + vpath.replace(b'"', b'""') + b'"'

    # --- simple commands --------------------------------------------------------

    def cmd_USER(self, arg):
        self.reply(b"331 Password required for " + (arg or b""))

    def cmd_PASS(self, arg):
        self.reply("230 User logged in")

    def cmd_TYPE(self, arg):
        kind = (arg or b"").strip().upper()
        if kind in (b"A", b"I", b"A N", b"L 8"):
            self.reply(b"200 Type set to " + kind)
        else:
            self.reply("504 Type not supported")

    def cmd_SYST(self, arg):
        self.reply("215 UNIX Type: L8")

    def cmd_NOOP(self, arg):
        self.reply("200 NOOP ok")

    def cmd_QUIT(self, arg):
        self.reply("221 Goodbye")
        return False

    def cmd_CWD(self, arg):
        if not arg:
            self.reply(b"250 Directory unchanged, still " + self.quoted(self.cwd))
            return
        vpath, path = self.resolve(arg)
        if os.path.isdir(path):
            self.cwd = vpath
            message = self.options["cwd_message"]
            if message is not None:
                self.reply([b"250-Directory changed"] + [to_bytes(m) for m in message]
                           + [b"250 Directory changed to " + self.quoted(vpath)])
                return
            self.reply(b"250 Directory changed to " + self.quoted(vpath))
        else:
            self.reply(b"550 " + arg + b": No such directory")

    def cmd_CDUP(self, arg):
        self.cmd_CWD(b"..")

    def cmd_PWD(self, arg):
        self.reply(b"257 " + self.quoted(self.cwd) + b" is the current directory")

    def cmd_MKD(self, arg):
        vpath, path = self.resolve(arg)
        try:
            os.mkdir(path)
        except OSError as e:
            self.reply(b"550 " + (arg or b"") + b": " + e.strerror.encode())
            return
        self.reply(b"257 " + self.quoted(vpath) + b" created")

    def cmd_RMD(self, arg):
        _, path = self.resolve(arg)
        try:
            os.rmdir(path)
        except OSError as e:
            self.reply(b"550 " + (arg or b"") + b": " + e.strerror.encode())
            return
        self.reply("250 Directory removed")

    def cmd_DELE(self, arg):
        _, path = self.resolve(arg)
        if not os.path.isfile(path):
            self.reply(b"550 " + (arg or b"") + b": No such file")
            return
        os.unlink(path)
        self.reply("250 File deleted")

    def cmd_SIZE(self, arg):
        _, path = self.resolve(arg)
        if not os.path.isfile(path):
            self.reply(b"550 " + (arg or b"") + b": No such file")
            return
        self.reply(b"213 %d" % os.path.getsize(path))

    def cmd_ABOR(self, arg):
        if self.pending_never is not None:
            self.pending_never.set()
            self.pending_never = None
            self.reply(self.options["abort_replies"])
        else:
            self.reply(self.options["abort_idle_reply"])

    # --- data connections -------------------------------------------------------

    def drop_data_target(self):
        if self.data_target and self.data_target[0] != "active":
            self.data_target[1].close()
        self.data_target = None

    def data_socket(self):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if self.options["data_rcvbuf"]:
            # Before connect or listen, so that the window offered to the client is small.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, self.options["data_rcvbuf"])
        return sock

    def connect_to(self, where):
        sock = self.data_socket()
        try:
            sock.bind((to_bytes(self.options["active_source"]).decode(), 0))
            sock.settimeout(self.options["data_timeout"])
            sock.connect(where)
        except OSError:
            sock.close()
            return None
        return sock

    def cmd_PORT(self, arg):
        parts = (arg or b"").strip().split(b",")
        try:
            numbers = [int(p) for p in parts]
        except ValueError:
            numbers = []
        if len(numbers) != 6 or any(n < 0 or n > 255 for n in numbers):
            self.reply("501 Syntax error in PORT argument")
            return
        if numbers[0] != 127:
            # The tests never leave the loopback interface.
            self.reply("501 PORT address must be on 127.0.0.0/8")
            return
        self.drop_data_target()
        where = ("%d.%d.%d.%d" % tuple(numbers[:4]), numbers[4] * 256 + numbers[5])
        if self.options["connect_on_port"]:
            sock = self.connect_to(where)
            if sock is None:
                self.reply("425 Can't open data connection")
                return
            self.data_target = ("connected", sock)
        else:
            self.data_target = ("active", where)
        self.reply("200 PORT command successful")

    def cmd_PASV(self, arg):
        self.drop_data_target()
        listener = self.data_socket()
        listener.bind((to_bytes(self.options["pasv_bind"]).decode(), 0))
        listener.listen(1)
        self.data_target = ("passive", listener)
        port = listener.getsockname()[1]
        if self.options["pasv_blackhole"]:
            port = self.blackhole_port()
        elif self.options["pasv_port"]:
            port = self.options["pasv_port"]
        h = to_bytes(self.options["pasv_address"]).split(b".")
        self.reply(self.options["pasv_reply"], h1=h[0], h2=h[1], h3=h[2], h4=h[3],
                   p1=port // 256, p2=port % 256)

    def open_data(self, preliminary, name):
        """Sends the preliminary reply and opens the data connection, in the order the
        scenario asks for. Returns the socket, or None when it has already answered."""
        target, self.data_target = self.data_target, None
        if target is None:
            self.reply("425 Use PORT or PASV first")
            return None
        kind, where = target
        timeout = self.options["data_timeout"]
        if kind == "connected":
            self.reply(preliminary, name=name)
            sock = where
        elif kind == "active":
            if self.options["never_connect"] and \
                    self.connected_back >= self.options["never_connect_after"]:
                self.reply(preliminary, name=name)
                self.start_never_connect()
                return None
            if not self.options["connect_before_preliminary"]:
                self.reply(preliminary, name=name)
            if self.options["foreign_first"]:
                self.intrude(where)
            sock = self.connect_to(where)
            if sock is not None:
                self.connected_back += 1
            if sock is None:
                self.reply("425 Can't open data connection")
                return None
            if self.options["connect_before_preliminary"]:
                self.reply(preliminary, name=name)
        else:
            if self.options["passive_preliminary_first"]:
                self.reply(preliminary, name=name)
            try:
                where.settimeout(timeout)
                sock, _ = where.accept()
            except OSError:
                self.reply("425 Can't open data connection")
                return None
            finally:
                where.close()
            if not self.options["passive_preliminary_first"]:
                self.reply(preliminary, name=name)
        sock.settimeout(timeout)
        return sock

    def intrude(self, where):
        """A third host connects to the client's data port first and offers bytes; it goes
        away once the client has closed on it (or after data_timeout)."""
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            sock.bind(("127.0.0.2", 0))
            sock.settimeout(self.options["data_timeout"])
            sock.connect(where)
            sock.sendall(b"intruder\r\n")
            while sock.recv(65536):
                pass  # whatever the client sends here would be a photo in the wrong hands
        except OSError:
            pass
        finally:
            sock.close()

    def blackhole_port(self):
        """A port whose listen queue is full: the kernel drops every further SYN."""
        if self.blackhole is None:
            hole = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            hole.bind((to_bytes(self.options["pasv_bind"]).decode(), 0))
            hole.listen(0)
            filler = socket.create_connection(hole.getsockname(), timeout=5)
            self.blackhole = (hole, filler)
        return self.blackhole[0].getsockname()[1]

    def data_limit(self):
        """("cut", n), ("stall", n) or (None, None): what happens after n data bytes."""
        for kind, key in (("cut", "data_cut_after"), ("stall", "data_stall_after")):
            limit = self.options[key]
            if kind == "cut" and 0 <= self.options["cut_times"] <= self.server.cuts:
                continue
            if limit is not None and limit >= 0:
                return kind, limit
        return None, None

    def wait_stalled(self, sock):
        """Neither sends nor reads any more; ends on ABOR, on the client closing the data
        connection (a download only: an upload's unread data hides its close) or with the
        session."""
        while not self.session_gone():
            if self.take_abort(0.05):
                return "aborted"
            if sock is not None and select.select([sock], [], [], 0)[0]:
                try:
                    if not sock.recv(1):
                        return "stalled"
                except OSError:
                    return "stalled"
        return "gone"

    def start_never_connect(self):
        cancel = threading.Event()
        self.pending_never = cancel
        reply_form = self.options["never_connect_reply"]
        delay = self.options["never_connect_delay"]
        if reply_form is None or delay is None:
            return

        def late_reply():
            if not cancel.wait(delay):
                self.pending_never = None
                try:
                    self.reply(reply_form)
                except SessionClosed:
                    pass

        threading.Thread(target=late_reply, daemon=True).start()

    def send_data(self, sock, chunks):
        """Sends the pieces on the data connection; returns "done", "aborted", "failed",
        "cut", "stalled" or "gone"."""
        size = max(1, self.options["data_chunk_size"])
        pause = self.options["data_chunk_delay"]
        kind, limit = self.data_limit()
        total = 0
        try:
            first = True
            for data in chunks:
                for i in range(0, len(data), size):
                    if not first and pause:
                        if self.take_abort(pause):
                            return "aborted"
                    elif self.take_abort(0):
                        return "aborted"
                    first = False
                    piece = data[i:i + size]
                    if kind is not None:
                        piece = piece[:max(0, limit - total)]
                    try:
                        sock.sendall(piece)
                    except OSError:
                        return "failed"
                    total += len(piece)
                    if kind == "cut" and total >= limit:
                        return "cut"
                    if kind == "stall" and total >= limit:
                        return self.wait_stalled(sock)
            try:
                sock.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            return "done"
        finally:
            sock.close()

    def finish(self, outcome):
        if outcome == "gone":
            raise SessionClosed()
        if outcome == "cut":
            self.server.cuts += 1
            if self.options["cut_closes_session"]:
                raise SessionClosed()
            self.reply(self.options["transfer_failed_reply"])
            if self.options["cut_late_reply"] is not None:
                time.sleep(self.options["cut_late_delay"])
                self.reply(self.options["cut_late_reply"])
        elif outcome == "stalled":
            self.reply(self.options["transfer_failed_reply"])
        elif outcome == "aborted":
            self.reply(self.options["abort_replies"])
        elif outcome == "failed":
            # The client dropped the data connection; its ABOR may still be on the way.
            if self.take_abort(self.options["abort_wait"]):
                self.reply(self.options["abort_replies"])
            else:
                self.reply(self.options["transfer_failed_reply"])
        else:
            self.reply(self.options["final_reply"])

    def listing(self, word, arg):
        fixed = self.options["listing" if word == "LIST" else "nlst_listing"]
        if fixed is not None:
            return to_bytes(fixed)
        words = (arg or b"").split(b" ")
        while words and words[0].startswith(b"-"):
            words.pop(0)  # "-l", "-a": options of ls, not a path
        vpath, path = self.resolve(b" ".join(words))
        if os.path.isdir(path):
            folder, names = path, sorted(os.listdir(path))
        elif os.path.lexists(path):
            folder, names = os.path.dirname(path), [os.path.basename(path)]
        else:
            return None
        out = []
        for name in names:
            if word == "NLST":
                out.append(name + b"\r\n")
                continue
            st = os.lstat(os.path.join(folder, name))
            t = time.gmtime(st.st_mtime)
            if abs(time.time() - st.st_mtime) < 180 * 86400:
                when = b"%s %02d %02d:%02d" % (MONTHS[t.tm_mon - 1], t.tm_mday, t.tm_hour, t.tm_min)
            else:
                when = b"%s %02d  %d" % (MONTHS[t.tm_mon - 1], t.tm_mday, t.tm_year)
            out.append(b"%s %3d ftp      ftp      %10d %s %s\r\n" % (
                stat.filemode(st.st_mode).encode(), st.st_nlink, st.st_size, when, name))
        return b"".join(out)

    def cmd_LIST(self, arg, word="LIST"):
        data = self.listing(word, arg)
        if data is None:
            self.reply(b"550 " + (arg or b"") + b": No such file or directory")
            return
        sock = self.open_data(self.options["preliminary_reply"], arg or b"")
        if sock is not None:
            self.finish(self.send_data(sock, [data]))

    def cmd_NLST(self, arg):
        self.cmd_LIST(arg, "NLST")

    def cmd_RETR(self, arg):
        _, path = self.resolve(arg)
        try:
            f = open(path, "rb")
        except OSError:
            self.reply(b"550 " + (arg or b"") + b": No such file")
            return
        with f:
            sock = self.open_data(self.options["preliminary_reply"], arg or b"")
            if sock is not None:
                self.finish(self.send_data(sock, iter(lambda: f.read(65536), b"")))

    def receive_data(self, sock, f):
        """Writes what arrives on the data connection into f until the client closes it;
        returns "done", "aborted", "failed", "cut" or "gone"."""
        timeout = self.options["data_timeout"]
        size = max(1, self.options["upload_chunk_size"])
        pause = self.options["upload_chunk_delay"]
        kind, limit = self.data_limit()
        total = 0
        last = time.monotonic()
        try:
            while True:
                if self.take_abort(0):
                    return "aborted"
                if kind == "cut" and total >= limit:
                    return "cut"  # closed with data unread: the client's sends are reset
                if kind == "stall" and total >= limit:
                    return self.wait_stalled(None)
                ready, _, _ = select.select([sock], [], [], 0.05)
                if not ready:
                    if time.monotonic() - last > timeout:
                        return "failed"
                    continue
                try:
                    chunk = sock.recv(size if kind is None else min(size, limit - total))
                except OSError:
                    return "failed"
                if not chunk:
                    break
                f.write(chunk)
                total += len(chunk)
                last = time.monotonic()
                if pause and self.take_abort(pause):
                    return "aborted"
        finally:
            sock.close()
            f.close()
        # An aborting client closes the data connection right after its ABOR.
        if self.take_abort(self.options["abort_grace"]):
            return "aborted"
        return "done"

    def store(self, arg, mode, preliminary, name):
        _, path = self.resolve(arg)
        try:
            f = open(path, mode)
        except OSError:
            self.reply(b"553 " + (arg or b"") + b": Could not create file")
            return
        sock = self.open_data(preliminary, name)
        if sock is None:
            f.close()
            return
        self.finish(self.receive_data(sock, f))

    def cmd_STOR(self, arg):
        self.store(arg, "wb", self.options["preliminary_reply"], arg or b"")

    def cmd_APPE(self, arg):
        self.store(arg, "ab", self.options["preliminary_reply"], arg or b"")

    def cmd_STOU(self, arg):
        while True:
            self.stou_counter += 1
            name = b"stou-%d.bin" % self.stou_counter
            if not os.path.lexists(self.resolve(name)[1]):
                break
        self.store(name, "xb", self.options["stou_reply"], name)


def watch_parent():
    # A test program that died without stopping us must not leave a server behind.
    parent = os.getppid()
    while True:
        time.sleep(0.5)
        if os.getppid() != parent:
            os._exit(0)


def main():
    parser = argparse.ArgumentParser(description="Scripted FTP test server")
    parser.add_argument("--scenario", default="default")
    parser.add_argument("--root", required=True)
    parser.add_argument("--transcript", required=True)
    parser.add_argument("--set", action="append", default=[], dest="settings")
    args = parser.parse_args()
    try:
        options = build_options(args.scenario, args.settings)
    except (ConfigError, ValueError) as e:
        print("scripted_ftp_server: %s" % e, file=sys.stderr)
        return 2
    if not os.path.isdir(args.root):
        print("scripted_ftp_server: no folder %s" % args.root, file=sys.stderr)
        return 2
    server = Server(options, args.root, args.transcript)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    threading.Thread(target=watch_parent, daemon=True).start()
    while True:
        conn, _ = listener.accept()
        # Each reply write leaves at once, so split replies really arrive in pieces.
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        # A client that stops reading must not hang a reply for ever.
        conn.settimeout(options["data_timeout"])
        threading.Thread(target=Session(server, conn).run, daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
