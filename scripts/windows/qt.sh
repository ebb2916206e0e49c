#!/usr/bin/env bash
# Builds the Windows SDK the Windows program is cross-built against: Qt 6.4 from
# Debian's own qt6-base source, plus SQLite, zstd and libsodium from Debian's
# sources, all with Debian's MinGW-w64 (posix threads).
#
#   ZELTO_SDK_WINDOWS   where it is installed (default ~/.cache/zelto/sdk-windows)
#   ZELTO_SDK_JOBS      parallel jobs (default: the number of cores)
#
# Each stage leaves a stamp; running it again resumes after the last stage done.
set -euo pipefail

raiz=$(cd "$(dirname "$0")/../.." && pwd)
sdk=${ZELTO_SDK_WINDOWS:-$HOME/.cache/zelto/sdk-windows}
trabalhos=${ZELTO_SDK_JOBS:-$(nproc)}
fontes=$sdk/fontes
obras=$sdk/obras
alvo=x86_64-w64-mingw32
toolchain=$raiz/cmake/mingw-w64-x86_64.cmake
inicio=$(date +%s)

mkdir -p "$sdk" "$fontes" "$obras"
echo "SDK do Windows em $sdk ($trabalhos trabalhos)"

feito() { [ -f "$sdk/.feito-$1" ]; }
marca() { touch "$sdk/.feito-$1"; echo "== $1 pronto ($(( $(date +%s) - inicio )) s)"; }

