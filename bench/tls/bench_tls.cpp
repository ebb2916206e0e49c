// What TLS costs on loopback, against the real server with a certificate, in the same run:
// the p50 of a save through the client's own request cycle with and without TLS (alternating
// blocks, so drift falls on both), and the saves per second 50 connections get from the
// server at once with and without TLS. Prints its figures and the ratios.
#include "ServidorReal.h"
#include "app/Caixas.h"
#include "app/Implantacao.h"
#include "app/modGlobais.h"
#include "connection/Conexao.h"
#include "connection/Confianca.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsUsuario.h"

#include <QApplication>
#include <QAtomicInt>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int conexoes = 50;
constexpr int segundosDeCarga = 4;

bool politica(const QTemporaryDir& pasta, const QByteArray& linhas)
{
    QFile f(pasta.filePath(QStringLiteral("implantacao.ini")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write("[Implantacao]\n" + linhas);
    f.close();
    return Implantacao::carrega(f.fileName()).isEmpty();
}

double p50(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One framed message, read whole from a blocking socket; empty on failure.
QByteArray leMensagem(QSslSocket& s, Quadros::Leitor& leitor)
{
    QByteArray m;
    bool fim = false;
    while (!fim) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(10'000))
            return {};
        const QByteArray b = s.read(1);   // never past this message's end
        if (!leitor.le(b, [&](QByteArrayView d) { m += d; }, [&] { fim = true; }))
            return {};
    }
    return m;
}

QByteArray lePlano(QSslSocket& s, const char* contem)
{
    QByteArray r;
    while (!r.contains(contem) && s.waitForReadyRead(10'000))
        r += s.readAll();
    return r;
}

// One connection of the load: agreement (inside TLS when `tls`), login, then saves of its own
// sheet until `prazo`; the saves it got answered.
int carga(quint16 porta, bool tls, const ServidorReal::Conta& conta, int numero, const QDeadlineTimer& prazo)
{
    QSslSocket s;
    QSslConfiguration c = s.sslConfiguration();
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    c.setProtocol(QSsl::TlsV1_2OrLater);
    s.setSslConfiguration(c);
    s.connectToHost(QStringLiteral("127.0.0.1"), porta);
    if (!s.waitForConnected(10'000) || lePlano(s, "2") != "2")
        return 0;
    if (tls) {
        s.write("99|zelto|1|tls,quadros,sessao");
        if (!lePlano(s, "tls").contains("tls"))
            return 0;
        s.startClientEncryption();
        if (!s.waitForEncrypted(10'000))
            return 0;
    }
    Quadros::Leitor leitor;
    if (tls) {
        // Inside TLS the agreement is framed too.
        s.write(Quadros::mensagem("99|zelto|1|quadros,sessao"));
        if (!leMensagem(s, leitor).contains("quadros"))
            return 0;
    } else {
        s.write("99|zelto|1|quadros,sessao");
        if (!lePlano(s, "sessao=").contains("quadros"))
            return 0;
        QThread::msleep(5);
        s.readAll();
    }
    clsUsuario u;
    u.usuario = conta.usuario;
    u.senha = conta.senha;
    s.write(Quadros::mensagem(Wire::codifica(u.toPipeStringWithCommand(3))));
    const QByteArray login = leMensagem(s, leitor);
    if (!login.startsWith("4|"))
        return 0;
    clsUsuario logado;
    logado.fromPipeStringWithCommand(Wire::decodifica(login));
    clsAgenda ficha;
    ficha.numeroFicha = numero;
    ficha.nome = QStringLiteral("José da Conceição %1").arg(numero);
    ficha.departamento = logado.departamento;
    int salvas = 0;
    while (!prazo.hasExpired()) {
        ficha.obs = QStringLiteral("alteração %1").arg(salvas);
        s.write(Quadros::mensagem(Wire::codifica(ficha.toPipeStringWithCommand(6))));
        if (!leMensagem(s, leitor).startsWith("7|"))
            break;
        ++salvas;
    }
    return salvas;
}

double salvasPorSegundo(quint16 porta, bool tls, const ServidorReal::Conta& conta)
{
    QAtomicInt total;
    const QDeadlineTimer prazo(segundosDeCarga * 1000 + 2000);   // the logins' time included, equal for both
    std::vector<std::unique_ptr<QThread>> fios;
    for (int i = 0; i < conexoes; ++i) {
        fios.emplace_back(QThread::create([&, i] { total.fetchAndAddRelaxed(carga(porta, tls, conta, i + 1, prazo)); }));
        fios.back()->start();
    }
    for (auto& f : fios)
        f->wait();
    return double(total.loadRelaxed()) / (segundosDeCarga + 2);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir pasta;
    const QString chave = pasta.filePath(QStringLiteral("s.key")), cert = pasta.filePath(QStringLiteral("s.crt"));
    if (QProcess::execute(QStringLiteral("openssl"), {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                                                      QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                                                      QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
                                                      QStringLiteral("-subj"), QStringLiteral("/CN=bench"), QStringLiteral("-keyout"), chave,
                                                      QStringLiteral("-out"), cert})
        != 0) {
        std::fprintf(stderr, "openssl failed\n");
        return 1;
    }
    const QByteArray pin = QSslCertificate::fromPath(cert).value(0).digest(QCryptographicHash::Sha256).toHex();
    ServidorReal servidor(conexoes);
    servidor.defineArgumentos({QStringLiteral("--tls-certificado"), cert, QStringLiteral("--tls-chave"), chave, QStringLiteral("--rajada-logins"),
                               QStringLiteral("1000"), QStringLiteral("--logins-por-minuto"), QStringLiteral("1000"), QStringLiteral("--fila-senhas"),
                               QStringLiteral("1000"), QStringLiteral("--senhas-por-endereco"), QStringLiteral("1000")});
    if (!servidor.inicia()) {
        std::fprintf(stderr, "server: %s\n", qPrintable(servidor.erro()));
        return 1;
    }
    Caixas::Gravador caixas;
    Confianca::defineArquivoParaTeste(pasta.filePath(QStringLiteral("conhecidos")));
    globais().timeOutSegundos = 30;
    globais().keepAliveSegundos = 0;
    frmLogin::defineServidorParaTeste(servidor.host(), servidor.porta());
    frmLogin* login = frmLogin::instancia();
    login->Timer1->stop();
    QTimer timerTimeOut;

    // The client's save, alternating blocks with and without TLS.
    std::vector<double> amostras[2];
    clsAgenda ficha;
    ficha.numeroFicha = 1;
    ficha.nome = QStringLiteral("José da Conceição");
    ficha.cidade = QStringLiteral("São Paulo");
    for (int bloco = 0; bloco < 10; ++bloco) {
        const int comTls = bloco % 2;
        politica(pasta, comTls ? "tls=exigir\ncertificado=" + pin + "\n" : QByteArray("tls=nunca\n"));
        login->EncerraConexaoNoServidor();
        if (!globais().usuarioLogado) {
            clsUsuario u;
            u.usuario = servidor.conta().usuario;
            u.senha = servidor.conta().senha;
            const auto r = Requisita(nullptr, &timerTimeOut, u.toPipeStringWithCommand(3), {4});
            if (!r) {
                std::fprintf(stderr, "login failed\n");
                return 1;
            }
            clsUsuario logado;
            logado.fromPipeStringWithCommand(r->texto);
            globais().usuarioLogado = logado;
        }
        ficha.departamento = globais().usuarioLogado->departamento;
        for (int i = 0; i < 110; ++i) {
            ficha.obs = QStringLiteral("alteração %1 %2").arg(bloco).arg(i);
            QElapsedTimer t;
            t.start();
            const auto r = Requisita(nullptr, &timerTimeOut, ficha.toPipeStringWithCommand(6), {7});
            if (!r) {
                std::fprintf(stderr, "save failed\n");
                return 1;
            }
            if (i >= 10)   // the reconnect's first requests are not the steady state
                amostras[comTls].push_back(t.nsecsElapsed() / 1e6);
        }
        if (comTls != login->conexao()->cifrada()) {
            std::fprintf(stderr, "the connection is not what the block wants\n");
            return 1;
        }
    }
    const double semTls = p50(amostras[0]), comTls = p50(amostras[1]);
    std::printf("save p50 (client request cycle, loopback): plain %.3f ms, TLS %.3f ms, ratio %.2f (target <= 1.2)\n", semTls, comTls,
                comTls / semTls);
    std::fflush(stdout);

    // Alternating rounds; the best of each, as the machine's other load only ever slows a round.
    double vazaoSem = 0, vazaoCom = 0;
    for (int rodada = 0; rodada < 2; ++rodada) {
        vazaoSem = std::max(vazaoSem, salvasPorSegundo(servidor.porta(), false, servidor.conta()));
        vazaoCom = std::max(vazaoCom, salvasPorSegundo(servidor.porta(), true, servidor.conta()));
    }
    std::printf("saves/s at %d connections (loopback, best of 2 rounds): plain %.0f, TLS %.0f, ratio %.2f (target >= 0.8)\n", conexoes,
                vazaoSem, vazaoCom, vazaoCom / vazaoSem);
    if (!caixas.caixas().isEmpty())
        std::printf("boxes shown: %lld (first: %s)\n", qlonglong(caixas.caixas().size()), qPrintable(caixas.caixas().first().texto));
    delete frmLogin::existente();
    return 0;
}
