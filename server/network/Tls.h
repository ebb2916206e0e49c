#pragma once
// The server's TLS: its certificate and key, the listener whose sockets can switch to TLS,
// and who may log in without it.
#include <QHostAddress>
#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>

namespace Tls {

// Reads the certificate (PEM, the server's first, then its chain) and its private key (PEM,
// RSA or EC, unencrypted) into a server configuration (TLS 1.2 at least). False, with a
// sentence for the administrator in `erro`, when either is missing, unreadable or not one.
bool carrega(const QString& certificado, const QString& chave, QSslConfiguration& configuracao, QString& erro);
// The certificate's SHA-256 fingerprint, "AB:CD:...".
QString impressao(const QSslCertificate& certificado);
// Under --exigir-tls a login must come encrypted, except from this machine itself.
bool loginPermitido(bool exigirTls, bool cifrada, const QHostAddress& endereco);

// Listens like QTcpServer; with a certificate, every connection is a QSslSocket (plain until
// the client asks for TLS), without one a plain QTcpSocket.
class Ouvinte : public QTcpServer {
public:
    explicit Ouvinte(QObject* pai = nullptr) : QTcpServer(pai) {}
    void defineConfiguracao(const QSslConfiguration& c) { m_configuracao = c; }
    bool temCertificado() const { return !m_configuracao.localCertificate().isNull(); }

protected:
    void incomingConnection(qintptr descritor) override;

private:
    QSslConfiguration m_configuracao;
};

} // namespace Tls
