#!/usr/bin/env bash
# Runs pure-ftpd in the foreground on 127.0.0.1:PORT, serving ROOT to the virtual user
# Lichtfracht (password 58Kovarenisobume). Used by the test fixture and the benchmarks.
#
#   start-pureftpd.sh ROOT PORT [STATE_DIR [TLS_PEM]]
#
# STATE_DIR receives the user database and the pid file; the caller removes it. Without
# it (or when it is empty) a temporary one is made and removed when the server ends.
# TLS_PEM (private key and certificate in one file) makes the server require explicit
# FTP over TLS on the control connection and on every data connection. Stop the server
# with SIGTERM (or SIGINT); it does not daemonize.
#
# LF_PUREFTPD_EXTRA_ARGS adds options of pure-ftpd (split at blanks), e.g. "-T 1000" to
# hold every transfer to 1000 KB/s.
#
# LF_PUREFTPD_PASSIVE_PORTS=lo:hi sets the passive port range. By default it is derived
# from PORT (20 ports in 10000-29999, below the kernel's ephemeral range), so servers
# started side by side on different control ports rarely share one.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 4 ]; then
  echo "usage: $0 ROOT PORT [STATE_DIR [TLS_PEM]]" >&2
  exit 2
fi
root=$1
port=$2
state=${3:-}
tls_pem=${4:-}
user=Lichtfracht
password=58Kovarenisobume
PATH="$PATH:/usr/sbin:/sbin"

case $port in
  '' | *[!0-9]*) echo "$0: bad port '$port'" >&2; exit 2 ;;
esac

if [ -n "${LF_PUREFTPD_PASSIVE_PORTS:-}" ]; then
  passive=$LF_PUREFTPD_PASSIVE_PORTS
else
  low=$((10000 + (port % 1000) * 20))
  passive="$low:$((low + 19))"
fi

# pure-ftpd refuses to serve files as root; as root the files belong to nobody.
if [ "$(id -u)" -eq 0 ]; then
  uid=$(id -u nobody)
  gid=$(id -g nobody)
else
  uid=$(id -u)
  gid=$(id -g)
fi

mkdir -p "$root"
root=$(cd "$root" && pwd -P)
chown "$uid:$gid" "$root"

own_state=
if [ -z "$state" ]; then
  state=$(mktemp -d "${TMPDIR:-/tmp}/lf-pureftpd-state.XXXXXX")
  own_state=1
fi
mkdir -p "$state"

# SHA-512 crypt: pure-pw's default hash is deliberately slow (seconds per login).
hash=$(openssl passwd -6 -salt lichtfracht "$password")
# The "/./" in the home folder chroots the user to ROOT.
printf '%s:%s:%s:%s::%s/./::::::::::::\n' "$user" "$hash" "$uid" "$gid" "$root" \
  >"$state/pureftpd.passwd"
pure-pw mkdb "$state/pureftpd.pdb" -f "$state/pureftpd.passwd" >/dev/null

args=(
  -S "127.0.0.1,$port" -4          # loopback only, IPv4
  -l "puredb:$state/pureftpd.pdb"  # virtual users only
  -E                               # no anonymous login
  -H                               # no reverse DNS look-ups
  -p "$passive" -P 127.0.0.1       # passive ports and the address PASV announces
  -c 50 -C 50                      # clients in total / per address (all come from 127.0.0.1)
  -u 1                             # accept the uid of the passwd line
  -f none                          # no syslog
  -g "$state/pure-ftpd.pid"        # keep the pid file out of /var/run
)
if [ -n "$tls_pem" ]; then
  args+=(-Y 3 -2 "$tls_pem")       # TLS required, control and data
else
  args+=(-Y 0)                     # plain FTP, no TLS
fi
# shellcheck disable=SC2206 # split at blanks on purpose
[ -z "${LF_PUREFTPD_EXTRA_ARGS:-}" ] || args+=($LF_PUREFTPD_EXTRA_ARGS)

if [ -z "$own_state" ]; then
  exec pure-ftpd "${args[@]}"
fi

pure-ftpd "${args[@]}" &
server=$!
cleanup() {
  kill -TERM "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -rf "$state"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
wait "$server"
