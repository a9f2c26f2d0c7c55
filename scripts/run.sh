#!/usr/bin/env bash
# Sets up the machine, builds, and starts Quorrin under Wine (with the
# simulated instrument on COM3 when no serial adapter is attached).
# Arguments go to scripts/launch.py (--demo, --seconds N, --no-open).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec /usr/bin/python3 scripts/launch.py "$@"
