#!/usr/bin/env bash
# Set-IP by MAC in a namespace lab: a unit really moves to its new address and
# `vork set-ip` confirms it; an address another device answers on is reported
# in use; a unit that ignores the request is reported failed; the utility's
# ARP entry for the moved unit's old address is purged.
# Exit 77 (skipped) when namespaces cannot be made here.

set -uo pipefail

NETLAB=${1:?netlab script}
SIM=${2:?vork-sim}
VORK=${3:?vork}
UNITS=3

skip() { echo "SKIP: $*"; exit 77; }

[[ $(id -u) -eq 0 ]] || skip "needs root to make network namespaces"
command -v ip >/dev/null || skip "iproute2 (ip) is not installed"
probe="vksp$$"
if ! err=$(ip netns add "$probe" 2>&1); then
    skip "ip netns does not work here: $err"
fi
ip netns del "$probe"

PREFIX="vks$$"
LOGDIR=$(mktemp -d)
SIM_PIDS=()
UTIL=10.231.0.1

cleanup() {
    local pid
    for pid in "${SIM_PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${SIM_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    bash "$NETLAB" down --prefix "$PREFIX" >/dev/null 2>&1 || true
    rm -rf "$LOGDIR"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

bash "$NETLAB" up --prefix "$PREFIX" --units "$UNITS" || { echo "FAIL: netlab up"; exit 1; }

rc=0
fail() { echo "FAIL: $*"; rc=1; }

# Unit k: its eth0 carries the unit's own MAC, so the utility's ARP table holds it.
macs=()
for ((k = 1; k <= UNITS; k++)); do
    addr=$(bash "$NETLAB" unit-address "$k")
    mac=$(printf '0050C2%02X%02X%02X' $((k * 16)) 0 $((k + 1)))
    macs+=("$mac")
    colon=$(echo "$mac" | sed 's/../&:/g; s/:$//')
    ip -n "$PREFIX-u$k" link set eth0 address "$colon"
    extra=()
    ((k == 3)) && extra=(--ignore-set-ip)
    ip netns exec "$PREFIX-u$k" "$SIM" --bind-any --lab-iface eth0 --address "$addr" --mac "$mac" \
        --desc "Lab unit $k" --verbose --for 90 "${extra[@]}" >"$LOGDIR/u$k.log" 2>&1 &
    SIM_PIDS+=($!)
done
for ((k = 1; k <= UNITS; k++)); do
    for ((try = 0; try < 100; try++)); do
        grep -q '^unit ' "$LOGDIR/u$k.log" && break
        sleep 0.05
    done
    grep -q '^unit ' "$LOGDIR/u$k.log" || { echo "FAIL: simulator $k did not start"; cat "$LOGDIR/u$k.log"; exit 1; }
done

U1=$(bash "$NETLAB" unit-address 1)
U2=$(bash "$NETLAB" unit-address 2)
NEW=10.231.0.50
inutil() { ip netns exec "$PREFIX-util" "$@"; }

# The utility learns unit 1's MAC for its old address.
inutil "$VORK" ping "$U1" >/dev/null 2>&1
before=$(inutil ip neigh show "$U1")
echo "before: $before"
echo "$before" | grep -qi "lladdr 00:50:c2:10:00:02" || fail "no ARP entry for $U1 before set-ip"

# 1. Unit 1 moves to NEW and confirms it with its MAC.
out=$(inutil timeout 30 "$VORK" set-ip "${macs[0]}" "$NEW" --local-ip "$UTIL" --verbose 2>"$LOGDIR/setip1.err")
vrc=$?
echo "set-ip: $vrc $out"
((vrc == 0)) || { fail "vork set-ip exited $vrc"; cat "$LOGDIR/setip1.err"; }
[[ $out == "$NEW	${macs[0]}" ]] || fail "vork set-ip printed '$out'"
ip -n "$PREFIX-u1" -4 -brief addr show eth0 | grep -q "$NEW/24" || fail "unit 1's interface does not hold $NEW"
after=$(inutil ip neigh show "$U1")
echo "after: $after"
echo "$after" | grep -qi "lladdr 00:50:c2:10:00:02" && fail "the ARP entry for $U1 was not purged"
grep -q "ARP entry deleted: $U1 00-50-c2-10-00-02" "$LOGDIR/setip1.err" || fail "set-ip did not delete the ARP entry itself"

# 2. Unit 2 already answers on its address: in use, nothing sent.
inutil timeout 30 "$VORK" set-ip "${macs[0]}" "$U2" --local-ip "$UTIL" 2>"$LOGDIR/setip2.err"
vrc=$?
((vrc == 6)) || fail "set-ip to an address in use exited $vrc, expected 6"
grep -q "already answers a ping" "$LOGDIR/setip2.err" || fail "no in-use reason: $(cat "$LOGDIR/setip2.err")"
grep -q "is already assigned to a device on the network" "$LOGDIR/setip2.err" || fail "no in-use warning"

# 3. Unit 3 ignores the request: failed, with the advice.
inutil timeout 30 "$VORK" set-ip "${macs[2]}" 10.231.0.51 --local-ip "$UTIL" 2>"$LOGDIR/setip3.err"
vrc=$?
((vrc == 1)) || fail "set-ip to a unit that ignores it exited $vrc, expected 1"
grep -q "Failed to set the IP address on Vork Unit ${macs[2]}" "$LOGDIR/setip3.err" || fail "no failure text"

if ((rc != 0)); then
    for f in "$LOGDIR"/*; do
        echo "--- $f"
        cat "$f"
    done
fi
exit $rc
