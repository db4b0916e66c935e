#!/usr/bin/env bash
# Installs what is missing, builds Fernweave and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure --timeout 300 -j "$(nproc)"
