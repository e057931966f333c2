#!/usr/bin/env bash
# Runs the loopback echo tests over an unprivileged ICMP datagram socket: a
# fresh network namespace of this process alone gets its own lo and its own
# ping_group_range, so the host's setting is never touched.
# Exit 77 (skipped) when a namespace cannot be made here.

set -uo pipefail

TEST=${1:?tst_ping}

skip() { echo "SKIP: $*"; exit 77; }

command -v unshare >/dev/null || skip "unshare is not installed"
command -v ip >/dev/null || skip "iproute2 (ip) is not installed"
unshare -n true 2>/dev/null || skip "cannot make a network namespace here (needs root)"

out=$(timeout 60 unshare -n sh -c '
    ip link set lo up &&
    echo "0 2147483647" > /proc/sys/net/ipv4/ping_group_range &&
    exec "$0" "pingerLoopback:datagram socket"' "$TEST" 2>&1)
rc=$?
echo "$out"
[[ $rc -eq 0 ]] || exit "$rc"
# A skip here would mean the datagram socket was refused after all.
grep -q 'PASS   : TestPing::pingerLoopback(datagram socket)' <<<"$out" || { echo "datagram echo did not run"; exit 1; }
