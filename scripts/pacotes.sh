#!/usr/bin/env bash
# Builds the two Debian packages, zelto (client) and zelto-server, in their own build folder
# (default: build-pacotes) configured for /usr, and prints their paths.
#   scripts/pacotes.sh [PASTA_DE_BUILD]
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
bash "$raiz/scripts/setup.sh"
build="$(realpath -m "${1:-$raiz/build-pacotes}")"

lancador=()
command -v ccache >/dev/null && lancador=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$raiz" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DZELTO_TESTES=OFF "${lancador[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target zelto zelto-server
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/*.deb
