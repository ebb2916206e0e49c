// The `saude` command: one question to a running server and its answer as an exit code.
#include "server/admin/ComandoSaude.h"
#include "protocol/Quadros.h"
#include "protocol/Saude.h"
#include "protocol/Wire.h"
#include "server/network/Tls.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

#include <memory>

namespace {

enum Saida { Atende = 0, NaoAtende = 1, SemResposta = 2, ArgumentosRuins = 3 };

int diz(int saida, const QString& linha)
{
    escreve(stdout, linha + QLatin1Char('\n'));
    return saida;
}

struct Pergunta {
    QString host;
    quint16 porta = 0;
    bool tls = false;
    QString impressao;   // the certificate the server must present (with tls); empty: any
    int prazoMs = 3000;
};

// What the line gave; false with the reason otherwise.
bool le(const Argumentos& a, Pergunta& p, QString& motivo)
{
    const QString escuta = a.valor("listen", QStringLiteral("127.0.0.1:9998"));
    if (!separaEnderecoEPorta(escuta, p.host, p.porta) || p.porta == 0) {
        motivo = QStringLiteral("--listen espera ENDEREÇO:PORTA, recebeu \"%1\"").arg(escuta);
        return false;
    }
    bool ok = false;
    const double prazo = a.valor("prazo-s", QStringLiteral("3")).toDouble(&ok);
    if (!ok || !(prazo >= 0.1 && prazo <= 60)) {
        motivo = QStringLiteral("--prazo-s espera um número de 0,1 a 60 (use ponto para frações)");
        return false;
    }
    p.prazoMs = int(prazo * 1000.0);
    p.tls = a.tem("tls");
    if (a.tem("tls-certificado")) {
        if (!p.tls) {
            motivo = QStringLiteral("--tls-certificado só vale com --tls");
            return false;
        }
        const QString arquivo = a.valor("tls-certificado");
        QFile f(arquivo);
        const QList<QSslCertificate> cadeia = f.open(QIODevice::ReadOnly) ? QSslCertificate::fromData(f.read(1 << 20), QSsl::Pem)
                                                                           : QList<QSslCertificate>();
        if (cadeia.isEmpty() || cadeia.first().isNull()) {
            motivo = QStringLiteral("%1 não é um certificado PEM legível").arg(arquivo);
            return false;
        }
        p.impressao = Tls::impressao(cadeia.first());
    }
    return true;
}

// One blocking conversation, every wait within the one deadline. (A plain socket unless TLS
// is asked for: loading the TLS library would be most of the command's time.)
class Conversa {
public:
    Conversa(int prazoMs, bool tls) : m_prazo(prazoMs), m_socket(tls ? new QSslSocket : new QTcpSocket) {}
    QTcpSocket& socket() { return *m_socket; }
    QSslSocket& ssl() { return static_cast<QSslSocket&>(*m_socket); }

    int resta() const { return int(std::max<qint64>(1, m_prazo.remainingTime())); }
    bool venceu() const { return m_prazo.hasExpired(); }

    // The server's "2" and the plain answer to the offer just sent; false when it did not come
    // whole in time. `completa` tells an answer that cannot grow any more (no quiet waited then).
    bool respostaSimples(QStringList& capacidades, bool (*completa)(const QStringList&))
    {
        while (!venceu()) {
            if (m_lido.startsWith('2') && Quadros::leNegociacao(Wire::decodifica(QByteArrayView(m_lido).sliced(1)), capacidades)
                && completa(capacidades))
                return true;
            // The answer leaves in one write: once some has come, a short quiet ends it.
            const bool algo = m_lido.size() > 1;
            if (!socket().waitForReadyRead(algo ? std::min(50, resta()) : resta())) {
                if (algo && m_lido.startsWith('2')) {
                    // Not a negotiation at all (a server that answers it with 0): it says nothing of its health.
                    const QByteArrayView resto = QByteArrayView(m_lido).sliced(1);
                    if (Quadros::leNegociacao(Wire::decodifica(resto), capacidades) || !resto.startsWith("99|"))
                        return true;
                }
                if (socket().state() != QAbstractSocket::ConnectedState)
                    return false;
                continue;
            }
            m_lido += socket().readAll();
        }
        return false;
    }

