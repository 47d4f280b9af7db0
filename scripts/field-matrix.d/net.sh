# Network namespaces for scripts/field-matrix (sourced, not run).
#
# Four namespaces in a chain, nothing of it on a real interface:
#
#   client 10.77.1.2 ── 10.77.1.1 [client router] 10.77.2.1 ══ "internet" ══
#        10.77.2.2 [server router] 10.77.3.1 ── 10.77.3.2 server
#
# Both routers just route until a network case turns NAT on:
#   client router: masquerades the client behind 10.77.2.1 and drops (or rejects) every
#     connection opened from outside, like a home router. No FTP helper rewrites PORT.
#   server router: forwards the control port and the passive ports of 10.77.2.2 to the
#     server (DNAT), masquerades the server's own connections, drops the rest. The server
#     knows nothing of it: its PASV names 10.77.3.2. In nat-server-2addr the server's own
#     connections leave from a second public address, 10.77.2.3, as behind a router whose
#     outbound address is not the forwarded one: an active-mode data connection then comes
#     from another address than the control connection's peer.
# A fifth namespace holds nothing but its own loopback: the loopback case, away from the
# ports of everything else on this machine.

readonly NS_CLIENT=lf-fm-client NS_CROUTER=lf-fm-crouter NS_SROUTER=lf-fm-srouter
readonly NS_SERVER=lf-fm-server NS_LOOP=lf-fm-loop
readonly ALL_NAMESPACES="$NS_CLIENT $NS_CROUTER $NS_SROUTER $NS_SERVER $NS_LOOP"
readonly CLIENT_IP=10.77.1.2 SERVER_IP=10.77.3.2 SERVER_PUBLIC_IP=10.77.2.2
readonly SERVER_OUTBOUND_IP=10.77.2.3

in_ns() { local ns=$1; shift; ip netns exec "$ns" "$@"; }

# veth NS_A IF_A ADDR_A NS_B IF_B ADDR_B: a cable between two namespaces.
veth() {
  ip link add "$2" netns "$1" type veth peer name "$5" netns "$4"
  in_ns "$1" ip addr add "$3" dev "$2"
  in_ns "$4" ip addr add "$6" dev "$5"
  in_ns "$1" ip link set "$2" up
  in_ns "$4" ip link set "$5" up
}

net_up() {
  local ns
  for ns in $ALL_NAMESPACES; do
    if ip netns list | grep -qw "$ns"; then
      echo "field-matrix: namespace $ns exists already (another run?)" >&2
      return 1
    fi
  done
  for ns in $ALL_NAMESPACES; do
    ip netns add "$ns" && CREATED_NAMESPACES+=("$ns") || return 1
    in_ns "$ns" ip link set lo up
  done
  veth "$NS_CLIENT" c0 10.77.1.2/24 "$NS_CROUTER" lan0 10.77.1.1/24 &&
    veth "$NS_CROUTER" wan0 10.77.2.1/24 "$NS_SROUTER" wan0 10.77.2.2/24 &&
    veth "$NS_SROUTER" lan0 10.77.3.1/24 "$NS_SERVER" s0 10.77.3.2/24 &&
    in_ns "$NS_SROUTER" ip addr add "$SERVER_OUTBOUND_IP/24" dev wan0 || return 1
  in_ns "$NS_CLIENT" ip route add default via 10.77.1.1 &&
    in_ns "$NS_SERVER" ip route add default via 10.77.3.1 &&
    in_ns "$NS_CROUTER" ip route add 10.77.3.0/24 via 10.77.2.2 &&
    in_ns "$NS_SROUTER" ip route add 10.77.1.0/24 via 10.77.2.1 || return 1
  in_ns "$NS_CROUTER" sysctl -qw net.ipv4.ip_forward=1 &&
    in_ns "$NS_SROUTER" sysctl -qw net.ipv4.ip_forward=1
}

net_down() {
  local ns pid
  for ns in "${CREATED_NAMESPACES[@]}"; do
    # Whatever still runs in our namespaces was started by this script.
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    ip netns del "$ns" 2>/dev/null
  done
  CREATED_NAMESPACES=()
}

client_nat_rules() { # $1: drop or reject, for connections opened from outside
  local refuse="drop"
  [ "$1" = reject ] && refuse="reject with icmp type host-unreachable"
  cat <<EOF
table ip lf_field {
  chain outbound {
    type nat hook postrouting priority srcnat; policy accept;
    oifname "wan0" masquerade
  }
  chain through {
    type filter hook forward priority filter; policy accept;
    iifname "wan0" ct state established,related accept
    iifname "wan0" $refuse
  }
}
EOF
}

server_nat_rules() { # $1 control port, $2 passive range LOW-HIGH, [$3 outbound address]
  local outbound="masquerade"
  [ -n "${3:-}" ] && outbound="snat to $3"
  cat <<EOF
table ip lf_field {
  chain inbound {
    type nat hook prerouting priority dstnat; policy accept;
    iifname "wan0" ip daddr $SERVER_PUBLIC_IP tcp dport { $1, $2 } dnat to $SERVER_IP
  }
  chain outbound {
    type nat hook postrouting priority srcnat; policy accept;
    oifname "wan0" $outbound
  }
  chain through {
    type filter hook forward priority filter; policy accept;
    iifname "wan0" ct state established,related accept
    iifname "wan0" ct status dnat accept
    iifname "wan0" drop
  }
}
EOF
}

# net_case NAME CONTROL_PORT PASSIVE_RANGE: sets the routers for one network case and
# the addresses of it: SERVE_NS, SERVE_IP (where the server listens), CLIENT_NS, DIAL_IP
# (what the client dials).
net_case() {
  local router
  for router in "$NS_CROUTER" "$NS_SROUTER"; do
    in_ns "$router" nft delete table ip lf_field 2>/dev/null
  done
  SERVE_NS=$NS_SERVER SERVE_IP=$SERVER_IP CLIENT_NS=$NS_CLIENT DIAL_IP=$SERVER_IP
  case $1 in
    loopback) SERVE_NS=$NS_LOOP SERVE_IP=127.0.0.1 CLIENT_NS=$NS_LOOP DIAL_IP=127.0.0.1 ;;
    direct) ;;
    nat-client) client_nat_rules drop | in_ns "$NS_CROUTER" nft -f - ;;
    nat-client-reject) client_nat_rules reject | in_ns "$NS_CROUTER" nft -f - ;;
    nat-server)
      server_nat_rules "$2" "$3" | in_ns "$NS_SROUTER" nft -f - && DIAL_IP=$SERVER_PUBLIC_IP ;;
    nat-server-2addr)
      server_nat_rules "$2" "$3" "$SERVER_OUTBOUND_IP" | in_ns "$NS_SROUTER" nft -f - &&
        DIAL_IP=$SERVER_PUBLIC_IP ;;
    nat-both)
      client_nat_rules drop | in_ns "$NS_CROUTER" nft -f - &&
        server_nat_rules "$2" "$3" | in_ns "$NS_SROUTER" nft -f - && DIAL_IP=$SERVER_PUBLIC_IP ;;
    *) echo "field-matrix: unknown network $1" >&2; return 1 ;;
  esac
}
