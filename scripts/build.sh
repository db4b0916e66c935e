#!/usr/bin/env bash
# Configures and builds Fernweave into build/ (Release, with debug info off,
# with Debian's hardening flags, as the package is made from this build).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DFERNWEAVE_HARDENING=ON >/dev/null
cmake --build build --parallel "$(nproc)"
