#pragma once
// Certificates made for a test with openssl, in a folder the test owns: self-signed ones (as
// the package makes on install), a private certificate authority, and certificates that
// authority signs for a name or an address of our choosing.
//
//     Certificados::autoassinado(pasta, "a");                        // a.key, a.crt
//     Certificados::autoridade(pasta, "ac");                         // ac.key, ac.crt
//     Certificados::assinado(pasta, "ac", "outro", "DNS:outro.exemplo.org");
//     servidor.defineArgumentos(Certificados::argumentosTls(pasta, "outro"));
//
// Each maker returns the certificate's SHA-256 fingerprint (64 lower-case hex digits, as the
// deployment file takes it), empty when openssl failed.
#include <QString>
#include <QStringList>

namespace Certificados {

QString autoassinado(const QString& pasta, const QString& nome);
QString autoridade(const QString& pasta, const QString& nome);
// `nomeAlternativo` as openssl's subjectAltName takes it ("DNS:host", "IP:10.0.0.1").
QString assinado(const QString& pasta, const QString& autoridade, const QString& nome, const QString& nomeAlternativo);

// The server's options for the pair `nome` in `pasta`.
QStringList argumentosTls(const QString& pasta, const QString& nome);

} // namespace Certificados
