// A desk's copy and journal over the slow link (see DiarioNoEnlace.h).
#include "DiarioNoEnlace.h"
#include "connection/Conexao.h"
#include "desconectado/CopiaSelada.h"
#include "desconectado/Diario.h"
#include "desconectado/Selo.h"
#include "desconectado/Sincronizador.h"
#include "protocol/modCommands.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

bool medeODiario(const clsUsuario& logado, const QString& senha, QTimer& timer, int mudancas, double rttMs)
{
    const Conexao* conexao = conexaoExistente();
    if (!conexao || !conexao->ofereceSincronia()) {
        std::fprintf(stderr, "bench_enlace: --diario: a conexão não combinou \"sincronia\"\n");
        return false;
    }
    QTemporaryDir pasta;
    CopiaSelada::definePastaParaTeste(pasta.path());
    CopiaSelada copia;
    if (copia.abreNoLogin(logado, senha, QDateTime::currentMSecsSinceEpoch()) != CopiaSelada::Estado::Aberta) {
        std::fprintf(stderr, "bench_enlace: --diario: a cópia não abriu\n");
        return false;
    }
    Sincronizador sincronizador(copia, &timer);
    QElapsedTimer t;
    t.start();
    if (sincronizador.atualizaCopia() != Sincronizador::Resultado::Completo) {
        std::fprintf(stderr, "bench_enlace: --diario: a primeira cópia não se completou\n");
        return false;
    }
    const double msCopia = double(t.nsecsElapsed()) / 1e6;
    std::printf("\n%-62s %10.1f %-3s %s\n", "primeira cópia do departamento (17|0)", msCopia / 1000, "s",
                qPrintable(QStringLiteral("%1 fichas, %2 MB do servidor, %3 MB no disco")
                               .arg(copia.quantas())
                               .arg(double(sincronizador.bytesLidos()) / 1e6, 0, 'f', 1)
                               .arg(double(QFileInfo(CopiaSelada::arquivoDe(logado.usuario)).size()) / 1e6, 0, 'f', 1)));

    // The changes, as the copy answers saves while disconnected: alterations of distinct
    // sheets, every tenth a new sheet.
    Diario diario(copia);
    const qint64 agora = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < mudancas; ++i) {
        std::optional<clsAgenda> f = copia.ficha(qint32(i % qMax<qsizetype>(1, copia.quantas()) + 1));
        if (!f)
            continue;
        f->nome = QStringLiteral("Mudança No Enlace %1").arg(i);
        if (i % 10 == 9)
            f->numeroFicha = 0;
        if (!diario.registra(Codigo::Salva, *f, agora + i)) {
            std::fprintf(stderr, "bench_enlace: --diario: o diário não gravou\n");
            return false;
        }
    }
    const qsizetype noDiario = diario.quantas();
    t.restart();
    const Sincronizador::Resultado r = sincronizador.reenviaDiario();
    const double msEnvio = double(t.nsecsElapsed()) / 1e6;
    std::printf("%-62s %10.1f %-3s %s\n", qPrintable(QStringLiteral("envio de %1 mudanças do diário (grupos de até 50)").arg(noDiario)),
                msEnvio / 1000, "s",
                qPrintable(QStringLiteral("%1 aplicadas, %2 em conflito, %3 ainda no diário%4; = %5 idas e voltas")
                               .arg(sincronizador.aplicadas())
                               .arg(sincronizador.conflitos())
                               .arg(diario.quantas())
                               .arg(r == Sincronizador::Resultado::Completo ? QString() : QStringLiteral(" (interrompido)"))
                               .arg(msEnvio / rttMs, 0, 'f', 1)));
    std::fflush(stdout);
    CopiaSelada::definePastaParaTeste(QString());
    return r == Sincronizador::Resultado::Completo;
}
