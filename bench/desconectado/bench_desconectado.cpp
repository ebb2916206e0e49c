// zelto_bench_desconectado [--fichas N] [--mudancas M] [--buscas B]
//
// The desk's half of working disconnected, on loopback, through the program's own login
// window (offscreen) and the real server with N demo sheets (100,000 by default):
//   - the first copy: the connected login that makes it (time, bytes the server sent, the
//     copy's size on disk), beside a later login with nothing new;
//   - an update after 100 sheets were altered by another client;
//   - B searches of the copy by part of a name (500 by default), p50 / p95, the copy's own
//     and as a window gets it (through the request cycle);
//   - M changes queued while disconnected (1,000 by default): the time to "saved" for each
//     (p50 / p95: one durable transaction each), then the login that sends them.
#include "desconectado/Escritorio.h"
#include "bench/Percentil.h"
#include "desconectado/Diario.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/modCommands.h"
#include "support/ClienteEmQuadros.h"
#include "support/Pedidos.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <vector>

namespace {

int valorDe(const QStringList& args, const char* nome, int padrao)
{
    const qsizetype i = args.indexOf(QLatin1String(nome));
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : padrao;
}

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The login, timed; false when nobody got in.
bool entraMedindo(Escritorio& e, double& duracao, qint64& bytes)
{
    const qint64 antes = e.rede->doServidor();
    QElapsedTimer t;
    t.start();
    const bool ok = e.entra();
    duracao = ms(t);
    bytes = e.rede->doServidor() - antes;
    if (!e.caixas.caixas().isEmpty())
        std::printf("  (caixa: %s)\n", qPrintable(e.caixas.caixas().first().texto));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int fichas = valorDe(args, "--fichas", 100'000);
    const int mudancas = valorDe(args, "--mudancas", 1'000);
    const int buscas = valorDe(args, "--buscas", 500);

    Escritorio e(fichas);
    QElapsedTimer preparo;
    preparo.start();
    if (!e.inicia()) {
        std::printf("o escritório não começou: %s\n", qPrintable(e.erro));
        return 1;
    }
    std::printf("%d fichas no servidor (%.1f s para preparar)\n", fichas, ms(preparo) / 1000);
    // The operators' keys at the cost the program ships with.
    Selo::defineCustoBaixo(false);

    double t = 0;
    qint64 bytes = 0;
    if (!entraMedindo(e, t, bytes))
        return 1;
    const QString arquivo = CopiaSelada::arquivoDe(e.servidor.conta().usuario);
    std::printf("primeira cópia: login e cópia de %lld fichas em %.2f s, %.1f MB do servidor, %.1f MB no disco\n",
                qlonglong(TrabalhoDesconectado::copia()->quantas()), t / 1000, double(bytes) / 1e6,
                double(QFileInfo(arquivo).size()) / 1e6);
    e.sai();
    if (!entraMedindo(e, t, bytes))
        return 1;
    std::printf("login sem nada novo: %.0f ms, %lld bytes\n", t, qlonglong(bytes));
    e.sai();

    {
        ClienteEmQuadros outro(e.servidor, {QStringLiteral("quadros")});
        if (!outro.entra(e.servidor.conta()))
            std::printf("o outro cliente não entrou\n");
        for (int n = 1; n <= 100; ++n) {
            clsAgenda f;
            f.numeroFicha = n * (fichas / 100);
            f.nome = QStringLiteral("Alterada Por Outra Mesa %1").arg(n);
            f.departamento.idDepartamento = 1;
            const QByteArray r = outro.pede(f.toPipeStringWithCommand(Codigo::Salva));
            if (!r.startsWith("7|"))
                std::printf("alteração recusada: %s\n", r.left(40).constData());
        }
    }
    if (!entraMedindo(e, t, bytes))
        return 1;
    std::printf("atualização depois de 100 alterações: %.0f ms, %lld bytes do servidor (a ficha %d na cópia: %s)\n", t,
                qlonglong(bytes), fichas / 100, qPrintable(TrabalhoDesconectado::copia()->ficha(fichas / 100)->nome));

    // Names to look for: a word of the names of sheets taken at random.
    CopiaSelada* copia = TrabalhoDesconectado::copia();
    QStringList partes;
    QRandomGenerator sorteio(37);
    while (partes.size() < buscas) {
        const auto f = copia->ficha(qint32(sorteio.bounded(fichas) + 1));
        if (f && !f->nome.isEmpty())
            partes << f->nome.section(u' ', -1).left(6);
    }
    std::vector<double> direto, pelaJanela;
    qsizetype achadas = 0;
    for (const QString& parte : std::as_const(partes)) {
        clsFiltroBusca filtro;
        filtro.nome = parte;
        filtro.departamento = copia->operador().departamento;
        QElapsedTimer b;
        b.start();
        achadas += copia->busca(filtro).size();
        direto.push_back(ms(b));
    }
    e.sai();
    e.rede->corta();
    if (!e.entra())
        return 1;
    for (const QString& parte : std::as_const(partes).first(qMin<qsizetype>(100, partes.size()))) {
        QElapsedTimer b;
        b.start();
        e.pede(busca(0, parte), {Codigo::Encontrados, Codigo::NadaEncontrado});
        pelaJanela.push_back(ms(b));
    }
    std::printf("busca por parte do nome na cópia (%d buscas, %.0f fichas achadas em média): p50 %.1f ms, p95 %.1f ms; "
                "pelo ciclo de pedidos (100): p50 %.1f ms, p95 %.1f ms\n",
                buscas, double(achadas) / buscas, percentil(direto, 0.5), percentil(direto, 0.95), percentil(pelaJanela, 0.5),
                percentil(pelaJanela, 0.95));

    std::vector<double> gravacoes;
    for (int i = 0; i < mudancas; ++i) {
        clsAgenda f = *TrabalhoDesconectado::copia()->ficha(qint32(i % fichas + 1));
        f.nome = QStringLiteral("Mudança Sem Conexão %1").arg(i);
        if (i % 2)
            f.numeroFicha = 0;
        QElapsedTimer g;
        g.start();
        e.pede(f.toPipeStringWithCommand(Codigo::Salva), {Codigo::Salvo});
        gravacoes.push_back(ms(g));
    }
    std::printf("%d mudanças sem conexão (metade fichas novas): até \"salvo\" p50 %.1f ms, p95 %.1f ms\n", mudancas,
                percentil(gravacoes, 0.5), percentil(gravacoes, 0.95));
    e.sai();
    e.rede->restaura();
    if (!entraMedindo(e, t, bytes))
        return 1;
    QVariant aplicadas;
    e.servidor.executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM mudancas_aplicadas")}, &aplicadas);
    std::printf("login que envia o diário: %.2f s, %lld bytes do servidor; %d aplicadas no servidor, %lld ainda no diário\n",
                t / 1000, qlonglong(bytes), aplicadas.toInt(), qlonglong(Diario(*TrabalhoDesconectado::copia()).quantas()));
    e.sai();
    return 0;
}
