#!/usr/bin/env bash
# Screenshots of the main windows, taken under Xvfb with the demo data, into docs/capturas/.
# Run it again whenever a window changes. The client is driven from inside (tests/packaging/
# Conducao.cpp, loaded with LD_PRELOAD): it logs in as admin and opens each window in turn.
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
bash "$raiz/scripts/setup.sh"

build="$raiz/build"
dados="$raiz/.run"
saida="$raiz/docs/capturas"
mkdir -p "$dados" "$saida"
cmake -S "$raiz" -B "$build" -DZELTO_BANCO_LOCAL="$dados/ruduza.db" >/dev/null
cmake --build "$build" -j"$(nproc)" --target zelto zelto-server zelto_conducao
if [ ! -f "$dados/ruduza.db" ]; then
  cat "$raiz"/data/local/*.sql | sqlite3 "$dados/ruduza.db"
fi

tmp="$(mktemp -d)"
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"' EXIT
servidor="$build/server/zelto-server"
"$servidor" demo --db "sqlite:$tmp/registro.db" >/dev/null
# The program always connects to port 9998 of its built-in address.
"$servidor" servir --db "sqlite:$tmp/registro.db" --listen 127.0.0.1:9998 2>"$tmp/servidor.log" &
pid=$!
for _ in $(seq 1 50); do
  grep -q 'ouvindo em' "$tmp/servidor.log" && break
  kill -0 "$pid" 2>/dev/null || { cat "$tmp/servidor.log" >&2; echo "A porta 9998 está ocupada? (scripts/run.sh aberto?)" >&2; exit 1; }
  sleep 0.1
done

# Started from the home folder, as the desktop launcher starts it: the file dialogs open there.
cd "$HOME"
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb \
  LD_PRELOAD="$build/tests/packaging/libzelto_conducao.so" \
  ZELTO_CONDUCAO_SAIDA="$tmp/visto" ZELTO_CONDUCAO_CAPTURAS="$saida" \
  ZELTO_CONDUCAO_USUARIO=admin ZELTO_CONDUCAO_SENHA=admin \
  "$build/zelto" || { cat "$tmp/visto" >&2; exit 1; }
grep '^captura=' "$tmp/visto" | cut -d= -f2-
