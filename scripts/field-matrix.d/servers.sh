# The field servers of scripts/field-matrix (sourced, not run).
#
# Each serves one fresh folder to the program's account (Lichtfracht / 58Kovarenisobume),
# vsftpd excepted: without system users and PAM it can only serve anonymous sessions, so
# only the bare uploader meets it (the window logs in with its built-in account).
# proftpd and vsftpd are Debian's binaries unpacked into the scratch folder: as packages
# they conflict with the installed pure-ftpd.

readonly FTP_USER=Lichtfracht FTP_PASSWORD=58Kovarenisobume
readonly PASSIVE_LOW=30000 PASSIVE_HIGH=30019
readonly UNPACKED_PACKAGES="proftpd-core vsftpd libhiredis0.14 libmemcached11 \
libmemcachedutil2 libhashkit2 libpcre2-posix3"

# Debian's proftpd and vsftpd, with the libraries proftpd needs that this machine lacks,
# unpacked under $1. Nothing is installed.
unpack_servers() {
  local into=$1 package
  mkdir -p "$into/debs" "$into/root"
  (cd "$into/debs" && timeout 300 apt-get download $UNPACKED_PACKAGES) >"$into/download.log" 2>&1 ||
    { echo "field-matrix: apt-get download failed, see $into/download.log" >&2; return 1; }
  for package in "$into"/debs/*.deb; do dpkg-deb -x "$package" "$into/root" || return 1; done
  UNPACKED=$into/root
  export LD_LIBRARY_PATH=$UNPACKED/usr/lib/x86_64-linux-gnu
  if ldd "$UNPACKED/usr/sbin/proftpd" | grep -q "not found"; then
    echo "field-matrix: proftpd lacks libraries:" >&2
    ldd "$UNPACKED/usr/sbin/proftpd" | grep "not found" >&2
    return 1
  fi
}

# wait_listening NS IP PORT: up to 10 s for the server's socket.
wait_listening() {
  local tries
  for tries in $(seq 100); do
    [ -n "$(in_ns "$1" ss -Hltn "src $2:$3")" ] && return 0
    sleep 0.1
  done
  return 1
}

crypt_hash() { openssl passwd -6 -salt lichtfracht "$FTP_PASSWORD"; }

# server_start KIND NS IP PORT ROOT STATE IDLE_SECONDS [LIMIT_MIB]
# LIMIT_MIB (proftpd only) refuses uploads larger than that.
# Sets SERVER_PID, and for the bare uploader UPLOAD_DIR (where its files land on disk) and
# UPLOAD_ARGS (account, remote folder).
server_start() {
  local kind=$1 ns=$2 ip=$3 port=$4 root=$5 state=$6 idle=$7 limit=${8:-}
  local uid gid
  uid=$(id -u nobody) gid=$(id -g nobody)
  mkdir -p "$root" "$state"
  chown "$uid:$gid" "$root"
  UPLOAD_DIR=$root
  UPLOAD_ARGS=()
  case $kind in
    pure-ftpd)
      printf '%s:%s:%s:%s::%s/./::::::::::::\n' "$FTP_USER" "$(crypt_hash)" "$uid" "$gid" \
        "$root" >"$state/pureftpd.passwd"
      pure-pw mkdb "$state/pureftpd.pdb" -f "$state/pureftpd.passwd" >/dev/null || return 1
      # No -P: PASV names the address the session came in on, as on a server that was set
      # up without thought of the NAT router in front of it. -I takes whole minutes.
      ip netns exec "$ns" setsid pure-ftpd -S "$ip,$port" -4 -l "puredb:$state/pureftpd.pdb" -E -H \
        -p "$PASSIVE_LOW:$PASSIVE_HIGH" -c 50 -C 50 -u 1 -Y 0 -f none \
        -I "$(((idle + 59) / 60))" -g "$state/pure-ftpd.pid" >"$state/server.log" 2>&1 &
      ;;
    pyftpdlib | pyftpdlib-foreign)
      local foreign=()
      [ "$kind" = pyftpdlib-foreign ] && foreign=(--foreign)
      ip netns exec "$ns" setsid /usr/bin/python3 "$HELPERS/pyftpd.py" "$root" "$ip" "$port" \
        "${foreign[@]}" --idle "$idle" --passive "$PASSIVE_LOW-$PASSIVE_HIGH" \
        >"$state/server.log" 2>&1 &
      ;;
    proftpd)
      printf '%s:%s:%s:%s::%s:/bin/false\n' "$FTP_USER" "$(crypt_hash)" "$uid" "$gid" "$root" \
        >"$state/passwd"
      printf 'nogroup:x:%s:\n' "$gid" >"$state/group"
      chmod 600 "$state/passwd" "$state/group"
      # Message files with the lines that break a careless reply reader: a "--", a lone
      # "x", an empty line, and lines that begin with a reply code.
      printf '%s\n' "Willkommen beim Feldtest." "--" "x" "" " 220 kein Ende" \
        "230 auch kein Ende" "230-" "Ende der Nachricht." >"$root/.welcome.msg"
      printf '%s\n' "Hinweis zu diesem Ordner:" "--" "x" "" "250 kein Ende" \
        " 250 auch kein Ende" >"$root/.chdir.msg"
      cat >"$state/proftpd.conf" <<EOF
ServerType standalone
ServerName "Lichtfracht-Feldtest"
ServerIdent on "Lichtfracht-Feldtest (proftpd) bereit."
Port $port
DefaultAddress $ip
SocketBindTight on
UseIPv6 off
User nobody
Group nogroup
PidFile $state/proftpd.pid
ScoreboardFile $state/proftpd.scoreboard
SystemLog $state/proftpd.log
TransferLog none
WtmpLog off
DelayEngine off
UseReverseDNS off
AuthPAM off
AuthOrder mod_auth_file.c
AuthUserFile $state/passwd
AuthGroupFile $state/group
RequireValidShell off
DefaultRoot ~
AllowOverwrite on
PassivePorts $PASSIVE_LOW $PASSIVE_HIGH
AllowForeignAddress off
TimeoutIdle $idle
DisplayLogin .welcome.msg
DisplayChdir /.chdir.msg on
EOF
      [ -n "$limit" ] && echo "MaxStoreFileSize $limit Mb" >>"$state/proftpd.conf"
      ip netns exec "$ns" setsid "$UNPACKED/usr/sbin/proftpd" -n -q -c "$state/proftpd.conf" \
        >"$state/server.log" 2>&1 &
      ;;
    vsftpd)
      # The anonymous root must not be writable; uploads go into a folder inside it. The
      # anonymous user is an existing system account whose home exists (nothing added).
      chown root:root "$root"
      mkdir -p "$root/upload" "$state/empty"
      chown games "$root/upload"
      UPLOAD_DIR=$root/upload
      UPLOAD_ARGS=(--user anonymous --password feldtest --cwd upload)
      cat >"$state/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=$ip
listen_port=$port
background=NO
anonymous_enable=YES
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_root=$root
no_anon_password=YES
ftp_username=games
nopriv_user=nobody
secure_chroot_dir=$state/empty
port_enable=YES
connect_from_port_20=NO
pasv_enable=YES
pasv_min_port=$PASSIVE_LOW
pasv_max_port=$PASSIVE_HIGH
idle_session_timeout=$idle
seccomp_sandbox=NO
tcp_wrappers=NO
log_ftp_protocol=YES
xferlog_enable=YES
xferlog_std_format=NO
vsftpd_log_file=$state/vsftpd.log
anon_umask=022
EOF
      chmod 600 "$state/vsftpd.conf"
      ip netns exec "$ns" setsid "$UNPACKED/usr/sbin/vsftpd" "$state/vsftpd.conf" \
        >"$state/server.log" 2>&1 &
      ;;
    *) echo "field-matrix: unknown server $kind" >&2; return 1 ;;
  esac
  # ip netns exec and setsid exec the server: this is its pid and its session's id.
  SERVER_PID=$!
  SERVER_NS=$ns
  wait_listening "$ns" "$ip" "$port" || {
    echo "field-matrix: $kind did not listen on $ip:$port within 10 s" >&2
    cat "$state/server.log" >&2
    server_stop
    return 1
  }
}

# Ends the server and its sessions: TERM, up to 5 s, then KILL for what is left of its
# session (setsid made one for it; the loopback case has the client in the same namespace).
server_stop() {
  [ -n "${SERVER_PID:-}" ] || return 0
  kill -TERM "$SERVER_PID" 2>/dev/null
  local tries pid
  for tries in $(seq 50); do
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  for pid in $(ip netns pids "$SERVER_NS" 2>/dev/null); do
    [ "$(ps -o sid= -p "$pid" 2>/dev/null | tr -d ' ')" = "$SERVER_PID" ] && kill -KILL "$pid"
  done
  wait "$SERVER_PID" 2>/dev/null
  SERVER_PID=
}
