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

# start_server [TLS_PEM]: a pure-ftpd on a free loopback port serving $work/root; sets
# work, port, root and url. With TLS_PEM (key and certificate) it requires FTP over TLS.
# Every server started so is stopped (and its $work removed) when the script exits, and
# so is the CPU-bound process of start_hog, on every way out.
servers=()
server_works=()
hog=
stop_servers() {
  local s
  for s in "${servers[@]}"; do kill "$s" 2>/dev/null || true; done
  for s in "${servers[@]}"; do wait "$s" 2>/dev/null || true; done
  rm -rf "${server_works[@]}"
}
bench_cleanup() {
  stop_hog
  stop_servers
}
trap bench_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
start_server() {
  work=$(mktemp -d "$scratch/lichtfracht-bench-server.XXXXXX")
  root=$work/root
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  tests/support/pureftpd/start-pureftpd.sh "$root" "$port" "$work/state" ${1:+"$1"} \
    >"$work/server.log" 2>&1 &
  servers+=("$!")
  server_works+=("$work")
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

# settle: waits (at most 70 s) until most connections of earlier runs have left TIME-WAIT.
# Every file is a data connection of its own; many thousands of them waiting out their 60 s
# fill the port range, and binding and connecting then slow down by orders of magnitude,
# whichever client happens to run next.
settle() {
  for _ in $(seq 140); do
    [ "$(ss -Htan state time-wait | wc -l)" -lt 6000 ] && return
    sleep 0.5
  done
}

# warm FILE_OR_FOLDER...: reads them once, right before a timed run, so that the run finds
# them in memory. Here the page cache gives back about a third of a set within a minute, so
# after a settle the next run read part of its files from disk: a handicap that fell on
# whichever client came next.
warm() { find "$@" -type f -exec cat {} + >/dev/null; }

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# median_of "V1 V2 ...": the median of the values in one space-separated string.
median_of() { echo "$1" | tr ' ' '\n' | grep . | median; }

# Seconds of one run, from an empty server folder; checks that every file arrived whole.
timed() { # client set
  empty_root
  warm "$data/$2"
  local start end
  start=$(date +%s.%N)
  "run_$1" "$data/$2"
  end=$(date +%s.%N)
  if [ "$(total "$root")" != "$(total "$data/$2")" ]; then
    echo "bench: $1 did not upload all of $2" >&2
    exit 1
  fi
  awk "BEGIN { print $end - $start }"
}

# compare SET...: for each set, the median seconds of $runs runs of every client of
# $clients (functions run_NAME FOLDER), taken round by round, with MB/s and how many
# times as fast each of ours (ours*, base) is as lftp and curl.
compare() {
  local set client s mbs vs_lftp vs_curl bytes
  printf '%-6s %-10s %9s %9s %12s %12s\n' set client seconds MB/s "ours/lftp" "ours/curl"
  for set in "$@"; do
    bytes=$(total "$data/$set" | cut -d' ' -f2)
    declare -A times=() seconds=()
    # Round by round, so that a slow spell of the machine falls on every client alike.
    for _ in $(seq "$runs"); do
      for client in "${clients[@]}"; do
        times[$client]+="$(timed "$client" "$set") "
      done
    done
    for client in "${clients[@]}"; do
      seconds[$client]=$(median_of "${times[$client]}")
    done
    for client in "${clients[@]}"; do
      s=${seconds[$client]}
      mbs=$(awk "BEGIN { print $bytes / 1000000 / $s }")
      if [[ $client == ours* || $client == base ]]; then
        # How many times as fast as the peer: its seconds over ours.
        vs_lftp=$(awk "BEGIN { print ${seconds[lftp]} / $s }")
        vs_curl=$(awk "BEGIN { print ${seconds[curl]} / $s }")
        printf '%-6s %-10s %9.3f %9.0f %11.2fx %11.2fx\n' "$set" "$client" "$s" "$mbs" "$vs_lftp" "$vs_curl"
      else
        printf '%-6s %-10s %9.3f %9.0f %12s %12s\n' "$set" "$client" "$s" "$mbs" "" ""
      fi
    done
    unset times seconds
  done
}
