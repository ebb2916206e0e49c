// Whether the client trusts the registry server's certificate (see Confianca.h).
#include "connection/Confianca.h"
#include "app/LugaresDoSistema.h"
#include "protocol/ImpressaoDigital.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSslError>
#include <QSslSocket>

namespace Confianca {

namespace {

QString& arquivoDeTeste()
{
    static QString a;
    return a;
}

QString chamaAdministrador()
{
    return QStringLiteral("\r\n\r\nA conexão foi recusada para proteger as senhas e as fichas. Não continue: chame o "
                          "administrador do sistema.");
}

QHash<QString, QString> conhecidos()
{
    QFile f(arquivoDosConhecidos());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return ImpressaoDigital::leConhecidos(f.read(1 << 20));
}

void lembra(const QString& servidor, const QString& impressao)
{
    QHash<QString, QString> todos = conhecidos();
    todos.insert(servidor, impressao);
    const QString arquivo = arquivoDosConhecidos();
    QDir().mkpath(QFileInfo(arquivo).absolutePath());
    QSaveFile f(arquivo);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(ImpressaoDigital::escreveConhecidos(todos));
        f.commit();
    }
}

QString nomeDoServidor(const QString& host, quint16 porta)
{
    return host + QLatin1Char(':') + QString::number(porta);
}

} // namespace

QString impressao(const QSslCertificate& certificado)
{
    return QString::fromLatin1(certificado.digest(QCryptographicHash::Sha256).toHex());
}

namespace {
bool verificaCadeias()
{
    static const bool sim = QSslSocket::isFeatureSupported(QSsl::SupportedFeature::CertificateVerification);
    return sim;
}
} // namespace

Veredito julga(const QList<QSslCertificate>& cadeia, const QString& host, quint16 porta, const QString& pin)
{
    if (cadeia.isEmpty() || cadeia.first().isNull())
        return {false, QStringLiteral("O servidor %1 não apresentou certificado.").arg(host) + chamaAdministrador()};
    const QString dele = impressao(cadeia.first());
    if (!pin.isEmpty() && dele == pin)
        return {true, {}};
    // A chain an authority vouches for. Windows' own TLS (Schannel) cannot check a chain
    // outside a handshake: there verify() finds no error in any chain, so it counts for
    // nothing and only the pin or the remembered certificate decide.
    if (verificaCadeias() && QSslCertificate::verify(cadeia, host).isEmpty())
        return {true, {}};
    if (!pin.isEmpty())
        return {false, QStringLiteral("O certificado do servidor %1 não é o que esta secretaria espera (implantacao.ini).\r\n\r\n"
                                      "Impressão digital recebida: %2")
                               .arg(host, ImpressaoDigital::comDoisPontos(cadeia.first().digest(QCryptographicHash::Sha256)))
                           + chamaAdministrador()};
    const QString servidor = nomeDoServidor(host, porta);
    const QString lembrada = conhecidos().value(servidor);
    if (lembrada.isEmpty()) {
        lembra(servidor, dele);
        return {true, {}};
    }
    if (lembrada == dele)
        return {true, {}};
    return {false, QStringLiteral("O certificado do servidor %1 mudou desde a última conexão deste usuário. Pode haver alguém "
                                  "entre este computador e o servidor.\r\n\r\nImpressão digital recebida: %2")
                           .arg(host, ImpressaoDigital::comDoisPontos(cadeia.first().digest(QCryptographicHash::Sha256)))
                       + chamaAdministrador()};
}

bool conhece(const QString& host, quint16 porta)
{
    return conhecidos().contains(nomeDoServidor(host, porta));
}

QString semTls(const QString& host)
{
    return QStringLiteral("O servidor %1 não ofereceu conexão cifrada (TLS), que esta secretaria exige ou que ele já usou "
                          "antes. Pode haver alguém entre este computador e o servidor.")
               .arg(host)
           + chamaAdministrador();
}

QString falhaNaCifra(const QString& host, const QString& erro)
{
    return QStringLiteral("Não foi possível cifrar a conexão com o servidor %1: %2").arg(host, erro) + chamaAdministrador();
}

QString titulo()
{
    return QStringLiteral("Servidor Não Confiável");
}

QString arquivoDosConhecidos()
{
    if (!arquivoDeTeste().isEmpty())
        return arquivoDeTeste();
    return LugaresDoSistema::certificadosConhecidos();
}

void defineArquivoParaTeste(const QString& arquivo)
{
    arquivoDeTeste() = arquivo;
}

} // namespace Confianca
