// Certificates made for a test with openssl (see Certificados.h).
#include "Certificados.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>

namespace Certificados {

namespace {

QString arquivo(const QString& pasta, const QString& nome, const char* extensao)
{
    return QDir(pasta).filePath(nome + QLatin1String(extensao));
}

bool openssl(const QStringList& argumentos)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), argumentos);
    return p.waitForFinished(30'000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A new P-256 key in nome.key, and `saida` (a certificate or a request) for CN=nome.
QStringList comChaveNova(const QString& pasta, const QString& nome)
{
    return {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
            QStringLiteral("-nodes"), QStringLiteral("-subj"), QStringLiteral("/CN=") + nome, QStringLiteral("-keyout"),
            arquivo(pasta, nome, ".key")};
}

QString impressao(const QString& pasta, const QString& nome)
{
    const QList<QSslCertificate> c = QSslCertificate::fromPath(arquivo(pasta, nome, ".crt"));
    return c.isEmpty() ? QString() : QString::fromLatin1(c.first().digest(QCryptographicHash::Sha256).toHex());
}

} // namespace

QString autoassinado(const QString& pasta, const QString& nome)
{
    if (!openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-days"), QStringLiteral("2")}
                 + comChaveNova(pasta, nome) + QStringList{QStringLiteral("-out"), arquivo(pasta, nome, ".crt")}))
        return {};
    return impressao(pasta, nome);
}

QString autoridade(const QString& pasta, const QString& nome)
{
    if (!openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-days"), QStringLiteral("2"),
                             QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                             QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}
                 + comChaveNova(pasta, nome) + QStringList{QStringLiteral("-out"), arquivo(pasta, nome, ".crt")}))
        return {};
    return impressao(pasta, nome);
}

QString assinado(const QString& pasta, const QString& ac, const QString& nome, const QString& nomeAlternativo)
{
    const QString pedido = arquivo(pasta, nome, ".csr"), extensoes = arquivo(pasta, nome, ".ext");
    QFile f(extensoes);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" + nomeAlternativo.toLatin1() + '\n');
    f.close();
    if (!openssl(QStringList{QStringLiteral("req")} + comChaveNova(pasta, nome) + QStringList{QStringLiteral("-out"), pedido})
        || !openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), pedido, QStringLiteral("-CA"),
                     arquivo(pasta, ac, ".crt"), QStringLiteral("-CAkey"), arquivo(pasta, ac, ".key"), QStringLiteral("-set_serial"),
                     QString::number((qHash(nome) & 0x7fffffff) + 1), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
                     extensoes, QStringLiteral("-out"), arquivo(pasta, nome, ".crt")}))
        return {};
    return impressao(pasta, nome);
}

QStringList argumentosTls(const QString& pasta, const QString& nome)
{
    return {QStringLiteral("--tls-certificado"), arquivo(pasta, nome, ".crt"), QStringLiteral("--tls-chave"), arquivo(pasta, nome, ".key")};
}

} // namespace Certificados
