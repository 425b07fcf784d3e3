#!/bin/sh
# Runs one command in a private network namespace with only loopback up, so that a test can
# never put a packet (a broadcast least of all) on a real network.
#
# scripts/isolate.sh --lan CMD ... adds a private test LAN for the send benchmarks: eth0 holds
# 198.51.100.1/24 and leads over a virtual cable to a second private namespace, where the peers
# 198.51.100.10-249 (link address 02:00:00:00:00:01, as benchmarks/testlan.h expects) take every
# datagram into a socket (build-bench/benchmarks/testlanpeer). At the end it prints how many
# datagrams the command sent and how many reached the peers' sockets.
if [ "${1:-}" = "--lan" ]; then
  shift
  peer=${DALLOWMERE_LAN_PEER:-$(cd "$(dirname "$0")/.." && pwd)/build-bench/benchmarks/testlanpeer}
  [ -x "$peer" ] || { echo "isolate.sh: $peer missing (scripts/bench.sh builds it)" >&2; exit 2; }
  exec unshare -rn sh -c '
    peer=$1; shift
    ip link set lo up
    ip link add eth0 type veth peer name eth0-peer || exit 1
    unshare -n sleep 86400 & ns=$!
    trap "kill \$ns \${receiver:-} 2>/dev/null" EXIT
    while [ "$(readlink /proc/$ns/ns/net)" = "$(readlink /proc/$$/ns/net)" ]; do sleep 0.05; done
    ip link set eth0-peer netns "$ns" || exit 1
    ip addr add 198.51.100.1/24 dev eth0 && ip link set eth0 up
    nsenter -t "$ns" -n sh -c "
      ip link set lo up
      ip link set eth0-peer address 02:00:00:00:00:01 && ip link set eth0-peer up
      for i in \$(seq 10 249); do ip addr add 198.51.100.\$i/24 dev eth0-peer; done
      ip route add default dev eth0-peer" || exit 1
    nsenter -t "$ns" -n "$peer" & receiver=$!
    tries=0
    until nsenter -t "$ns" -n ss -Huln | grep -q ":6038 "; do
      tries=$((tries + 1))
      [ "$tries" -lt 200 ] || { echo "isolate.sh: the test LAN peer did not start" >&2; exit 1; }
      sleep 0.05
    done
    DALLOWMERE_ISOLATED=1 "$@"; status=$?
    sent=$(nstat -az IpOutRequests | awk "/IpOutRequests/ {print \$2}")
    taken=$(nsenter -t "$ns" -n nstat -az UdpInDatagrams | awk "/UdpInDatagrams/ {print \$2}")
    echo "test LAN: $sent datagrams sent, $taken reached sockets of the peers" >&2
    exit $status' sh "$peer" "$@"
fi
if [ "${DALLOWMERE_ISOLATED:-}" = 1 ] && ! ip -o link show 2>/dev/null | grep -qv ': lo:'; then
  exec "$@"
fi
exec unshare -rn sh -c 'ip link set lo up 2>/dev/null || true; DALLOWMERE_ISOLATED=1 exec "$@"' sh "$@"
