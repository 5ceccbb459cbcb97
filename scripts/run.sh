#!/bin/bash
# Installs what is missing, builds, and starts the utility connected to a
# virtual unit (no hardware needed). Extra arguments go to the utility, for
# example --log=DEBUG. Run it on a desktop (it needs a display).
set -euo pipefail

cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
exec ./build/app/qvl-utility --simulate "$@"
