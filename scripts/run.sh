#!/usr/bin/env bash
# Installs what is missing, builds, and runs Zelto against the bundled registry server
# with demo data (operator "admin", password "admin"). The server stops when the program ends.
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
bash "$raiz/scripts/setup.sh"

build="$raiz/build"
dados="$raiz/.run"
mkdir -p "$dados"
cmake -S "$raiz" -B "$build" -DZELTO_BANCO_LOCAL="$dados/ruduza.db" >/dev/null
# Only what it runs: the tests and benchmarks are scripts/test.sh's business.
cmake --build "$build" -j"$(nproc)" --target zelto zelto-server

# The local lookup file (congregations, statuses, card layout), made once from the seeds.
if [ ! -f "$dados/ruduza.db" ]; then
  cat "$raiz"/data/local/*.sql | sqlite3 "$dados/ruduza.db"
fi

servidor="$build/server/zelto-server"
banco="sqlite:$dados/registro.db"
if [ ! -f "$dados/registro.db" ]; then
  "$servidor" demo --db "$banco"
fi

log="$dados/servidor.log"
: > "$log"
"$servidor" servir --db "$banco" --listen 127.0.0.1:9998 2>>"$log" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

for _ in $(seq 1 50); do
  grep -q 'ouvindo em' "$log" && break
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "O servidor não iniciou (veja $log):" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.1
done

"$build/zelto"
