#!/usr/bin/env bash
# Builds the Debian package of Quorvel in build/ (Release): build/quorvel_VERSION_ARCH.deb.
# Install it with: sudo apt install ./build/quorvel_*.deb
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF >/dev/null
cmake --build build
(cd build && cpack -G DEB)
ls build/quorvel_*.deb
