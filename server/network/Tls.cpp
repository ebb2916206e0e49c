// The server's TLS: its certificate and key, the listener, and who may log in without it.
#include "server/network/Tls.h"
#include "protocol/ImpressaoDigital.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSslKey>
#include <QSslSocket>

namespace Tls {

namespace {

bool le(const QString& arquivo, const QString& oque, QByteArray& bytes, QString& erro)
{
    QFile f(arquivo);
    if (!f.open(QIODevice::ReadOnly)) {
        erro = QStringLiteral("não foi possível ler %1 %2: %3 (o serviço roda como zelto-server: a chave deve ser "
                              "root:zelto-server 0640)")
                   .arg(oque, arquivo, f.errorString());
        return false;
    }
    bytes = f.read(1 << 20);
    return true;
}

} // namespace

bool carrega(const QString& certificado, const QString& chave, QSslConfiguration& configuracao, QString& erro)
{
    if (certificado.isEmpty() != chave.isEmpty()) {
        erro = QStringLiteral("--tls-certificado e --tls-chave vão juntos: falta %1")
                   .arg(certificado.isEmpty() ? QStringLiteral("--tls-certificado") : QStringLiteral("--tls-chave"));
        return false;
    }
    QByteArray pemCertificado, pemChave;
    if (!le(certificado, QStringLiteral("o certificado TLS"), pemCertificado, erro) || !le(chave, QStringLiteral("a chave TLS"), pemChave, erro))
        return false;
    const QList<QSslCertificate> cadeia = QSslCertificate::fromData(pemCertificado, QSsl::Pem);
    if (cadeia.isEmpty() || cadeia.first().isNull()) {
        erro = QStringLiteral("%1 não é um certificado PEM").arg(certificado);
        return false;
    }
    QSslKey k;
    for (const QSsl::KeyAlgorithm algoritmo : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        k = QSslKey(pemChave, algoritmo, QSsl::Pem);
        if (!k.isNull())
            break;
    }
    if (k.isNull()) {
        erro = QStringLiteral("%1 não é uma chave privada PEM sem senha (RSA ou EC)").arg(chave);
        return false;
    }
    configuracao = QSslConfiguration::defaultConfiguration();
    configuracao.setProtocol(QSsl::TlsV1_2OrLater);
    configuracao.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuracao.setLocalCertificateChain(cadeia);
    configuracao.setPrivateKey(k);
    return true;
}

QString impressao(const QSslCertificate& certificado)
{
    return ImpressaoDigital::comDoisPontos(certificado.digest(QCryptographicHash::Sha256));
}

bool loginPermitido(bool exigirTls, bool cifrada, const QHostAddress& endereco)
{
    return !exigirTls || cifrada || endereco.isLoopback();
}

void Ouvinte::incomingConnection(qintptr descritor)
{
    if (!temCertificado()) {
        QTcpServer::incomingConnection(descritor);
        return;
    }
    auto* s = new QSslSocket(this);
    if (!s->setSocketDescriptor(descritor)) {
        delete s;
        return;
    }
    s->setSslConfiguration(m_configuracao);
    addPendingConnection(s);
}

} // namespace Tls
