#!/usr/bin/env bash
# Makes a namespace lab with three simulated units, then lets the utility's
# transport find them by limited broadcast from the utility's namespace.
# Exit 77 (skipped) when namespaces cannot be made here.

set -uo pipefail

NETLAB=${1:?netlab script}
SIM=${2:?vork-sim}
TEST=${3:?tst_lab_broadcast}
VORK=${4:?vork}
UNITS=3

skip() { echo "SKIP: $*"; exit 77; }

[[ $(id -u) -eq 0 ]] || skip "needs root to make network namespaces"
command -v ip >/dev/null || skip "iproute2 (ip) is not installed"
probe="vkprobe$$"
if ! err=$(ip netns add "$probe" 2>&1); then
    skip "ip netns does not work here: $err"
fi
ip netns del "$probe"

PREFIX="vkl$$"
LOGDIR=$(mktemp -d)
SIM_PIDS=()

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

expected=()
for ((k = 1; k <= UNITS; k++)); do
    addr=$(bash "$NETLAB" unit-address "$k")
    # --for bounds the simulator even if this script is killed before its trap runs.
    ip netns exec "$PREFIX-u$k" "$SIM" --bind-any --address "$addr" --desc "Lab unit $k" --verbose --for 90 \
        >"$LOGDIR/u$k.log" 2>&1 &
    SIM_PIDS+=($!)
done

# Each simulator prints "unit ADDR MAC MAC ..." once it listens.
for ((k = 1; k <= UNITS; k++)); do
    line=""
    for ((try = 0; try < 100; try++)); do
        line=$(grep -m1 '^unit ' "$LOGDIR/u$k.log" || true)
        [[ -n $line ]] && break
        sleep 0.05
    done
    if [[ -z $line ]]; then
        echo "FAIL: simulator in $PREFIX-u$k did not start:"
        cat "$LOGDIR/u$k.log"
        exit 1
    fi
    echo "$line"
    read -r _ addr _ mac _ <<<"$line"
    expected+=("$addr=$mac")
done

ip netns exec "$PREFIX-util" env VORK_LAB_UTIL_IP=10.231.0.1 \
    VORK_LAB_UNITS="$(IFS=,; echo "${expected[*]}")" "$TEST"
rc=$?

# The command-line tool finds every unit of the lab by broadcast too.
if ((rc == 0)); then
    out=$(ip netns exec "$PREFIX-util" timeout 20 "$VORK" discover --local-ip 10.231.0.1 --sort ip)
    vrc=$?
    echo "$out"
    lines=$(printf '%s\n' "$out" | grep -c .)
    if ((vrc != 0 || lines != UNITS)); then
        echo "FAIL: vork discover exited $vrc with $lines lines, expected $UNITS"
        rc=1
    fi
    for pair in "${expected[@]}"; do
        addr=${pair%%=*}
        mac=${pair#*=}
        if ! printf '%s\n' "$out" | grep -q -P "\t\Q$addr\E\t\Q$mac\E\t"; then
            echo "FAIL: vork discover did not list $addr $mac"
            rc=1
        fi
    done
fi
if ((rc != 0)); then
    for ((k = 1; k <= UNITS; k++)); do
        echo "--- $PREFIX-u$k"
        cat "$LOGDIR/u$k.log"
    done
fi
exit $rc
