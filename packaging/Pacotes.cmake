# What an installed system needs, and the two Debian packages made from it:
#   zelto         the client: program, desktop entry, icon, deployment file, lookup seeds
#   zelto-server  the registry server: program, systemd unit, its settings under /etc/zelto
# Made by scripts/pacotes.sh (cpack -G DEB in a build configured with the /usr prefix).
# Absolute destinations (/etc, /lib/systemd) are the Debian places whatever the prefix.

set(_pkg ${CMAKE_CURRENT_LIST_DIR})

# Client
install(TARGETS zelto RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cliente)
install(FILES ${CMAKE_SOURCE_DIR}/data/config.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/zelto COMPONENT cliente)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/local/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zelto/sql
        COMPONENT cliente FILES_MATCHING PATTERN "*.sql")
install(PROGRAMS ${_pkg}/cliente/cria-banco-local DESTINATION ${CMAKE_INSTALL_DATADIR}/zelto COMPONENT cliente)
install(FILES ${_pkg}/cliente/zelto.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT cliente)
install(FILES ${_pkg}/cliente/zelto.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT cliente)
install(FILES ${_pkg}/cliente/implantacao.ini DESTINATION /etc/zelto COMPONENT cliente)
install(FILES ${_pkg}/cliente/LEIA-ME.Debian DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zelto COMPONENT cliente)

# Server (the program itself is installed by server/CMakeLists.txt into this component)
install(FILES ${_pkg}/servidor/zelto-server.service DESTINATION /lib/systemd/system COMPONENT servidor)
install(FILES ${_pkg}/servidor/servidor.conf DESTINATION /etc/zelto COMPONENT servidor)
install(FILES ${_pkg}/servidor/LEIA-ME.Debian ${_pkg}/servidor/prometheus-zelto.yml ${_pkg}/servidor/alertas-zelto.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zelto-server COMPONENT servidor)

set(CPACK_PACKAGE_NAME zelto)
set(CPACK_PACKAGE_VENDOR "Zelto")
set(CPACK_PACKAGE_CONTACT "Suporte Zelto <${ZELTO_SUPORTE_EMAIL}>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL cliente servidor)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
# Library dependencies come from dpkg-shlibdeps; what the programs load at run time is below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_CLIENTE_PACKAGE_NAME zelto)
set(CPACK_DEBIAN_CLIENTE_PACKAGE_SECTION misc)
# The SQLite driver (lookup file), libcups (loaded for the first print job, so dpkg-shlibdeps does
# not see it), the fonts standing in for Arial and Lucida Console, Qt's own Portuguese texts,
# sqlite3 to make the lookup file on installation.
set(CPACK_DEBIAN_CLIENTE_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libcups2, qt6-qpa-plugins, fonts-liberation, fonts-dejavu-core, qt6-translations-l10n, sqlite3, adduser")
set(CPACK_DEBIAN_CLIENTE_PACKAGE_RECOMMENDS "cups-client")
set(CPACK_DEBIAN_CLIENTE_DESCRIPTION
    "Registro de membros de igreja - programa da secretaria
Cliente do registro de membros Zelto: cadastro de fichas, busca, renovação
e impressão de carteirinhas, relatório por departamento e exportação CSV.
Conecta-se ao servidor do registro (pacote zelto-server) indicado em
/etc/zelto/implantacao.ini.")
set(CPACK_DEBIAN_CLIENTE_PACKAGE_CONTROL_EXTRA
    ${_pkg}/cliente/conffiles ${_pkg}/cliente/postinst ${_pkg}/cliente/postrm)

set(CPACK_DEBIAN_SERVIDOR_PACKAGE_NAME zelto-server)
set(CPACK_DEBIAN_SERVIDOR_PACKAGE_SECTION net)
# The metrics' HTTP server (and the WebSockets module it loads with it) beside what dpkg-shlibdeps finds.
set(CPACK_DEBIAN_SERVIDOR_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6httpserver6, libqt6websockets6, adduser, openssl")
set(CPACK_DEBIAN_SERVIDOR_PACKAGE_RECOMMENDS "libqt6sql6-psql, sqlite3")
set(CPACK_DEBIAN_SERVIDOR_DESCRIPTION
    "Registro de membros de igreja - servidor
Servidor do registro de membros Zelto: guarda as fichas, os departamentos
e os operadores e atende os programas da secretaria pela rede (porta 9998).
Roda como serviço do systemd (zelto-server.service) com usuário próprio;
os dados ficam em /var/lib/zelto-server.")
set(CPACK_DEBIAN_SERVIDOR_PACKAGE_CONTROL_EXTRA
    ${_pkg}/servidor/conffiles ${_pkg}/servidor/postinst ${_pkg}/servidor/prerm ${_pkg}/servidor/postrm)

include(CPack)
