#!/usr/bin/env bash
# The Windows program's tests, under wine, in a wine prefix of their own:
#   1. the client's Qt tests cross-built for Windows (ctest in build-windows/, offscreen);
#      Wine prints through CUPS: a private cupsd (its own socket, spool and queue in the
#      temporary folder, never the machine's print service) holds one paused queue for them;
#   2. the installer run silently, zelto.exe logging in to our Debian server over TLS with the
#      office's pinned certificate (a screenshot of its main menu under Xvfb), a second
#      installation keeping the settings, the uninstaller keeping the data.
# The Debian server (build/server/zelto-server) serves on a loopback address of its own at
# port 9998, the program's fixed port. Without the SDK (scripts/windows/qt.sh) it says so in one
# line and does nothing.
#
#   scripts/windows/testes.sh [ctest options]      ZELTO_WINE: the wine program (default wine)
set -euo pipefail

raiz=$(cd "$(dirname "$0")/../.." && pwd)
sdk=${ZELTO_SDK_WINDOWS:-$HOME/.cache/zelto/sdk-windows}
if [ ! -f "$sdk/.feito-qt" ]; then
  echo "Testes do Windows pulados: não há SDK do Windows em $sdk (construa-o uma vez com scripts/windows/qt.sh)."
  exit 0
fi
inicio=$(date +%s)
obra=$raiz/build-windows
linux=$raiz/build
wine=${ZELTO_WINE:-wine}

# --- The builds: our Debian server, the Windows program, its tests and installer -----------
[ -f "$linux/build.ninja" ] || [ -f "$linux/Makefile" ] \
  || cmake -S "$raiz" -B "$linux" -DZELTO_BANCO_LOCAL="$raiz/.run/ruduza.db" >/dev/null
cmake --build "$linux" --target zelto-server >/dev/null
bash "$raiz/scripts/windows.sh" --testes --instalador | grep -E '^(Pasta|Instalador)' || true
versao=$(sed -n 's/^project(Zelto VERSION \([0-9.]*\).*/\1/p' "$raiz/CMakeLists.txt")
instalador=$obra/zelto-setup-$versao.exe

tmp=$(mktemp -d)
pid_servidor=""
pid_cupsd=""
encerra() {
  [ -n "$pid_servidor" ] && kill "$pid_servidor" 2>/dev/null && wait "$pid_servidor" 2>/dev/null
  [ -n "$pid_cupsd" ] && kill "$pid_cupsd" 2>/dev/null && wait "$pid_cupsd" 2>/dev/null
  WINEPREFIX=$tmp/wine wineserver -k 2>/dev/null || true
  rm -rf "$tmp"
}
trap encerra EXIT

export WINEPREFIX=$tmp/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot -i >/dev/null 2>&1
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
# The SDK's DLLs for the tests (the installed program carries its own).
gcc_dll=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="$(winpath "$sdk/qt/bin");$(winpath "$gcc_dll");$(winpath /usr/x86_64-w64-mingw32/lib)"

# --- Our Debian server, TLS with a certificate of its own ----------------------------------
openssl req -x509 -days 2 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=zelto-teste \
  -keyout "$tmp/servidor.key" -out "$tmp/servidor.crt" 2>/dev/null
impressao=$(openssl x509 -in "$tmp/servidor.crt" -noout -fingerprint -sha256 | cut -d= -f2 | tr -d : | tr A-F a-f)
servidor=$linux/server/zelto-server
banco="sqlite:$tmp/registro.db"
"$servidor" criar-banco --db "$banco" >/dev/null
"$servidor" departamento --id 1 --nome Secretaria --db "$banco" >/dev/null
echo senha123 | "$servidor" operador --usuario operador --departamento 1 --custo-senha minimo --db "$banco" >/dev/null
"$servidor" gerar-fichas --departamento 1 --quantidade 20 --db "$banco" >/dev/null
endereco=127.$(( RANDOM % 200 + 20 )).$(( RANDOM % 250 + 1 )).$(( RANDOM % 250 + 1 ))
"$servidor" servir --db "$banco" --listen "$endereco:9998" \
  --tls-certificado "$tmp/servidor.crt" --tls-chave "$tmp/servidor.key" 2>"$tmp/servidor.log" &
pid_servidor=$!
for _ in $(seq 1 100); do
  grep -q 'ouvindo em' "$tmp/servidor.log" && break
  kill -0 "$pid_servidor" 2>/dev/null || { cat "$tmp/servidor.log" >&2; exit 1; }
  sleep 0.1
done

