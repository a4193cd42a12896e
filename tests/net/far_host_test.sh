#!/usr/bin/env bash
# The console monitor on a raw socket against a far host in its own namespace: replies,
# ICMP errors from iptables REJECT, loss from iptables' statistic match, and delay from a
# responder of ours.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/netns_lib.sh"
netns_require
work=$(mktemp -d)

(
  netns_up
  out=$work/out

  in_near "$sondrel" --console --rounds 2 --interval 1 --events 198.51.100.2 >"$out" 2>&1
  expect "reply from the far host" "$out" "^198\.51\.100\.2${TAB}[A-Z].*${TAB}ttl=64,time=[0-9]+,bytes=32$"
  expect "statistics without loss" "$out" "^198\.51\.100\.2${TAB}2${TAB}2${TAB}0 \(0% loss\)${TAB}"

  far_rule -j REJECT --reject-with icmp-host-unreachable
  in_near "$sondrel" --console --rounds 2 --interval 1 --events 198.51.100.2 127.0.0.1 >"$out" 2>&1
  expect "host unreachable names the host" "$out" "${TAB}198\.51\.100\.2:host unreachable$"
  expect "an error empties the row" "$out" "^198\.51\.100\.2${TAB}${TAB}${TAB}$"
  expect "errors are answers, not losses or receptions" "$out" "^198\.51\.100\.2${TAB}2${TAB}0${TAB}2 \(100% loss\)${TAB}"
  expect "loopback answers beside it" "$out" "^127\.0\.0\.1${TAB}64${TAB}[0-9]+${TAB}32$"
  expect_not "no request timeout for an answered host" "$out" "^198\.51\.100\.2${TAB}.*request timeout\.$"
  expect_not "no socket errors" "$out" "WSAError"

  # Every second request dropped: exactly half are lost, and the silent rounds time out.
  far_rules_clear
  far_rule -m statistic --mode nth --every 2 --packet 1 -j DROP
  in_near "$sondrel" --console --rounds 4 --interval 1 --events 198.51.100.2 >"$out" 2>&1
  expect "half the requests lost" "$out" "^198\.51\.100\.2${TAB}4${TAB}2${TAB}2 \(50% loss\)${TAB}"
  expect "a lost round times out" "$out" "^198\.51\.100\.2${TAB}[A-Z].*${TAB}request timeout\.$"

  # Everything dropped: timeouts in the table, no reply at all.
  far_rules_clear
  far_rule -j DROP
  in_near "$sondrel" --console --rounds 2 --interval 1 198.51.100.2 >"$out" 2>&1
  expect "timeout column" "$out" "^198\.51\.100\.2${TAB}${TAB}timeout${TAB}$"
  expect "all lost" "$out" "^198\.51\.100\.2${TAB}2${TAB}0${TAB}2 \(100% loss\)${TAB}-1 ms${TAB}-1 ms${TAB}0 ms${TAB}0$"

  # A slow host that answers every request twice: our responder, 300 ms late. Each copy shows
  # and is logged; only one answer per request counts.
  far_rules_clear
  start_responder 300 2
  in_near "$sondrel" --console --rounds 3 --interval 1 --events 198.51.100.2 >"$out" 2>&1
  stop_responder
  expect "every copy is logged" <(grep -Ec "${TAB}ttl=64,time=(3|4)[0-9][0-9],bytes=32$" "$out") "^6$"
  expect "delayed statistics" "$out" "^198\.51\.100\.2${TAB}3${TAB}3${TAB}0 \(0% loss\)${TAB}(3|4)[0-9][0-9] ms${TAB}"

  exit $((failures > 0))
)
status=$?
rm -rf "$work"
check_no_leftovers || status=1
exit $status
