"""Scenarios of the scripted FTP test server: plain data, read by scripted_ftp_server.py.

A scenario is a dict of option overrides on top of DEFAULTS. Several scenarios can be
joined with commas (--scenario a,b: later ones win), and --set key=value (or
--set key.SUB=value for one entry of a dict option) overrides a single field at start.

Replies (written "reply" below) are given as:
  "text"             one line; the server appends CR LF
  "text\\r\\n..."      a text holding CR or LF is sent exactly as written (raw line ends,
                     LF-only, multi-line "230-..." replies, blank lines in between)
  ["l1", "l2", ...]  several lines, each followed by CR LF
  None / missing     the server's own reply
Values given with --set are text with backslash escapes (\\r \\n \\x00 \\\\); numbers,
booleans, lists and dicts are parsed according to the option's default (lists and dicts
as JSON; close_on also as "A,B"; "none" for a number means None). replies_once entries
take a JSON list, reply_delays entries a number.

Option                     Default           Meaning
-------------------------  ----------------  -------------------------------------------------
greeting                   "220 Scripted..." the greeting reply
replies                    {}                COMMAND -> reply; the command is only answered,
                                             nothing else happens (no folder made, no data
                                             connection, PORT address not taken)
replies_once               {}                COMMAND -> [reply, ...]: answers for the 1st, 2nd,
                                             ... occurrence; later ones fall back to replies /
                                             the server's own behaviour ("" in the list = own)
once_across_sessions       false             count those occurrences over all sessions, not
                                             per session (a fault that a reconnect does not
                                             bring back)
reply_delay                0                 seconds before every reply
reply_delays               {}                COMMAND (or GREETING) -> seconds before its
                                             (first) reply
reply_chunk_size           0                 > 0: every reply goes out in writes of this many
                                             bytes ...
reply_chunk_delay          0                 ... with this many seconds between the writes
close_on                   []                COMMAND names: on receiving one, the server closes
                                             the control connection without replying
                                             (GREETING: close instead of greeting)
close_partial              None              raw text written just before such a close
preliminary_reply          "150 Opening..."  the preliminary reply of LIST/NLST/RETR/
                                             STOR/APPE ({name} = the command's argument)
stou_reply                 "150 FILE: {name}" preliminary reply of STOU ({name} = chosen name)
final_reply                "226 Transfer..." the final reply after a transfer
transfer_failed_reply      "426 Connection..." final reply when the client dropped the data
                                             connection without an ABOR
connect_before_preliminary false             active mode: connect to the PORT address before
                                             sending the preliminary reply (else after it)
connect_on_port            false             active mode: connect already while answering PORT
                                             (before its 200), as some servers do
passive_preliminary_first  false             passive mode: send the preliminary reply before
                                             accepting the data connection (else after it)
never_connect              false             active mode: send the preliminary reply, then never
                                             connect back
never_connect_reply        None              reply sent on the control connection that long ...
never_connect_delay        1.0               ... after the preliminary reply (None: nothing)
never_connect_after        0                 never_connect holds only once the server has opened
                                             this many active data connections in the session
active_source              "127.0.0.1"       address the server's active-mode data connections come
                                             from
foreign_first              false             active mode: before connecting back, a third party
                                             (from 127.0.0.2) connects to the PORT address and
                                             offers "intruder" bytes, until the client closes it
abort_replies              ["426 ...", "226 ..."]  answer to ABOR while a transfer runs (also
                                             while never connecting back)
abort_idle_reply           "225 No transfer..." answer to ABOR with no transfer running
abort_grace                0.05              after an upload's data connection closed, wait
                                             this long for an ABOR before answering 226
abort_wait                 2.0               after the client dropped a download's data
                                             connection, wait this long for its ABOR
listing                    None              LIST data instead of the folder's listing (raw
                                             bytes; "" = close the data connection at once)
nlst_listing               None              the same for NLST
data_chunk_size            65536             LIST/NLST/RETR data go out in writes of this size
data_chunk_delay           0                 seconds between those writes
upload_chunk_size          65536             STOR/APPE/STOU data are read in pieces of this
                                             size ...
upload_chunk_delay         0                 ... with this many seconds after each piece (a
                                             slow uplink; an ABOR is still noticed at once)
data_rcvbuf                0                 > 0: SO_RCVBUF of the server's data sockets, set
                                             before connect/listen (a small receive window)
data_cut_after             -1                >= 0: after this many data bytes the server closes
                                             the data connection (an upload's unread rest
                                             resets the client's sends) and answers
                                             transfer_failed_reply
cut_closes_session         false             ... or instead closes the control connection too
cut_late_reply             None              reply sent cut_late_delay seconds after that
cut_late_delay             0.2               answer (e.g. a 226 nobody asked for)
cut_times                  -1                >= 0: only this many transfers are cut; later
                                             ones go through (a fault that passes, so that a
                                             run can be continued against the same server)
data_stall_after           -1                >= 0: after this many data bytes the server neither
                                             sends nor reads any more, until ABOR
                                             (abort_replies) or, for a download, until the
                                             client closes the data connection
                                             (transfer_failed_reply at once)
pasv_reply                 "227 Entering Passive Mode ({h1},{h2},{h3},{h4},{p1},{p2})"
                                             template of the PASV reply
pasv_address               "127.0.0.1"       address announced in the PASV reply
pasv_bind                  "127.0.0.1"       address the passive listener binds to
pasv_port                  0                 > 0: port announced in the PASV reply instead of
                                             the listener's (nobody there: a refused connect);
                                             the listener still waits data_timeout, then 425
pasv_blackhole             false             announce a port whose listen queue is full, so the
                                             client's connect is never answered (then as
                                             pasv_port)
data_timeout               10                seconds to wait for a data connection (accept or
                                             connect), for each piece of upload data and for
                                             a reply to go out
idle_timeout               300               seconds without a command before the server
                                             closes the session ...
idle_reply                 None              ... after sending this reply (e.g. "421
                                             Timeout.", as vsftpd and pure-ftpd do)
cwd_message                None              lines put into a successful CWD reply as
                                             "250-" first line, these lines, "250 ..." last
"""

