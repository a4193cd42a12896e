# Shared by the namespace tests: a far host 198.51.100.2 behind a veth pair, seen from a near
# namespace at 198.51.100.1 (TEST-NET-2 only; nothing touches the host's own network).
# Everything lives inside the two namespaces, so deleting them removes every link and rule;
# the EXIT trap does that on every way out.
#   source netns_lib.sh; netns_require; netns_up; ... ; (trap tears down)

bin_dir=${1:?usage: $0 BIN_DIR}
sondrel=$bin_dir/sondrel
tag=$$
near=sondrel-near-$tag
far=sondrel-far-$tag
responder_pid=""
failures=0
TAB=$'\t'

skip() {
  echo "SKIPPED: $*"
  exit 77
}

netns_require() {
  [ "$(id -u)" -eq 0 ] || skip "needs root to create network namespaces"
  for tool in ip iptables setpriv; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
  [ -x "$sondrel" ] || skip "no sondrel executable in $bin_dir"
}

# Ends every process still inside one of our namespaces (a responder, a stuck monitor):
# deleting a namespace does not, and a survivor would keep the test's output open.
netns_kill_all() {
  local ns pids
  for ns in "$near" "$far"; do
    pids=$(ip netns pids "$ns" 2>/dev/null)
    [ -n "$pids" ] && kill $pids 2>/dev/null
  done
  return 0
}

netns_down() {
  netns_kill_all
  if [ -n "$responder_pid" ]; then
    wait "$responder_pid" 2>/dev/null
  fi
  ip netns del "$near" 2>/dev/null
  ip netns del "$far" 2>/dev/null
  return 0
}

netns_up() {
  trap netns_down EXIT
  trap 'exit 130' INT TERM
  ip netns add "$near" 2>/dev/null || skip "cannot create a network namespace here"
  ip netns add "$far" || exit 1
  ip link add "sn$tag" netns "$near" type veth peer name "sf$tag" netns "$far" || exit 1
  ip -n "$near" addr add 198.51.100.1/24 dev "sn$tag"
  ip -n "$far" addr add 198.51.100.2/24 dev "sf$tag"
  for ns in "$near" "$far"; do
    ip -n "$ns" link set lo up
  done
  ip -n "$near" link set "sn$tag" up
  ip -n "$far" link set "sf$tag" up
  # The far side answers at once once the link is up; wait for neighbour discovery.
  ip netns exec "$near" ping -c1 -W2 198.51.100.2 >/dev/null 2>&1 || true
}

in_near() { ip netns exec "$near" "$@"; }
in_far() { ip netns exec "$far" "$@"; }

# Rules in the far namespace; each case starts from none.
far_rules_clear() { in_far iptables -F INPUT; }
far_rule() { in_far iptables -A INPUT -p icmp --icmp-type echo-request "$@"; }

start_responder() {  # DELAY_MS [COPIES]
  in_far sysctl -qw net.ipv4.icmp_echo_ignore_all=1
  # Started directly, not through a function: $! must be the responder itself.
  ip netns exec "$far" "$bin_dir/net_delay_responder" "$@" &
  responder_pid=$!
  sleep 0.2
}

stop_responder() {
  kill "$responder_pid" 2>/dev/null
  wait "$responder_pid" 2>/dev/null
  responder_pid=""
  in_far sysctl -qw net.ipv4.icmp_echo_ignore_all=0
}

# expect NAME FILE REGEX: a line of FILE matches the extended regular expression.
expect() {
  if grep -Eq -- "$3" "$2"; then
    echo "ok: $1"
  else
    echo "FAILED: $1: no line matches: $3"
    sed 's/^/    | /' "$2"
    failures=$((failures + 1))
  fi
}

# expect_not NAME FILE REGEX
expect_not() {
  if grep -Eq -- "$3" "$2"; then
    echo "FAILED: $1: a line matches: $3"
    sed 's/^/    | /' "$2"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

# Fails the test when one of this run's namespaces outlived it.
check_no_leftovers() {
  if ip netns list | grep -Eq "sondrel-(near|far)-$tag\b"; then
    echo "FAILED: namespaces left behind"
    ip netns list
    return 1
  fi
  return 0
}
