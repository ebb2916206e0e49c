#pragma once
// Whether the client trusts the registry server's certificate: the office's pin, the system's
// certificate authorities, or the certificate this user saw first (trust on first use).
#include <QList>
#include <QSslCertificate>
#include <QString>

namespace Confianca {

struct Veredito {
    bool aceito = false;
    QString motivo;   // why not, for the operator's box
};

// The certificate `cadeia` (the server's first) presented by host:porta. With a pin, it must
// be the pinned one or valid for `host` under the system's authorities; without one, valid
// for `host`, or the one remembered for host:porta (the first seen is remembered now).
Veredito julga(const QList<QSslCertificate>& cadeia, const QString& host, quint16 porta, const QString& pin);
// A certificate is remembered for host:porta: that server once spoke TLS.
bool conhece(const QString& host, quint16 porta);
// The SHA-256 fingerprint (64 lower-case hex digits) of a certificate.
QString impressao(const QSslCertificate& certificado);

// The box's text for a server that did not offer TLS where it must.
QString semTls(const QString& host);
// The box's text for a TLS handshake that failed.
QString falhaNaCifra(const QString& host, const QString& erro);
// The box's title.
QString titulo();

// The file of remembered certificates: in the user's data folder; tests name their own.
QString arquivoDosConhecidos();
void defineArquivoParaTeste(const QString& arquivo);

} // namespace Confianca
