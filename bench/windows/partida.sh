#!/usr/bin/env bash
# Start of the program to its login window, the Windows build under wine against the Debian
# build, on the same machine and the same Xvfb screen: exec to the login window shown with its
# server fields filled (the driver tests/packaging/Conducao.cpp writes "passo=aberto"), N runs of
# each, alternating, after one run each that is not counted. Prints each figure and the ratio of
# the medians. The very first wine run (a fresh wine prefix) is printed apart.
#
#   bench/windows/partida.sh [N=7]       needs build/ (zelto, zelto_conducao) and build-windows/
set -euo pipefail
raiz=$(cd "$(dirname "$0")/../.." && pwd)
n=${1:-7}
sdk=${ZELTO_SDK_WINDOWS:-$HOME/.cache/zelto/sdk-windows}
linux=$raiz/build
obra=$raiz/build-windows
wine=${ZELTO_WINE:-wine}
tmp=$(mktemp -d)
trap 'WINEPREFIX=$tmp/wine wineserver -k 2>/dev/null || true; rm -rf "$tmp"' EXIT
export WINEPREFIX=$tmp/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot -i >/dev/null 2>&1
# The prefix's desktop, made without a display, is let end before the runs under Xvfb.
wineserver -w
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# Both programs as installed: the Windows one from its deployment folder, the Debian one from build/.
cp -r "$obra/implantar" "$tmp/zelto"
cat > "$tmp/mede.sh" <<'EOS'
set -u
modo=$1; saida=$2
rm -f "$saida"
inicio=$(date +%s%N)
if [ "$modo" = windows ]; then
  ZELTO_CONDUCAO_SAIDA=$(echo "Z:$saida" | tr / '\\') "$WINE" "$PROGRAMA_WINDOWS" &
else
  env -u WINEQT_PLUGIN_PATH -u WINEQT_QPA_GENERIC_PLUGINS ZELTO_CONDUCAO_SAIDA="$saida" LD_PRELOAD="$CONDUCAO_LINUX" \
    QT_QPA_PLATFORM=xcb "$PROGRAMA_LINUX" &
fi
p=$!
until grep -q '^passo=aberto' "$saida" 2>/dev/null; do
  kill -0 $p 2>/dev/null || { echo "falhou"; exit 1; }
  sleep 0.005
done
echo $(( ($(date +%s%N) - inicio) / 1000000 ))
wait $p
EOS
export WINE=$wine PROGRAMA_WINDOWS="$tmp/zelto/zelto.exe" PROGRAMA_LINUX="$linux/zelto" \
  CONDUCAO_LINUX="$linux/tests/packaging/libzelto_conducao.so" \
  WINEQT_PLUGIN_PATH=$(winpath "$obra/conducao") WINEQT_QPA_GENERIC_PLUGINS=zelto_conducao ZELTO_CONDUCAO_ATE=aberto
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  primeiro=$(bash "$0" windows "$1/v"); echo "windows, primeira vez no prefixo novo: $primeiro ms"
  bash "$0" linux "$1/v" >/dev/null
  w=(); l=()
  for i in $(seq 1 "$2"); do w+=($(bash "$0" windows "$1/v")); l+=($(bash "$0" linux "$1/v")); done
  echo "windows (wine): ${w[*]} ms"; echo "debian:         ${l[*]} ms"
  mw=$(printf "%s\n" "${w[@]}" | sort -n | sed -n "$(( ($2 + 1) / 2 ))p")
  ml=$(printf "%s\n" "${l[@]}" | sort -n | sed -n "$(( ($2 + 1) / 2 ))p")
  echo "mediana: windows $mw ms, debian $ml ms, razão $(echo "scale=2; $mw / $ml" | bc)"
' "$tmp/mede.sh" "$tmp" "$n"
