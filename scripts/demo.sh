#!/usr/bin/env bash
# The main job: velkor-pbxsim plays an example PBX on loopback UDP, the
# provider is installed in a registry and pointed at it, and tapicmd lists
# the line devices the provider found. The simulator is stopped however the
# run ends.
#
#   demo.sh BIN_DIR [--config FILE] [--address A.B.C.D] [--peer A.B.C.D] [--run SCRIPT]
#
#   --config FILE   the PBX to play (default tools/pbxsim/examples/model90-medium.pbx)
#   --address A     the simulator's loopback address (default 127.0.8.2)
#   --peer A        the provider's loopback address (default 127.0.8.1)
#   --run SCRIPT    afterwards also run the tapicmd commands in SCRIPT
#
# The registry is a private one in a temporary folder, removed at the end;
# only when VELKOR_REGISTRY_DIR is set is that registry used (and changed).
set -euo pipefail

usage() {
    echo "usage: demo.sh BIN_DIR [--config FILE] [--address A.B.C.D] [--peer A.B.C.D] [--run SCRIPT]" >&2
    exit 2
}

[ $# -ge 1 ] || usage
bin=$(cd "$1" && pwd)
shift
top=$(cd "$(dirname "$0")/.." && pwd)
config=$top/tools/pbxsim/examples/model90-medium.pbx
address=127.0.8.2
peer=127.0.8.1
script=
while [ $# -gt 0 ]; do
    case $1 in
        --config) config=${2:?--config needs a file}; shift 2 ;;
        --address) address=${2:?--address needs an address}; shift 2 ;;
        --peer) peer=${2:?--peer needs an address}; shift 2 ;;
        --run) script=${2:?--run needs a file}; shift 2 ;;
        *) usage ;;
    esac
done
[ -r "$config" ] || { echo "demo: cannot read $config" >&2; exit 2; }
[ -z "$script" ] || [ -r "$script" ] || { echo "demo: cannot read $script" >&2; exit 2; }

# DWORD form of a dotted address, first octet in the most significant byte.
dword() {
    local IFS=. a b c d
    read -r a b c d <<<"$1"
    printf '0x%02X%02X%02X%02X' $((10#$a)) $((10#$b)) $((10#$c)) $((10#$d))
}
for a in "$address" "$peer"; do
    if ! [[ $a =~ ^127\.([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})$ ]] ||
        ((10#${BASH_REMATCH[1]} > 255 || 10#${BASH_REMATCH[2]} > 255 || 10#${BASH_REMATCH[3]} > 255)); then
        echo "demo: $a is not a loopback address" >&2
        exit 2
    fi
done
# Both ends bind the same fixed ports, so they need addresses of their own.
[ "$address" != "$peer" ] || { echo "demo: --address and --peer must differ" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-demo.XXXXXX")
sim_pid=
cleanup() {
    local code=$?
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid"
        wait "$sim_pid" 2>/dev/null || true
        echo "demo: simulator stopped"
    fi
    if [ "$code" -eq 1 ] && [ -s "$work/sim.log" ]; then
        echo "demo: the last frames the simulator logged:" >&2
        tail -n 8 "$work/sim.log" | cut -c1-120 >&2
    fi
    rm -rf "$work"
    exit "$code"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -n "${VELKOR_REGISTRY_DIR:-}" ]; then
    echo "demo: registry $VELKOR_REGISTRY_DIR (yours: the provider settings and list are written into it)"
else
    export VELKOR_REGISTRY_DIR=$work/registry
    echo "demo: registry $VELKOR_REGISTRY_DIR (private, removed at the end)"
fi

# The small system (model code 24) is installed with System 1.
model=$(awk '$1 == "model" { print $2; exit }' "$config")
system=0
[ "$model" = 24 ] && system=1

reg="$bin/velkor-reg"
key='HKEY_LOCAL_MACHINE\Software\Microsoft\PCApplication\VELKORSP'
"$reg" set "$key" CommunicationMethod dword 2
"$reg" set "$key" ConnectionMode dword 0
"$reg" set "$key" System dword "$system"
"$reg" set "$key" VELKORIPAddress dword "$(dword "$address")"
"$reg" set "$key" LocalIPAddress dword "$(dword "$peer")"
providers='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Telephony\Providers'
"$reg" set "$providers" NumProviders dword 1
"$reg" set "$providers" NextProviderID dword 2
"$reg" set "$providers" ProviderFileName0 string "$bin/velkorsp.tsp"
"$reg" set "$providers" ProviderID0 dword 1

: >"$work/sim.out"
"$bin/velkor-pbxsim" --config "$config" --address "$address" --peer "$peer" \
    --no-stdin --log "$work/sim.log" >"$work/sim.out" &
sim_pid=$!
# It prints where it listens, then "ready: ..."; a simulator that cannot
# bind its address ends at once.
for ((i = 0; i < 200; i++)); do
    grep -q '^ready:' "$work/sim.out" && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        wait "$sim_pid" || true
        sim_pid=
        echo "demo: the simulator ended before it was ready (an address taken? try --address and --peer)" >&2
        exit 1
    fi
    sleep 0.05
done
grep -q '^ready:' "$work/sim.out" || { echo "demo: the simulator is not ready after 10 s" >&2; exit 1; }
sed 's/^/demo: simulator /' "$work/sim.out"

echo "demo: tapicmd lines (the provider paces its station queries; this takes a few seconds)"
"$bin/tapicmd" lines | tee "$work/lines.txt"
count=$(wc -l <"$work/lines.txt")
if [ "$count" -eq 0 ]; then
    echo "demo: the provider found no line devices" >&2
    exit 1
fi
echo "demo: $count line devices"

if [ -n "$script" ]; then
    echo "demo: tapicmd run -f $script"
    "$bin/tapicmd" run -f "$script"
fi
