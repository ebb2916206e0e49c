// Round trip of one save (code 6 -> 7) through the client's request cycle, against a registry
// server started outside: the same code on Debian and, cross-built, on Windows under wine, so
// the two builds are measured against one server. Logs in as the test server's operator over
// TLS with the server's pinned certificate, saves sheet 1 again and again, prints p50 and p99.
//
//   bench_gravacao_de_fora [gravações, 300 by default]
// with ZELTO_SERVIDOR_DE_FORA=host:porta and ZELTO_SERVIDOR_DE_FORA_IMPRESSAO=<sha256> set.
#include "bench/Percentil.h"
#include "app/Caixas.h"
#include "app/Implantacao.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsUsuario.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int vezes = argc > 1 ? QByteArray(argv[1]).toInt() : 300;
    const QString servidor = qEnvironmentVariable("ZELTO_SERVIDOR_DE_FORA");
    const QByteArray impressao = qgetenv("ZELTO_SERVIDOR_DE_FORA_IMPRESSAO");
    if (servidor.isEmpty() || impressao.isEmpty() || vezes < 1) {
        std::fprintf(stderr, "defina ZELTO_SERVIDOR_DE_FORA e ZELTO_SERVIDOR_DE_FORA_IMPRESSAO\n");
        return 2;
    }
    QTemporaryDir pasta;
    QFile implantacao(pasta.filePath(QStringLiteral("implantacao.ini")));
    if (!implantacao.open(QIODevice::WriteOnly))
        return 2;
    implantacao.write("[Implantacao]\ntls=exigir\ncertificado=" + impressao + "\n");
    implantacao.close();
    Implantacao::carrega(implantacao.fileName());

    Caixas::Gravador caixas;   // a box would be a failure: written down, never waited on
    QTimer timerTimeOut;
    globais().timeOutSegundos = 30;
    globais().keepAliveSegundos = 0;
    frmLogin::defineServidorParaTeste(servidor.section(u':', 0, -2), quint16(servidor.section(u':', -1).toUInt()));
    frmLogin::instancia()->Timer1->stop();
    clsUsuario u;
    u.usuario = QStringLiteral("operador");
    u.senha = QStringLiteral("senha123");
    const auto entrada = Requisita(nullptr, &timerTimeOut, u.toPipeStringWithCommand(3), {4});
    if (!entrada) {
        for (const Caixas::Registro& r : caixas.caixas())
            std::fprintf(stderr, "%s: %s\n", qPrintable(r.titulo), qPrintable(r.texto));
        std::fprintf(stderr, "login falhou\n");
        return 1;
    }
    clsUsuario operador;
    operador.fromPipeStringWithCommand(entrada->texto);

    clsAgenda ficha;
    ficha.numeroFicha = 1;
    ficha.nome = QStringLiteral("José da Conceição");
    ficha.cidade = QStringLiteral("São Paulo");
    ficha.departamento = operador.departamento;
    std::vector<double> ms;
    for (int n = 1; n <= vezes; ++n) {
        ficha.obs = QStringLiteral("alteração %1").arg(n);
        QElapsedTimer t;
        t.start();
        const auto r = Requisita(nullptr, &timerTimeOut, ficha.toPipeStringWithCommand(6), {7});
        if (!r) {
            std::fprintf(stderr, "a gravação %d falhou\n", n);
            return 1;
        }
        clsAgenda salva;
        salva.fromPipeStringWithCommand(r->texto);
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("gravacao_de_fora: %d gravações, p50 %.2f ms, p99 %.2f ms\n", vezes, percentil(ms, 0.5), percentil(ms, 0.99));
    delete frmLogin::existente();
    return 0;
}