DEFAULTS = {
    "greeting": "220 Scripted FTP test server ready",
    "replies": {},
    "replies_once": {},
    "once_across_sessions": False,
    "reply_delay": 0.0,
    "reply_delays": {},
    "reply_chunk_size": 0,
    "reply_chunk_delay": 0.0,
    "close_on": [],
    "close_partial": None,
    "preliminary_reply": "150 Opening data connection",
    "stou_reply": "150 FILE: {name}",
    "final_reply": "226 Transfer complete",
    "transfer_failed_reply": "426 Connection closed; transfer aborted",
    "connect_before_preliminary": False,
    "connect_on_port": False,
    "passive_preliminary_first": False,
    "never_connect": False,
    "never_connect_reply": None,
    "never_connect_delay": 1.0,
    "never_connect_after": 0,
    "foreign_first": False,
    "active_source": "127.0.0.1",
    "abort_replies": ["426 Connection closed; transfer aborted", "226 Abort successful"],
    "abort_idle_reply": "225 No transfer to abort",
    "abort_grace": 0.05,
    "abort_wait": 2.0,
    "listing": None,
    "nlst_listing": None,
    "data_chunk_size": 65536,
    "data_chunk_delay": 0.0,
    "pasv_reply": "227 Entering Passive Mode ({h1},{h2},{h3},{h4},{p1},{p2})",
    "pasv_address": "127.0.0.1",
    "pasv_bind": "127.0.0.1",
    "pasv_port": 0,
    "pasv_blackhole": False,
    "upload_chunk_size": 65536,
    "upload_chunk_delay": 0.0,
    "data_rcvbuf": 0,
    "data_cut_after": -1,
    "cut_closes_session": False,
    "cut_late_reply": None,
    "cut_late_delay": 0.2,
    "cut_times": -1,
    "data_stall_after": -1,
    "data_timeout": 10.0,
    "idle_timeout": 300.0,
    "idle_reply": None,
    "cwd_message": None,
}