# --- A private cupsd with one paused queue, the Windows tests' only printer ----------------
# As tests/support/ServidorCups does for the Linux tests: everything in its own folder, CUPS's
# programs linked in, the queue a /dev/null file that keeps its jobs (cupsdisable).
cups=$tmp/cups
ambiente_cups=()
if [ -x /usr/sbin/cupsd ] && command -v lpadmin >/dev/null && command -v cupsdisable >/dev/null; then
  mkdir -p "$cups"/{spool,tmp,cache,state,log,bin/backend}
  for d in /usr/lib/cups/*; do [ "${d##*/}" = backend ] || ln -s "$d" "$cups/bin/"; done
  ln -s /usr/lib/cups/backend/* "$cups/bin/backend/"
  printf '%s\n' "ServerRoot $cups" "RequestRoot $cups/spool" "TempDir $cups/tmp" "CacheDir $cups/cache" \
    "StateDir $cups/state" "ServerBin $cups/bin" "DataDir /usr/share/cups" "AccessLog $cups/log/access_log" \
    "ErrorLog $cups/log/error_log" "PageLog $cups/log/page_log" "Printcap $cups/printcap" "FileDevice Yes" \
    > "$cups/cups-files.conf"
  printf '%s\n' "Listen $cups/cups.sock" "LogLevel info" "Browsing Off" "WebInterface No" "DefaultAuthType None" \
    "<Location />" "  Order allow,deny" "  Allow all" "</Location>" \
    "<Policy default>" "  <Limit All>" "    Order deny,allow" "  </Limit>" "</Policy>" > "$cups/cupsd.conf"
  /usr/sbin/cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" >"$cups/log/saida" 2>&1 &
  pid_cupsd=$!
  for _ in $(seq 1 100); do [ -S "$cups/cups.sock" ] && break; sleep 0.1; done
  if CUPS_SERVER=$cups/cups.sock lpadmin -p Pausada -E -v file:///dev/null \
     && CUPS_SERVER=$cups/cups.sock lpadmin -d Pausada && CUPS_SERVER=$cups/cups.sock cupsdisable Pausada; then
    ambiente_cups=(CUPS_SERVER="$cups/cups.sock" ZELTO_CUPS_FILA_PAUSADA=Pausada ZELTO_CUPS_SPOOL="$(winpath "$cups/spool")")
  else
    echo "O cupsd próprio dos testes não iniciou: a fila pausada fica sem teste." >&2
    tail -5 "$cups/log/error_log" >&2 2>/dev/null || true
  fi
else
  echo "Sem cupsd/lpadmin (pacotes cups-daemon e cups-client): a fila pausada fica sem teste." >&2
fi

falhas=0
falha() { echo "FALHOU: $*" >&2; falhas=$(( falhas + 1 )); }
# Whether file $2 has the line $1 (the installer writes Windows line ends).
tem_linha() { tr -d '\r' < "$2" | grep -qxF "$1"; }

# --- 1. The Qt tests under wine -----------------------------------------------------------
export ZELTO_SERVIDOR_DE_FORA=$endereco:9998 ZELTO_SERVIDOR_DE_FORA_IMPRESSAO=$impressao
# Wine hands a program none of the QT_ variables of its caller (they belong to the Linux Qt);
# WINEQT_X reaches it as QT_X.
export WINEQT_PLUGIN_PATH=$(winpath "$sdk/qt/plugins") WINEQT_QPA_PLATFORM=offscreen
(cd "$obra" && env "${ambiente_cups[@]}" ctest --output-on-failure -j2 --timeout 300 "$@") || falha "testes Qt sob o wine"
unset WINEQT_PLUGIN_PATH WINEQT_QPA_PLATFORM WINEPATH

# --- 2. The installer, the program, a second installation, the uninstaller ----------------
c=$WINEPREFIX/drive_c
programa="$c/Program Files/Zelto"
escritorio="$c/ProgramData/Zelto"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zelto.lnk"
pino=$(echo "$impressao" | sed 's/../&:/g; s/:$//' | tr a-f A-F)
"$wine" "$instalador" /S "/SERVIDOR=$endereco" "/CERTIFICADO=$pino"
for f in zelto.exe Qt6Core.dll platforms/qwindows.dll sqldrivers/qsqlite.dll tls/qschannelbackend.dll \
         translations/qtbase_pt_BR.qm config.ini desinstalar.exe; do
  [ -f "$programa/$f" ] || falha "instalação sem $f"
done
[ -f "$menu" ] || falha "sem o atalho Zelto no menu Iniciar"
[ -f "$escritorio/ruduza.db" ] || falha "sem o banco local em ProgramData"
tem_linha "servidor=$endereco" "$escritorio/implantacao.ini" || falha "implantacao.ini sem o servidor"
tem_linha "certificado=$pino" "$escritorio/implantacao.ini" || falha "implantacao.ini sem o certificado"
echo "Instalado: $(du -sh "$programa" | cut -f1) em Program Files; instalador $(du -h "$instalador" | cut -f1)"

# The installed program, driven from inside by the generic plugin, up to its main menu. The
# prefix's desktop, started so far without a display, is ended first: a program started beside
# it would draw nowhere (a black screenshot).
WINEPREFIX=$tmp/wine wineserver -k 2>/dev/null || true
WINEPREFIX=$tmp/wine wineserver -w
visto=$tmp/visto
tela=${ZELTO_TELA_WINDOWS:-$obra/menu-principal-wine.png}
ZELTO_CONDUCAO_SAIDA=$(winpath "$visto") ZELTO_CONDUCAO_USUARIO=operador ZELTO_CONDUCAO_SENHA=senha123 \
ZELTO_CONDUCAO_ATE=menu ZELTO_CONDUCAO_FICA_MS=5000 WINEQT_QPA_GENERIC_PLUGINS=zelto_conducao \
WINEQT_PLUGIN_PATH=$(winpath "$obra/conducao") \
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    "$0" "C:\\Program Files\\Zelto\\zelto.exe" & p=$!
    for _ in $(seq 1 600); do grep -q "^passo=menu" "$1" 2>/dev/null && break; sleep 0.1; done
    sleep 1; import -window root "$2"
    for _ in $(seq 1 100); do kill -0 $p 2>/dev/null || break; sleep 0.1; done
    kill $p 2>/dev/null; wait $p' "$wine" "$visto" "$tela" || true
grep -q '^fim=ok' "$visto" 2>/dev/null || { cat "$visto" >&2 2>/dev/null || true; falha "zelto.exe não chegou ao menu principal"; }
grep '^caixa=' "$visto" >&2 && falha "zelto.exe mostrou caixas"
grep -q "servidor=$endereco:9998" "$visto" || falha "zelto.exe não mostrou o servidor da implantação"
grep -q 'combinou: tls' "$tmp/servidor.log" || falha "o login não foi cifrado"
[ -f "$tela" ] && echo "Tela do menu principal: $tela"

# The operator's own files, made by the program at its first start and its login.
perfil=$(ls -d "$c"/users/*/AppData/Roaming/Zelto 2>/dev/null | head -1)
[ -f "$perfil/config.ini" ] || falha "sem config.ini do operador em AppData\\Roaming\\Zelto"
config_antes=$(md5sum < "$perfil/config.ini")
implantacao_antes=$(md5sum < "$escritorio/implantacao.ini")

