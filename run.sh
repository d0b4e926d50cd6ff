#!/usr/bin/env bash
# Installs what is missing, builds the Release build in build/ and starts the window.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF
cmake --build build
exec ./build/src/app/quorvel