SCENARIOS = {
    "default": {},
    # Greetings
    "greeting_multiline": {
        "greeting": ["220-Scripted FTP test server", "220-second line", "220 ready"],
    },
    "greeting_lf_only": {"greeting": "220 Scripted FTP test server ready\n"},
    "greeting_refused": {"greeting": "421 Too many users, try again later"},
    # Login
    "user_230": {"replies": {"USER": "230 User logged in, no password needed"}},
    "login_refused": {"replies": {"PASS": "530 Login incorrect"}},
    "login_multiline": {"replies": {"PASS": "230-Welcome\r\n230-\r\n\r\n230 User logged in\r\n"}},
    "type_refused": {"replies": {"TYPE": "504 Type not supported"}},
    "syst_500": {"replies": {"SYST": "500 SYST not understood"}},
    "syst_502": {"replies": {"SYST": "502 Command not implemented"}},
    "syst_200": {"replies": {"SYST": "200 UNIX Type: L8"}},
    # Working folder and folders
    "pwd_unquoted": {"replies": {"PWD": "257 /fotos is the current directory"}},
    "pwd_one_quote": {"replies": {"PWD": "257 \"/fotos is the current directory"}},
    "pwd_multiline": {
        "replies": {
            "PWD": "257-\"/first\" is not it\r\n257 \"/fotos/2024\" is the current directory\r\n"
        }
    },
    "mkd_250": {"replies": {"MKD": "250 Directory created"}},
    "mkd_unquoted": {"replies": {"MKD": "257 Directory created"}},
    "mkd_multiline": {"replies": {"MKD": "257-Creating\r\n257 \"/new\" created\r\n"}},
    "mkd_refused": {"replies": {"MKD": "550 Permission denied"}},
    "cwd_refused": {"replies": {"CWD": "550 No such directory"}},
    # Sizes
    "size_big": {"replies": {"SIZE": "213 3000000000"}},
    "size_multiline": {"replies": {"SIZE": "213-Size follows\r\n213 1234\r\n"}},
    "size_refused": {"replies": {"SIZE": "550 Could not get file size"}},
    # Passive replies
    "pasv_no_parens": {"pasv_reply": "227 Entering Passive Mode {h1},{h2},{h3},{h4},{p1},{p2}"},
    "pasv_trailing_text": {
        "pasv_reply": "227 Entering Passive Mode ({h1},{h2},{h3},{h4},{p1},{p2}). Have fun"
    },
    "pasv_refused": {"replies": {"PASV": "502 Passive mode not supported"}},
    # Refusals
    "port_refused": {"replies": {"PORT": "501 Illegal PORT command"}},
    "stor_refused": {"replies": {"STOR": "553 Could not create file"}},
    "retr_refused": {"replies": {"RETR": "550 Permission denied"}},
    # Transfers
    "preliminary_125": {"preliminary_reply": "125 Data connection already open; transfer starting"},
    "final_multiline": {
        "final_reply": "226-File successfully transferred\r\n"
        "226 0.001 seconds, 1.00 Mbytes per second\r\n"
    },
    "final_250": {"final_reply": "250 Transfer complete"},
    "connect_before_preliminary": {"connect_before_preliminary": True},
    "connect_on_port": {
        "connect_on_port": True,
        "preliminary_reply": "125 Data connection already open. Transfer starting.",
    },
    "passive_preliminary_first": {"passive_preliminary_first": True},
    "never_connect": {"never_connect": True, "never_connect_delay": None},
    "never_connect_425": {
        "never_connect": True,
        "never_connect_reply": "425 Can't open data connection",
        "never_connect_delay": 1.0,
    },
    # Behind a NAT router: the address in PORT is not the one the server sees.
    "port_illegal": {"replies": {"PORT": "500 Illegal PORT command."}},
    "foreign_first": {"foreign_first": True},
    # Servers that connect back while answering PORT answer only when their attempt gives
    # up, and then end the session.
    "port_421": {"replies": {"PORT": "421 Active data channel timed out."}},
    "port_hang": {
        "replies": {"PORT": "421 Active data channel timed out."},
        "reply_delays": {"PORT": 30},
    },
    # A server whose data connections leave from a second address.
    "data_from_elsewhere": {"active_source": "127.0.0.2", "abort_wait": 0.2},
    # Message files as proftpd sends them: indented lines of any content inside the reply.
    "proftpd_messages": {
        "greeting": ["220-Studio-Server", " --", " x", " 220 alte Begrüßung", "220 ProFTPD ready"],
        "replies": {
            "PASS": "230-Willkommen\r\n \r\n 230 kein Ende\r\n12\r\n230 User logged in\r\n",
        },
        "cwd_message": [" Serie 2026", " --", " 250 nicht hier"],
    },
    # Aborts
    "abort_426_226": {
        "abort_replies": ["426 Connection closed; transfer aborted", "226 Abort successful"]
    },
    "abort_225": {"abort_replies": ["225 Abort successful"]},
    "abort_226": {"abort_replies": ["226 Abort successful"]},
    "slow_data": {"data_chunk_size": 16, "data_chunk_delay": 0.05},
    # Listings
    "listing_lf_only": {"listing": "a.jpg\nb.jpg\nc.jpg\n"},
    "listing_cr_only": {"listing": "a.jpg\rb.jpg\rc.jpg\r"},
    "listing_crlf": {"listing": "a.jpg\r\nb.jpg\r\nc.jpg\r\n"},
    "listing_zero_byte": {"listing": "a.jpg\r\nb.jpg\x00c.jpg\r\n"},
    "listing_empty": {"listing": "", "nlst_listing": ""},
    # Framing and timing
    "split_replies": {"reply_chunk_size": 2, "reply_chunk_delay": 0.002},
    "delayed_replies": {"reply_delay": 0.2},
    # Faulty and hostile servers
    "cut_426": {"data_cut_after": 5000},
    "cut_426_226": {"data_cut_after": 5000, "cut_late_reply": "226 Transfer complete"},
    # The data connection closed early, and still the claim that all went well.
    "cut_226": {"data_cut_after": 500000, "transfer_failed_reply": "226 Transfer complete"},
    # A full disk: the reply names the cause, the data connection is reset.
    "cut_451": {
        "data_cut_after": 100000,
        "transfer_failed_reply": ["451-Error during write to file", "451 Transfer aborted"],
    },
    "cut_hangup": {"data_cut_after": 5000, "cut_closes_session": True},
    "stall": {"data_stall_after": 5000},
    "stop_reading": {"data_stall_after": 1 << 20},
    "slow_reader": {"upload_chunk_size": 32768, "upload_chunk_delay": 0.1, "data_rcvbuf": 32768},
    "pasv_blackhole": {"pasv_blackhole": True, "data_timeout": 1.0},
    "pasv_over_255": {"pasv_reply": "227 Entering Passive Mode (383,0,0,1,{p1},{p2})"},
    "silent_greeting": {"reply_delays": {"GREETING": 30}},
    "trickle": {"reply_chunk_size": 1, "reply_chunk_delay": 0.1},
    "size_bare": {"replies": {"SIZE": "213"}},
    # Dropped control connection
    "close_on_pass": {"close_on": ["PASS"]},
    "close_on_list": {"close_on": ["LIST"]},
    "close_on_stor": {"close_on": ["STOR"]},
    "close_on_pwd": {"close_on": ["PWD"]},
}
