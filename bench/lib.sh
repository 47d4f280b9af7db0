# Shared by the benchmark scripts: test data, the local pure-ftpd, timing helpers.
# Source it from the repository's top folder.

bench_data=/tmp/lichtfracht-bench

# make_set NAME COUNT SIZE_KIB: COUNT files of SIZE_KIB KiB of random bytes, made once.
make_set() {
  local dir=$bench_data/$1
  if [ "$(find "$dir" -type f 2>/dev/null | wc -l)" -ne "$2" ]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    for i in $(seq -w 1 "$2"); do
      head -c "$(($3 * 1024))" /dev/urandom >"$dir/foto$i.jpg"
    done
  fi
}

# Where the server writes: memory when there is such a folder, so that the disk writing
# back earlier runs does not slow later ones down.
scratch=/dev/shm
[ -d "$scratch" ] && [ -w "$scratch" ] || scratch=/tmp

# What the script started, ended on every way out: the server, a CPU-bound process.
server=
hog=
work=
bench_cleanup() {
  local pid
  for pid in $hog $server; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  hog=
  server=
  [ -z "$work" ] || rm -rf "$work"
}
trap bench_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# start_server: a pure-ftpd on a free loopback port serving $work/root; sets work, port,
# root and url, and stops the server (removing $work) when the script exits.
start_server() {
  work=$(mktemp -d "$scratch/lichtfracht-bench-server.XXXXXX")
  root=$work/root
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  tests/support/pureftpd/start-pureftpd.sh "$root" "$port" "$work/state" >"$work/server.log" 2>&1 &
  server=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  url=ftp://127.0.0.1:$port/
}

user=Lichtfracht
password=58Kovarenisobume

# start_hog / stop_hog: one CPU-bound process beside the measurement, as a computer that
# has other work (the next pictures being exported while these are published).
start_hog() {
  sh -c 'while :; do :; done' &
  hog=$!
}
stop_hog() {
  [ -n "$hog" ] || return 0
  kill "$hog" 2>/dev/null || true
  wait "$hog" 2>/dev/null || true
  hog=
}

run_lftp() { # FOLDER: every file of it into the login folder, active mode
  lftp -u "$user,$password" -e "set ftp:passive-mode off; set ftp:ssl-allow no; \
set cmd:fail-exit yes; mput -O / $1/*; quit" "$url" >/dev/null
}

run_curl() { # FOLDER: every file of it into the login folder, active mode
  local files
  files=$(cd "$1" && ls | sed "s|^|$1/|" | paste -sd, -)
  curl -sS --fail --ftp-port - --disable-eprt -u "$user:$password" -T "{$files}" "$url" >/dev/null
}

# total FOLDER: "files bytes" of everything below it.
total() { find "$1" -type f -printf '%s\n' | awk '{ n++; s += $1 } END { print n + 0, s + 0 }'; }

# empty_root: the server folder without anything in it, as the served user left it.
empty_root() {
  find "$root" -mindepth 1 -delete
  settle
}

# settle: waits (at most 70 s) until the connections of earlier runs have left TIME-WAIT.
# Every file is a data connection of its own; thousands of them waiting out their 60 s
# fill the port range, and binding and connecting then slow down by orders of magnitude,
# whichever client happens to run next.
settle() {
  for _ in $(seq 140); do
    [ "$(ss -Htan state time-wait | wc -l)" -lt 1000 ] && return
    sleep 0.5
  done
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
