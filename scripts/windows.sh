#!/usr/bin/env bash
# Cross-builds the Windows program against the SDK (scripts/windows/qt.sh) into build-windows/,
# makes the deployment folder build-windows/implantar/ from packaging/windows/arquivos.txt and,
# with --instalador, the installer zelto-setup-<versão>.exe beside it.
#
#   scripts/windows.sh [--instalador] [--testes]   (--testes also builds the tests for wine)
#   ZELTO_SDK_WINDOWS   the SDK (default ~/.cache/zelto/sdk-windows)
set -euo pipefail

raiz=$(cd "$(dirname "$0")/.." && pwd)
sdk=${ZELTO_SDK_WINDOWS:-$HOME/.cache/zelto/sdk-windows}
obra=${ZELTO_OBRA_WINDOWS:-$raiz/build-windows}
instalador=0; testes=OFF
for a in "$@"; do
  case $a in
    --instalador) instalador=1 ;;
    --testes) testes=ON ;;
    *) echo "uso: $0 [--instalador] [--testes]" >&2; exit 2 ;;
  esac
done

if [ ! -f "$sdk/.feito-qt" ]; then
  echo "O SDK do Windows não está em $sdk: construa-o uma vez com scripts/windows/qt.sh (uma hora ou mais)." >&2
  exit 1
fi
inicio=$(date +%s)
lanca=(); command -v ccache >/dev/null && lanca=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export ZELTO_SDK_WINDOWS=$sdk
cmake -S "$raiz" -B "$obra" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$raiz/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DZELTO_TESTES=$testes -DCMAKE_CROSSCOMPILING_EMULATOR=wine "${lanca[@]}" >/dev/null
alvos=(zelto)
[ "$testes" = ON ] && alvos=(all)
cmake --build "$obra" --target "${alvos[@]}" -j"${ZELTO_JOBS:-$(nproc)}"

# The lookup file the installer leaves in %ProgramData%\Zelto when there is none.
rm -f "$obra/ruduza.db"
cat "$raiz"/data/local/*.sql | sqlite3 -bail "$obra/ruduza.db"

gcc_dll=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
destino=$obra/implantar
rm -rf "$destino"; mkdir -p "$destino"
while read -r origem pasta; do
  case $origem in ''|'#'*) continue ;; esac
  arquivo=$origem
  arquivo=${arquivo/#@obra/$obra}
  arquivo=${arquivo/#@fonte/$raiz}
  arquivo=${arquivo/#@qt/$sdk/qt}
  arquivo=${arquivo/#@gcc/$gcc_dll}
  arquivo=${arquivo/#@mingw//usr/x86_64-w64-mingw32}
  if [ ! -f "$arquivo" ]; then
    echo "falta $arquivo (de $origem em packaging/windows/arquivos.txt)" >&2
    exit 1
  fi
  mkdir -p "$destino/$pasta"
  cp "$arquivo" "$destino/$pasta/"
done < "$raiz/packaging/windows/arquivos.txt"
x86_64-w64-mingw32-strip "$destino"/*.dll "$destino"/*/*.dll "$destino/zelto.exe" 2>/dev/null || true
echo "Pasta de implantação: $destino ($(du -sh "$destino" | cut -f1))"

if [ $instalador = 1 ]; then
  versao=$(sed -n 's/^project(Zelto VERSION \([0-9.]*\).*/\1/p' "$raiz/CMakeLists.txt")
  makensis -V2 -DVERSAO="$versao" -DORIGEM="$destino" -DSAIDA="$obra/zelto-setup-$versao.exe" \
    "$raiz/packaging/windows/zelto.nsi"
  echo "Instalador: $obra/zelto-setup-$versao.exe ($(du -h "$obra/zelto-setup-$versao.exe" | cut -f1))"
fi
echo "Pronto em $(( $(date +%s) - inicio )) s"
