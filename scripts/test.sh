#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through CTest.
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
bash "$raiz/scripts/setup.sh"
build="$raiz/build"
# Same settings as scripts/run.sh, so switching between the two does not rebuild.
cmake -S "$raiz" -B "$build" -DZELTO_BANCO_LOCAL="$raiz/.run/ruduza.db" >/dev/null
cmake --build "$build" -j"$(nproc)"
# The packages' own build, here rather than inside tst_pacotes, so it does not compete with the
# other tests for the processors; the test then finds it up to date.
bash "$raiz/scripts/pacotes.sh" "$build/pacotes" >/dev/null
# The fuzz targets first, a short while each (ZELTO_FUZZ_SEGUNDOS, 10 by default; 0 skips them;
# scripts/fuzz.sh runs them longer).
segundos="${ZELTO_FUZZ_SEGUNDOS:-10}"
if [ "$segundos" -gt 0 ]; then
  bash "$raiz/scripts/fuzz.sh" "$segundos"
fi
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
# The Windows program under wine, when the Windows SDK is there (else one line saying so).
bash "$raiz/scripts/windows/testes.sh"