# --- 1. Tools and Debian's sources ------------------------------------------
if ! feito ferramentas; then
  pacotes=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
           dpkg-dev ninja-build cmake perl tclsh autoconf automake libtool qt6-base-dev qt6-base-dev-tools
           qt6-translations-l10n)
  faltando=()
  for p in "${pacotes[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || faltando+=("$p")
  done
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  # Source packages come from a sources file of our own, so the system's stays as it is.
  lista=/etc/apt/sources.list.d/zelto-fontes.sources
  if [ ! -f "$lista" ]; then
    $sudo_cmd tee "$lista" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    $sudo_cmd apt-get update -qq
  fi
  if [ ${#faltando[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${faltando[@]}" >/dev/null
  fi
  marca ferramentas
fi

versao_qt_host=$(dpkg-query -W -f='${Version}' qt6-base-dev)

if ! feito fontes; then
  cd "$fontes"
  # The Qt source must be the very version of the host tools: moc and rcc come from Debian's Qt.
  [ -d qtbase ] || { apt-get source --download-only "qt6-base=$versao_qt_host" >/dev/null \
                     && dpkg-source -x qt6-base_*.dsc qtbase >/dev/null; }
  [ -d sqlite3 ] || { apt-get source --download-only sqlite3 >/dev/null && dpkg-source -x sqlite3_*.dsc sqlite3 >/dev/null; }
  [ -d zstd ]    || { apt-get source --download-only libzstd >/dev/null && dpkg-source -x libzstd_*.dsc zstd >/dev/null; }
  [ -d sodium ]  || { apt-get source --download-only libsodium >/dev/null && dpkg-source -x libsodium_*.dsc sodium >/dev/null; }
  marca fontes
fi

export PKG_CONFIG_LIBDIR=$sdk/lib/pkgconfig
export PKG_CONFIG_SYSROOT_DIR=

# --- 2. The libraries the program links, static -----------------------------
if ! feito zstd; then
  rm -rf "$obras/zstd"
  cmake -S "$fontes/zstd/build/cmake" -B "$obras/zstd" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$sdk" \
    -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_TESTS=OFF \
    -DZSTD_MULTITHREAD_SUPPORT=OFF >/dev/null
  ninja -C "$obras/zstd" -j "$trabalhos" install >/dev/null
  marca zstd
fi

if ! feito sodium; then
  # Debian's libsodium source carries no generated configure script.
  [ -x "$fontes/sodium/configure" ] || (cd "$fontes/sodium" && autoreconf -fi >/dev/null 2>&1)
  rm -rf "$obras/sodium"; mkdir -p "$obras/sodium"; cd "$obras/sodium"
  "$fontes/sodium/configure" --host=$alvo --prefix="$sdk" --disable-shared --enable-static \
    --with-pic CC=$alvo-gcc-posix >/dev/null
  make -j "$trabalhos" >/dev/null && make install >/dev/null
  marca sodium
fi

if ! feito sqlite; then
  # Debian ships SQLite's full source tree: the amalgamation is made from it with the host's
  # tools, then compiled for Windows on its own.
  rm -rf "$obras/sqlite"; mkdir -p "$obras/sqlite"; cd "$obras/sqlite"
  "$fontes/sqlite3/configure" --disable-tcl >/dev/null
  make sqlite3.c >/dev/null
  $alvo-gcc-posix -O2 -c sqlite3.c -o sqlite3.o \
    -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_JSON1 \
    -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION
  $alvo-ar rcs libsqlite3.a sqlite3.o
  install -D -m644 libsqlite3.a "$sdk/lib/libsqlite3.a"
  install -D -m644 sqlite3.h "$sdk/include/sqlite3.h"
  install -D -m644 sqlite3ext.h "$sdk/include/sqlite3ext.h"
  marca sqlite
fi

# --- 3. Qt ------------------------------------------------------------------
if ! feito qt-configurado; then
  rm -rf "$obras/qtbase"
  cmake -S "$fontes/qtbase" -B "$obras/qtbase" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$sdk/qt" -DCMAKE_PREFIX_PATH="$sdk" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF \
    -DBUILD_SHARED_LIBS=ON \
    -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_openssl=OFF -DFEATURE_schannel=ON \
    -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
    -DSQLite3_INCLUDE_DIR="$sdk/include" -DSQLite3_LIBRARY="$sdk/lib/libsqlite3.a" \
    -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF \
    -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_textmarkdownreader=OFF \
    -DFEATURE_zstd=OFF -DFEATURE_tabletevent=OFF \
    > "$obras/qtbase-configure.log" 2>&1 || { tail -40 "$obras/qtbase-configure.log"; exit 1; }
  marca qt-configurado
fi
# Debian's qt6-base leaves out Qt's copy of the Wintab headers (their licence forbids changes),
# which the Windows platform plugin needs for tablet events: those are off. A tree configured
# before that is reconfigured in place; only what the feature touches (Gui, Widgets, the
# plugins) is built again.
if ! grep -q '^FEATURE_tabletevent:BOOL=OFF' "$obras/qtbase/CMakeCache.txt"; then
  cmake -DFEATURE_tabletevent=OFF "$obras/qtbase" >> "$obras/qtbase-configure.log" 2>&1 \
    || { tail -40 "$obras/qtbase-configure.log"; exit 1; }
fi

# Qt 6.4's Windows platform plugin asks for the dynamic OpenGL loader whenever the feature is on,
# even in a build without OpenGL; the program draws without OpenGL, so those lines are left out.
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  "$fontes/qtbase/src/plugins/platforms/windows/qwindowswindow.cpp"

if ! feito qt; then
  # Resumable: ninja picks up where an interrupted build stopped.
  ninja -C "$obras/qtbase" -j "$trabalhos" > "$obras/qtbase-build.log" 2>&1 \
    || { tail -40 "$obras/qtbase-build.log"; exit 1; }
  ninja -C "$obras/qtbase" install > "$obras/qtbase-install.log" 2>&1 \
    || { tail -20 "$obras/qtbase-install.log"; exit 1; }
  marca qt
fi

# --- 4. Qt's pt_BR texts (architecture-independent, from Debian's package) --
mkdir -p "$sdk/qt/translations"
cp -f /usr/share/qt6/translations/qtbase_pt_BR.qm "$sdk/qt/translations/" 2>/dev/null || true

echo "SDK do Windows pronto em $sdk: $(( $(date +%s) - inicio )) s nesta execução"
