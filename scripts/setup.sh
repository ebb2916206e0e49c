#!/usr/bin/env bash
# Installs what building, running and testing Zelto needs on Debian 12.
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail

pacotes=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libqt6opengl6-dev
  libgl-dev libsodium-dev libzstd-dev libbenchmark-dev sqlite3
  poppler-utils xvfb xauth imagemagick
  fonts-dejavu-core fonts-liberation
  postgresql libpq-dev
  pg-auto-failover-cli postgresql-15-auto-failover
  cups-daemon cups-client libcups2-dev
  qt6-translations-l10n
  dpkg-dev systemd desktop-file-utils
  qt6-httpserver-dev qt6-websockets-dev libsystemd-dev prometheus
  clang libclang-rt-14-dev
  openssl iproute2
)

faltando=()
for p in "${pacotes[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    faltando+=("$p")
  fi
done

if [ ${#faltando[@]} -gt 0 ]; then
  echo "Instalando: ${faltando[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${faltando[@]}" >/dev/null
fi