    // One framed message inside TLS; false when it did not come whole in time.
    bool respostaEmQuadros(QStringList& capacidades)
    {
        Quadros::Leitor leitor(64 << 10);
        QByteArray mensagem;
        bool inteira = false;
        while (!inteira && !venceu()) {
            if (socket().bytesAvailable() == 0 && !socket().waitForReadyRead(resta()))
                return false;
            if (!leitor.le(socket().readAll(), [&](QByteArrayView d) { mensagem += d; }, [&] { inteira = true; }))
                return false;
        }
        return inteira && Quadros::leNegociacao(Wire::decodifica(mensagem), capacidades);
    }

private:
    QDeadlineTimer m_prazo;
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_lido;
};

QString oferta(const char* capacidade)
{
    return Quadros::pedidoDeNegociacao({QLatin1String(capacidade)});
}

int responde(const QString& quem, Saude::Estado estado)
{
    switch (estado) {
    case Saude::Estado::Serve:
        return diz(Atende, quem + QStringLiteral(" - atendendo"));
    case Saude::Estado::BancoFora:
        return diz(NaoAtende, quem + QStringLiteral(" - responde, mas não atende: o banco não responde"));
    case Saude::Estado::SomenteLeitura:
        return diz(NaoAtende, quem + QStringLiteral(" - responde, mas não atende: o banco só aceita leitura"));
    case Saude::Estado::Encerrando:
        return diz(NaoAtende, quem + QStringLiteral(" - responde, mas não atende: o servidor está encerrando"));
    case Saude::Estado::Desconhecido:
        break;
    }
    return diz(NaoAtende, quem + QStringLiteral(" - responde, mas não diz se atende (servidor de outra versão)"));
}

} // namespace

int Comando::saudeSemArgumentos(const QString& motivo)
{
    return diz(ArgumentosRuins, QStringLiteral("argumentos inválidos: ") + motivo);
}

int Comando::saude(const Argumentos& a, const QString&)
{
    Pergunta p;
    QString motivo;
    if (!le(a, p, motivo))
        return saudeSemArgumentos(motivo);
    const QString quem = (p.host.contains(u':') ? u'[' + p.host + u']' : p.host) + u':' + QString::number(p.porta);
    const QString semResposta = quem + QStringLiteral(" - sem resposta em %1 s").arg(double(p.prazoMs) / 1000.0);

    Conversa c(p.prazoMs, p.tls);
    c.socket().connectToHost(p.host, p.porta);
    if (!c.socket().waitForConnected(c.resta()))
        return diz(SemResposta, c.socket().error() == QAbstractSocket::ConnectionRefusedError ? quem + QStringLiteral(" - sem resposta: conexão recusada")
                                                                                           : semResposta);
    // The offer leaves at once; the server reads it after its "2".
    c.socket().write(Wire::codifica(oferta(p.tls ? Quadros::capacidadeTls : Saude::capacidade)));
    QStringList capacidades;
    const auto completa = p.tls ? [](const QStringList& c) { return c.contains(QLatin1String(Quadros::capacidadeTls)); }
                                : [](const QStringList& c) { return Saude::daResposta(c) != Saude::Estado::Desconhecido; };
    if (!c.respostaSimples(capacidades, completa))
        return diz(SemResposta, semResposta);
    if (!p.tls)
        return responde(quem, Saude::daResposta(capacidades));
    if (!capacidades.contains(QLatin1String(Quadros::capacidadeTls)))
        return diz(NaoAtende, quem + QStringLiteral(" - responde, mas não oferece TLS"));

    // Health reveals nothing: any certificate will do, unless one was named.
    QSslConfiguration configuracao = c.ssl().sslConfiguration();
    configuracao.setPeerVerifyMode(QSslSocket::QueryPeer);
    configuracao.setProtocol(QSsl::TlsV1_2OrLater);
    c.ssl().setSslConfiguration(configuracao);
    c.ssl().startClientEncryption();
    if (!c.ssl().waitForEncrypted(c.resta()))
        return diz(c.venceu() ? SemResposta : NaoAtende,
                   c.venceu() ? semResposta : quem + QStringLiteral(" - responde, mas o TLS falhou: ") + c.ssl().errorString());
    if (!p.impressao.isEmpty() && Tls::impressao(c.ssl().peerCertificate()) != p.impressao)
        return diz(NaoAtende, quem + QStringLiteral(" - responde com outro certificado, não o de --tls-certificado"));
    c.socket().write(Quadros::mensagem(Wire::codifica(oferta(Saude::capacidade))));
    if (!c.respostaEmQuadros(capacidades))
        return diz(SemResposta, semResposta);
    return responde(quem, Saude::daResposta(capacidades));
}
