#!/usr/bin/env bash
# Builds the two Debian packages and checks them as an office would get them: their contents
# and control fields, their maintainer scripts (with the system commands replaced by stand-ins
# and DPKG_ROOT pointing at a scratch root), then the unpacked server and client running from
# that scratch root against a temporary registry.
#   tst_pacotes.sh FONTES PASTA_DOS_PACOTES BIBLIOTECA_DE_CONDUCAO
set -uo pipefail
fontes="$1"; build="$2"; conducao="$3"

falhas=0
ok()    { echo "PASS   : $*"; }
falha() { echo "FAIL!  : $*"; falhas=$((falhas + 1)); }
confere() { local descricao="$1"; shift; if "$@"; then ok "$descricao"; else falha "$descricao"; fi; }
tem() { grep -qF -- "$2" "$1"; }
naotem() { ! grep -qF -- "$2" "$1"; }

tmp="$(mktemp -d)"
servidor_pid=""
encerra() {
    [ -n "$servidor_pid" ] && kill "$servidor_pid" 2>/dev/null && wait "$servidor_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap encerra EXIT

# --- the packages ------------------------------------------------------------------------
if ! bash "$fontes/scripts/pacotes.sh" "$build" > "$tmp/pacotes.log" 2>&1; then
    cat "$tmp/pacotes.log"
    falha "scripts/pacotes.sh builds the packages"
    exit 1
fi
versao="$(sed -n 's/^project(Zelto VERSION \([0-9.]*\).*/\1/p' "$fontes/CMakeLists.txt")"
cliente="$(ls "$build"/zelto_*.deb)"
servidor="$(ls "$build"/zelto-server_*.deb)"
confere "client package named zelto_${versao}-1_<arch>.deb" test -f "$cliente" -a "$(basename "$cliente" | cut -d_ -f2)" = "$versao-1"
confere "server package named zelto-server_${versao}-1_<arch>.deb" test -f "$servidor"
echo "tamanhos: $(du -k "$cliente" | cut -f1) KiB $(basename "$cliente"), $(du -k "$servidor" | cut -f1) KiB $(basename "$servidor")"

dpkg-deb -c "$cliente" | awk '{print $1, $6}' > "$tmp/cliente.lista"
dpkg-deb -c "$servidor" | awk '{print $1, $6}' > "$tmp/servidor.lista"
for f in ./usr/bin/zelto ./usr/share/zelto/config.ini ./usr/share/zelto/sql/10-consultas.sql \
         ./usr/share/zelto/sql/20-configcredencial.sql ./usr/share/zelto/cria-banco-local \
         ./usr/share/applications/zelto.desktop ./usr/share/icons/hicolor/scalable/apps/zelto.svg \
         ./etc/zelto/implantacao.ini ./usr/share/doc/zelto/LEIA-ME.Debian; do
    confere "zelto holds $f" tem "$tmp/cliente.lista" " $f"
done
confere "zelto's program is executable" grep -q '^-rwxr-xr-x ./usr/bin/zelto$' "$tmp/cliente.lista"
confere "zelto holds no server" naotem "$tmp/cliente.lista" "zelto-server"
for f in ./usr/bin/zelto-server ./lib/systemd/system/zelto-server.service ./etc/zelto/servidor.conf \
         ./usr/share/doc/zelto-server/LEIA-ME.Debian ./usr/share/doc/zelto-server/prometheus-zelto.yml \
         ./usr/share/doc/zelto-server/alertas-zelto.yml; do
    confere "zelto-server holds $f" tem "$tmp/servidor.lista" " $f"
done
confere "zelto-server holds no client" naotem "$tmp/servidor.lista" "./usr/bin/zelto "
confere "zelto-server holds nothing of the client" naotem "$tmp/servidor.lista" "/usr/share/zelto/"

dpkg-deb -I "$cliente" > "$tmp/cliente.info"
dpkg-deb -I "$servidor" > "$tmp/servidor.info"
confere "zelto: Package" grep -q '^ Package: zelto$' "$tmp/cliente.info"
confere "zelto: Version $versao-1" grep -q "^ Version: $versao-1\$" "$tmp/cliente.info"
for d in libqt6widgets6 libqt6printsupport6 libqt6sql6 libqt6sql6-sqlite libqt6network6 libcups2 fonts-liberation \
         fonts-dejavu-core qt6-translations-l10n sqlite3 adduser; do
    confere "zelto depends on $d" grep -qE "^ Depends:.*\\b$d\\b" "$tmp/cliente.info"
done
confere "zelto-server: Package" grep -q '^ Package: zelto-server$' "$tmp/servidor.info"
confere "zelto-server: Version $versao-1" grep -q "^ Version: $versao-1\$" "$tmp/servidor.info"
for d in libqt6core6 libqt6network6 libqt6sql6 libqt6sql6-sqlite libqt6httpserver6 libsodium23 adduser; do
    confere "zelto-server depends on $d" grep -qE "^ Depends:.*\\b$d\\b" "$tmp/servidor.info"
done
confere "zelto-server does not pull the window libraries" naotem "$tmp/servidor.info" "libqt6widgets6"
confere "zelto-server recommends the PostgreSQL driver" grep -qE '^ Recommends:.*libqt6sql6-psql' "$tmp/servidor.info"

# --- maintainer scripts ----------------------------------------------------------------------
dpkg-deb -e "$cliente" "$tmp/controle-cliente"
dpkg-deb -e "$servidor" "$tmp/controle-servidor"
confere "zelto: conffiles" diff <(printf '/etc/zelto/implantacao.ini\n') "$tmp/controle-cliente/conffiles"
confere "zelto-server: conffiles" diff <(printf '/etc/zelto/servidor.conf\n') "$tmp/controle-servidor/conffiles"
for s in controle-cliente/postinst controle-cliente/postrm controle-servidor/postinst controle-servidor/prerm controle-servidor/postrm; do
    confere "$s is executable" test -x "$tmp/$s"
    confere "$s is valid sh" sh -n "$tmp/$s"
done

raiz="$tmp/raiz"
mkdir -p "$raiz"
dpkg-deb -x "$cliente" "$raiz"
dpkg-deb -x "$servidor" "$raiz"

# Stand-ins for the commands that would change this machine: they write down their calls.
falsos="$tmp/falsos"; mkdir -p "$falsos"; chamadas="$tmp/chamadas"; : > "$chamadas"
for c in addgroup adduser chgrp chown deb-systemd-helper deb-systemd-invoke systemctl; do
    printf '#!/bin/sh\necho "%s $*" >> "%s"\n' "$c" "$chamadas" > "$falsos/$c"
done
# getent knows the users and groups the stand-ins made.
printf '#!/bin/sh\ngrep -q "^add.* $2\\$" "%s"\n' "$chamadas" > "$falsos/getent"
chmod +x "$falsos"/*
roda() { DPKG_ROOT="$raiz" PATH="$falsos:$PATH" sh "$@" >> "$tmp/scripts.log" 2>&1; }

confere "zelto postinst configure" roda "$tmp/controle-cliente/postinst" configure
confere "the lookup file is made on installation" test -s "$raiz/var/lib/zelto/ruduza.db"
confere "  with the card layout table" test "$(sqlite3 "$raiz/var/lib/zelto/ruduza.db" 'SELECT count(*) FROM configcredencial')" = 1
confere "  owned by the group zelto" grep -q "chgrp zelto $raiz/var/lib/zelto/ruduza.db" "$chamadas"
confere "  group-writable" test "$(stat -c %a "$raiz/var/lib/zelto/ruduza.db")" = 664
confere "  in a setgid folder" test "$(stat -c %a "$raiz/var/lib/zelto")" = 2775
confere "the group zelto is created" grep -q "^addgroup --system --quiet zelto$" "$chamadas"
sqlite3 "$raiz/var/lib/zelto/ruduza.db" "UPDATE configcredencial SET nomex1 = '4321'"
echo "; editado pelo administrador" >> "$raiz/etc/zelto/implantacao.ini"
cp "$raiz/etc/zelto/implantacao.ini" "$tmp/implantacao.editada"
chmod 0640 "$raiz/var/lib/zelto/ruduza.db"
: > "$chamadas.antes"; cp "$chamadas" "$chamadas.antes"
confere "zelto postinst configure again (upgrade)" roda "$tmp/controle-cliente/postinst" configure "$versao-1"
confere "  keeps the operators' card layout" test "$(sqlite3 "$raiz/var/lib/zelto/ruduza.db" 'SELECT nomex1 FROM configcredencial')" = 4321
confere "  keeps the lookup file's permissions as the administrator left them" test "$(stat -c %a "$raiz/var/lib/zelto/ruduza.db")" = 640
confere "  keeps the edited deployment file" cmp -s "$tmp/implantacao.editada" "$raiz/etc/zelto/implantacao.ini"
confere "  does not create the group again" test "$(grep -c '^addgroup' "$chamadas")" = 1

confere "zelto-server postinst configure" roda "$tmp/controle-servidor/postinst" configure
confere "  creates the system user" grep -q "^adduser --system --group --quiet --home /var/lib/zelto-server" "$chamadas"
confere "  makes its folder" test -d "$raiz/var/lib/zelto-server"
confere "  gives the settings file to the service's group" grep -q "^chown root:zelto-server $raiz/etc/zelto/servidor.conf$" "$chamadas"
confere "  not readable by other accounts" test "$(stat -c %a "$raiz/etc/zelto/servidor.conf")" = 640
confere "  whose example has no password" naotem "$raiz/etc/zelto/servidor.conf" ":SENHA@"
confere "  makes a TLS key" test -s "$raiz/etc/zelto/servidor.key"
confere "  readable by the service only" test "$(stat -c %a "$raiz/etc/zelto/servidor.key")" = 640
confere "  owned by root:zelto-server" grep -q "^chown root:zelto-server $raiz/etc/zelto/servidor.key$" "$chamadas"
confere "  and its self-signed certificate" openssl x509 -in "$raiz/etc/zelto/servidor.crt" -noout
sha256sum "$raiz/etc/zelto/servidor.key" "$raiz/etc/zelto/servidor.crt" > "$tmp/tls.antes"
confere "  enables the service" grep -q "^deb-systemd-helper enable zelto-server.service" "$chamadas"
confere "  starts nothing outside the real root" naotem "$chamadas" "deb-systemd-invoke"
touch "$raiz/var/lib/zelto-server/registro.db"
confere "zelto-server postinst configure again" roda "$tmp/controle-servidor/postinst" configure "$versao-1"
confere "  does not create the user again" test "$(grep -c '^adduser' "$chamadas")" = 1
confere "  keeps the TLS key and certificate" sha256sum -c --quiet "$tmp/tls.antes"
rm "$raiz/etc/zelto/servidor.crt"
confere "zelto-server postinst with the certificate gone but the key there" roda "$tmp/controle-servidor/postinst" configure "$versao-1"
confere "  overwrites no key of the administrator's" sha256sum -c --quiet --ignore-missing "$tmp/tls.antes"
confere "  and makes no certificate for it" test ! -e "$raiz/etc/zelto/servidor.crt"
rm "$raiz/etc/zelto/servidor.key"
roda "$tmp/controle-servidor/postinst" configure "$versao-1"
confere "zelto-server prerm upgrade" roda "$tmp/controle-servidor/prerm" upgrade "$versao-1"
confere "zelto-server postrm purge" roda "$tmp/controle-servidor/postrm" purge
confere "  keeps the registry" test -e "$raiz/var/lib/zelto-server/registro.db"
rm -rf "$raiz/var/lib/zelto-server"
confere "zelto postrm remove" roda "$tmp/controle-cliente/postrm" remove
confere "  keeps the lookup file" test -e "$raiz/var/lib/zelto/ruduza.db"
confere "zelto postrm purge" roda "$tmp/controle-cliente/postrm" purge
confere "  deletes the lookup file" test ! -e "$raiz/var/lib/zelto/ruduza.db"

# --- the unpacked server -----------------------------------------------------------------------
confere "the unit waits for READY and keeps a watchdog" sh -c "grep -q '^Type=notify\$' '$raiz/lib/systemd/system/zelto-server.service' && grep -q '^WatchdogSec=' '$raiz/lib/systemd/system/zelto-server.service'"
confere "zelto-server --version" test "$("$raiz/usr/bin/zelto-server" --version)" = "zelto-server $versao"
if command -v systemd-analyze >/dev/null; then
    # The unit as installed, pointed at the unpacked program and at a user that exists here.
    sed -e "s|/usr/bin/zelto-server|$raiz/usr/bin/zelto-server|g" -e "s|^User=.*|User=root|; s|^Group=.*|Group=root|" \
        -e "s|/etc/zelto/servidor.conf|$raiz/etc/zelto/servidor.conf|" \
        "$raiz/lib/systemd/system/zelto-server.service" > "$tmp/zelto-server.service"
    if systemd-analyze verify "$tmp/zelto-server.service" > "$tmp/verify.log" 2>&1; then
        ok "systemd-analyze verify zelto-server.service"
    else
        cat "$tmp/verify.log"; falha "systemd-analyze verify zelto-server.service"
    fi
fi

banco="sqlite:$tmp/registro.db"
s="$raiz/usr/bin/zelto-server"
confere "criar-banco makes an empty registry" "$s" criar-banco --db "$banco"
confere "criar-banco again (every service start) keeps it" "$s" criar-banco --db "$banco"
"$s" departamento --db "$banco" --id 1 --nome "Secretaria" >/dev/null
printf 'segredo-1\n' | "$s" operador --db "$banco" --usuario maria --departamento 1 --custo-senha minimo >/dev/null
confere "criar-banco on a registry with data" "$s" criar-banco --db "$banco"
confere "  keeps its operator" sh -c "'$s' listar --db '$banco' | grep -q maria"

# The client always uses port 9998: each run takes its own loopback address instead.
for _ in 1 2 3 4 5; do
    endereco="127.$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 2))"
    : > "$tmp/servidor.log"
    "$s" servir --db "$banco" --listen "$endereco:9998" --tls-certificado "$raiz/etc/zelto/servidor.crt" \
        --tls-chave "$raiz/etc/zelto/servidor.key" 2> "$tmp/servidor.log" &
    servidor_pid=$!
    for _ in $(seq 1 50); do
        grep -q 'ouvindo em' "$tmp/servidor.log" && break
        kill -0 "$servidor_pid" 2>/dev/null || break
        sleep 0.1
    done
    grep -q 'ouvindo em' "$tmp/servidor.log" && break
    kill "$servidor_pid" 2>/dev/null; wait "$servidor_pid" 2>/dev/null; servidor_pid=""
done
confere "the unpacked server listens on $endereco:9998" test -n "$servidor_pid"
confere "  and says it serves (saude)" "$s" saude --listen "$endereco:9998" --tls --tls-certificado "$raiz/etc/zelto/servidor.crt"

# --- the unpacked client -----------------------------------------------------------------------
mkdir -p "$raiz/var/lib/zelto"
"$raiz/usr/share/zelto/cria-banco-local" "$raiz/var/lib/zelto/ruduza.db" "$raiz/usr/share/zelto/sql" >/dev/null
organizacao="Igreja do Pacote São José"
sed -i -e "s|^;servidor=.*|servidor=$endereco|" -e "s|^;organizacao=.*|organizacao=$organizacao|" \
    -e "s|^;suporteEmail=.*|suporteEmail=secretaria@pacote.example|" \
    -e "s|^;tls=.*|tls=exigir|" -e "s|^;certificado=.*|$("$s" certificado --tls-certificado "$raiz/etc/zelto/servidor.crt")|" \
    "$raiz/etc/zelto/implantacao.ini"
chmod a-w "$raiz/usr/bin"
casa="$tmp/casa"; mkdir -p "$casa"
cliente_roda() {
    HOME="$casa" XDG_CONFIG_HOME="$casa/.config" XDG_RUNTIME_DIR="$tmp" QT_QPA_PLATFORM=offscreen \
    LD_PRELOAD="$conducao" ZELTO_CONDUCAO_SAIDA="$tmp/visto" ZELTO_CONDUCAO_USUARIO=maria ZELTO_CONDUCAO_SENHA=segredo-1 \
    timeout 120 "$raiz/usr/bin/zelto" > "$tmp/cliente.log" 2>&1
}
cliente_roda
rc=$?
confere "the unpacked client runs the whole way (rc $rc)" test "$rc" = 0
[ "$rc" = 0 ] || { cat "$tmp/visto" "$tmp/cliente.log"; }
confere "  connects to the deployment file's server" grep -qx "servidor=$endereco:9998" "$tmp/visto"
confere "  shows no message box" naotem "$tmp/visto" "caixa="
confere "  the server saw it log in" grep -q "pedido 3 -> 4" "$tmp/servidor.log"
confere "  inside TLS" grep -q "combinou: tls (TLS 1.3" "$tmp/servidor.log"
confere "  banner with the deployment file's organisation" grep -q "^letreiro=\\*  $organizacao  -  " "$tmp/visto"
confere "  operator in the status bar" grep -qx "status=Usuario OnLine: maria" "$tmp/visto"
confere "  Qt's context menu in Portuguese" grep -q "^menu-de-contexto=.*&Copiar.*C&olar" "$tmp/visto"
confere "  Qt's save dialog in Portuguese" grep -q "^dialogo-salvar=.*Nome do arquivo" "$tmp/visto"
confere "  per-user config.ini written" test -f "$casa/.config/zelto/config.ini"
confere "  holding the server after login" grep -q "^hostRemoto=$endereco" "$casa/.config/zelto/config.ini"
confere "  and the packaged time values" grep -q "^timeOutSegundos=10" "$casa/.config/zelto/config.ini"
confere "  nothing written beside the installed program" test ! -e "$raiz/usr/bin/config.ini"

# A bad value: said at start, the default used in its place.
sed -i "s|^servidor=.*|servidor=não é endereço|" "$raiz/etc/zelto/implantacao.ini"
ZELTO_CONDUCAO_ATE=aberto cliente_roda
confere "a bad server address in the deployment file is reported" grep -q "^caixa=Erro no Aplicativo: Implantacao.*servidor" "$tmp/visto"
confere "  and the built-in address is used" grep -qx "servidor=127.0.0.1:9998" "$tmp/visto"
chmod u+w "$raiz/usr/bin"

echo "--- $falhas falha(s)"
[ "$falhas" = 0 ]
