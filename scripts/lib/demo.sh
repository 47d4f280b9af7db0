# The demo of scripts/run, shared with scripts/screenshot: a demo build whose fixed server
# is 127.0.0.1:21021 and which requires FTP over TLS, trusting exactly the certificate made
# for the local pure-ftpd that serves build/demo-ftp. Source it from the repository's top
# folder.

demo_build=build/demo
demo_port=21021
demo_served=$PWD/build/demo-ftp
demo_photos=$PWD/build/demo-fotos
demo_tls=$PWD/build/demo-tls

# demo_certificate: the server's certificate, made again when missing or about to expire.
demo_certificate() {
  openssl x509 -checkend 86400 -noout -in "$demo_tls/cert.pem" 2>/dev/null && return
  mkdir -p "$demo_tls"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 365 \
    -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1" \
    -keyout "$demo_tls/key.pem" -out "$demo_tls/cert.pem" 2>/dev/null
  (umask 077 && cat "$demo_tls/key.pem" "$demo_tls/cert.pem" >"$demo_tls/server.pem")
}

# demo_build_program: the demo build of the program, trusting the demo certificate.
demo_build_program() {
  demo_certificate
  cmake -S . -B "$demo_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DLICHTFRACHT_FTP_HOST=127.0.0.1 -DLICHTFRACHT_FTP_PORT=$demo_port \
    -DLICHTFRACHT_CONTACT_EMAIL=demo@lichtfracht.example \
    -DLICHTFRACHT_FTP_TLS=ON "-DLICHTFRACHT_FTP_TLS_CA=$demo_tls/cert.pem" >/dev/null
  cmake --build "$demo_build" --target lichtfracht
}

# demo_content: the sample content, made once; what the program uploads stays there.
demo_content() {
  picture() { # file text colour
    convert -size 640x427 "gradient:$3-white" -gravity center -pointsize 40 -annotate 0 "$2" \
      "$1" 2>/dev/null || printf 'Beispielbild %s\n' "$2" >"$1"
  }
  if [ ! -d "$demo_served" ]; then
    mkdir -p "$demo_served/Archiv 2025"
    picture "$demo_served/Willkommen.jpg" "Lichtfracht Demo" SteelBlue
    picture "$demo_served/Archiv 2025/Sommerfest.jpg" "Sommerfest" Orange
    printf 'Willkommen.jpg\n' >"$demo_served/liste.txt"
  fi
  if [ ! -d "$demo_photos" ]; then
    mkdir -p "$demo_photos"
    picture "$demo_photos/Hochzeit 01.jpg" "Hochzeit 01" IndianRed
    picture "$demo_photos/Hochzeit 02.jpg" "Hochzeit 02" SeaGreen
    picture "$demo_photos/Portrait.jpg" "Portrait" SlateBlue
  fi
  # pure-ftpd serves files as nobody when it runs as root; that user must be able to write.
  [ "$(id -u)" -ne 0 ] || chown -R nobody:nogroup "$demo_served"
}

# demo_start_server STATE_DIR: the demo's pure-ftpd (TLS required) in the background, its
# process in demo_server; waits (at most 10 s) until it listens. Extra pure-ftpd options
# come from LF_PUREFTPD_EXTRA_ARGS. Fails when the port is taken or the server does not
# come up.
demo_start_server() {
  local state=$1
  if (exec 3<>"/dev/tcp/127.0.0.1/$demo_port") 2>/dev/null; then
    echo "demo: port $demo_port is already in use (is another demo running?)" >&2
    return 1
  fi
  tests/support/pureftpd/start-pureftpd.sh "$demo_served" "$demo_port" "$state" \
    "$demo_tls/server.pem" >"$state/server.log" 2>&1 &
  demo_server=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$demo_port") 2>/dev/null && return 0
    kill -0 "$demo_server" 2>/dev/null || break
    sleep 0.1
  done
  cat "$state/server.log" >&2
  return 1
}

# demo_stop_server: stops the server demo_start_server started.
demo_stop_server() {
  [ -n "${demo_server:-}" ] || return 0
  kill -TERM "$demo_server" 2>/dev/null || true
  wait "$demo_server" 2>/dev/null || true
}

# demo_locale: the German locale when it is installed, else C.UTF-8.
demo_locale() {
  if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then echo de_DE.UTF-8; else echo C.UTF-8; fi
}
