#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang under ASan/UBSan and runs each one for a
# while on a copy of its seed corpus. Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# (30 s each by default). A crash stops the run with the target's report and the input that
# caused it, saved in build-fuzz/achados/.
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
segundos="${1:-30}"
shift || true
build="$raiz/build-fuzz"

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ não encontrado; rode scripts/setup.sh" >&2
  exit 1
fi
cmake -S "$raiz/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

alvos=("$@")
if [ ${#alvos[@]} -eq 0 ]; then
  alvos=(fuzz_registros fuzz_listas fuzz_codificacao fuzz_montador fuzz_enquadramento fuzz_quadros fuzz_tls fuzz_compressao fuzz_atendente)
fi

mkdir -p "$build/achados"
falhas=0
for alvo in "${alvos[@]}"; do
  corpus="$(mktemp -d)"
  cp "$raiz/tests/fuzz/corpus/$alvo/"* "$corpus/"
  log="$build/$alvo.log"
  if QT_QPA_PLATFORM=offscreen "$build/$alvo" -max_total_time="$segundos" -max_len=8192 -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/achados/$alvo-" \
       "$corpus" >"$log" 2>&1; then
    execs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "fuzz: $alvo: ${execs:-?} execuções em ${segundos}s, sem falhas"
  else
    echo "fuzz: $alvo FALHOU — relatório:" >&2
    tail -n 60 "$log" >&2
    falhas=$((falhas + 1))
  fi
  rm -rf "$corpus"
done
[ "$falhas" -eq 0 ]
