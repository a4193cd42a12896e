#!/usr/bin/env bash
# Without any privilege the console monitor falls back to an ICMP datagram socket where
# net.ipv4.ping_group_range admits the user, and shows the same texts as on a raw socket;
# where nothing admits the user it says how to grant either permission.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/netns_lib.sh"
netns_require
work=$(mktemp -d)
chmod 755 "$work"

# An unprivileged user with no capability left in any set.
as_nobody() {
  in_near setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all "$@"
}

(
  netns_up
  out=$work/out

  # The namespace starts with ping_group_range "1 0": nobody gets neither kind of socket.
  as_nobody "$sondrel" --console --rounds 1 --interval 1 127.0.0.1 >"$out" 2>&1
  status=$?
  if [ "$status" -eq 2 ]; then echo "ok: exit status 2 without a socket"; else
    echo "FAILED: exit status $status without a socket"; failures=$((failures + 1)); fi
  expect "names setcap" "$out" "setcap cap_net_raw\+ep "
  expect "names the sysctl" "$out" "net\.ipv4\.ping_group_range"

  in_near sysctl -qw net.ipv4.ping_group_range="0 2147483647"
  as_nobody "$sondrel" --console --rounds 2 --interval 1 --events 127.0.0.1 198.51.100.2 >"$out" 2>&1
  expect "loopback reply on a datagram socket" "$out" "^127\.0\.0\.1${TAB}[A-Z].*${TAB}ttl=64,time=[0-9]+,bytes=32$"
  expect "far reply on a datagram socket" "$out" "^198\.51\.100\.2${TAB}[A-Z].*${TAB}ttl=64,time=[0-9]+,bytes=32$"
  expect "datagram statistics" "$out" "^198\.51\.100\.2${TAB}2${TAB}2${TAB}0 \(0% loss\)${TAB}"

  far_rule -j REJECT --reject-with icmp-host-unreachable
  as_nobody "$sondrel" --console --rounds 3 --interval 1 --events 198.51.100.2 127.0.0.2 >"$out" 2>&1
  expect "host unreachable from the error queue" "$out" "${TAB}198\.51\.100\.2:host unreachable$"
  expect "error row" "$out" "^198\.51\.100\.2${TAB}${TAB}${TAB}$"
  expect "the other host still answers" "$out" "^127\.0\.0\.2${TAB}3${TAB}3${TAB}0 \(0% loss\)${TAB}"
  expect_not "a pending error never fails a send" "$out" "WSAError"

  far_rules_clear
  far_rule -j REJECT --reject-with icmp-port-unreachable
  as_nobody "$sondrel" --console --rounds 1 --interval 1 --events 198.51.100.2 >"$out" 2>&1
  expect "port unreachable from the error queue" "$out" "${TAB}198\.51\.100\.2:port unreachable$"

  exit $((failures > 0))
)
status=$?
rm -rf "$work"
check_no_leftovers || status=1
exit $status