# Over the installed one, without values: every setting stays.
"$wine" "$instalador" /S
[ "$(md5sum < "$escritorio/implantacao.ini")" = "$implantacao_antes" ] || falha "a segunda instalação mudou implantacao.ini"
[ "$(md5sum < "$perfil/config.ini")" = "$config_antes" ] || falha "a segunda instalação mudou o config.ini do operador"
# With a new server: that key alone changes.
"$wine" "$instalador" /S /SERVIDOR=10.1.2.3
[ "$(grep -c '^servidor=' "$escritorio/implantacao.ini")" = 1 ] && tem_linha servidor=10.1.2.3 "$escritorio/implantacao.ini" \
  || falha "a terceira instalação não trocou só o servidor"
tem_linha "certificado=$pino" "$escritorio/implantacao.ini" || falha "a terceira instalação perdeu o certificado"
# Working disconnected turned on from the command line, and a value out of place refused.
"$wine" "$instalador" /S /DESCONECTADO=sim
tem_linha trabalhoDesconectado=sim "$escritorio/implantacao.ini" && tem_linha servidor=10.1.2.3 "$escritorio/implantacao.ini" \
  || falha "a quarta instalação não ligou o trabalho desconectado"
"$wine" "$instalador" /S /DESCONECTADO=talvez
tem_linha trabalhoDesconectado=sim "$escritorio/implantacao.ini" && ! grep -q talvez "$escritorio/implantacao.ini" \
  || falha "a quinta instalação gravou um valor que não é sim nem nao"

# The uninstaller takes the program and keeps the office's and the operator's data.
"$wine" "$programa/desinstalar.exe" /S
for _ in $(seq 1 100); do [ -e "$programa/zelto.exe" ] || break; sleep 0.1; done
[ -e "$programa/zelto.exe" ] && falha "o desinstalador deixou zelto.exe"
[ -e "$menu" ] && falha "o desinstalador deixou o atalho"
for f in "$escritorio/implantacao.ini" "$escritorio/ruduza.db" "$perfil/config.ini"; do
  [ -f "$f" ] || falha "o desinstalador apagou $f"
done

echo "Testes do Windows: $falhas falha(s), $(( $(date +%s) - inicio )) s"
[ "$falhas" = 0 ]
