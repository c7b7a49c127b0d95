#!/usr/bin/env bash
# The main job. For now the platform layers are what exists: it writes the
# PBX link settings an installation starts from into a registry of its own
# and lists them back with velkor-reg.
set -euo pipefail
bin=${1:?usage: demo.sh BIN_DIR}

export VELKOR_REGISTRY_DIR=${VELKOR_REGISTRY_DIR:-$(mktemp -d)/registry}
key='HKEY_LOCAL_MACHINE\Software\Microsoft\PCApplication\VELKORSP'
reg="$bin/velkor-reg"

"$reg" set "$key" CommunicationMethod dword 2
"$reg" set "$key" VELKORIPAddress dword 0x7F000002
"$reg" set "$key" ConnectionMode dword 0
"$reg" set "$key" System dword 0
"$reg" list "$key"
echo "registry written under $VELKOR_REGISTRY_DIR"
