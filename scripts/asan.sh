#!/usr/bin/env bash
# Builds the request-cycle tests with AddressSanitizer and UndefinedBehaviorSanitizer in a build
# folder of their own (build-asan) and runs them: every way a wait ends (reply, time-out, size
# limit, memory running out, broken frame, dropped connection) is exercised there, so a wait
# left pointing at freed memory or a read past a reply's end stops the run.
# Usage: scripts/asan.sh [TEST...]   (default: the tests below)
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
build="$raiz/build-asan"
testes=("$@")
if [ ${#testes[@]} -eq 0 ]; then
  testes=(tst_RequisicaoRespostas tst_RequisicaoFalhas tst_MontadorDeResposta tst_frmLocalizar)
fi
lancador=()
if command -v ccache >/dev/null; then
  lancador=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
bandeiras="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$raiz" -B "$build" "${lancador[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$bandeiras" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DZELTO_BANCO_LOCAL="$raiz/.run/ruduza.db" >/dev/null
cmake --build "$build" -j"$(nproc)" --target zelto-server "${testes[@]}" >/dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd "$build"
filtro="^($(IFS='|'; echo "${testes[*]}"))\$"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" -R "$filtro"
