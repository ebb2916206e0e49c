// bench_limites: the figures of the request path, each printed beside its limit, in one run.
//
// Real server on loopback (temporary folder: department 1 with 10,000 sheets, department 2
// with 100,000), the client's own request cycle (framing agreed with the server):
//   - loopback ping-pong and one durable commit (SQLite WAL, full sync), the yardsticks;
//   - save round trip p50, limit 3 x (ping-pong + commit);
//   - search by number p50, limit 1 ms;
//   - 10,000-sheet search in the member search dialog, click -> list filled, p50, limit 25 ms;
//     and where that time goes: the server's own time (its log), the request cycle (request
//     sent -> reply whole), indexing the reply, the list shown and its first screen drawn;
//   - a 100,000-sheet list in the same dialog, what the operator waits for (click -> reply
//     received, indexed, the list set and its first screen drawn) and the client's memory
//     for it while shown, limits 300 ms and 150 MB;
//   - saves of another connection while one lists 100,000 sheets, p99, limit 20 ms.
// Everything it makes goes with it (temporary folders, the server process).
#include "ServidorReal.h"
#include "bench/EntradaDireta.h"
#include "bench/Percentil.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "members/frmPrincipal.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "search/ListaDeFichas.h"
#include "search/SlotDeBusca.h"
#include "search/frmLocalizar.h"

#include <QApplication>
#include <QElapsedTimer>
#include "search/ListaDeResultados.h"
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <malloc.h>
#include <thread>
#include <vector>

namespace {

void linha(const char* nome, double valor, const char* unidade, double limite, bool menorMelhor = true)
{
    const bool ok = menorMelhor ? valor <= limite : valor >= limite;
    std::printf("%-58s %10.3f %-3s limite %10.3f %-3s %s\n", nome, valor, unidade, limite, unidade, ok ? "ok" : "ACIMA DO LIMITE");
    std::fflush(stdout);
}

double heapMb()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
}

// One byte there and back between two sockets of this machine, p50 in ms.
double pingPongMs()
{
    std::atomic<int> porta{0};
    std::atomic<bool> fim{false};
    std::thread eco([&] {
        QTcpServer servidor;
        servidor.listen(QHostAddress::LocalHost, 0);
        porta = servidor.serverPort();
        if (!servidor.waitForNewConnection(5000))
            return;
        QTcpSocket* s = servidor.nextPendingConnection();
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        while (!fim) {
            if (s->bytesAvailable() == 0 && !s->waitForReadyRead(100))
                continue;
            s->write(s->readAll());
            s->flush();
        }
    });
    while (porta == 0)
        QThread::msleep(1);
    QTcpSocket cliente;
    cliente.connectToHost(QHostAddress::LocalHost, quint16(porta.load()));
    cliente.waitForConnected(5000);
    cliente.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    std::vector<double> ms;
    for (int i = 0; i < 2000; ++i) {
        QElapsedTimer t0;
        t0.start();
        cliente.write("x", 1);
        cliente.flush();
        while (cliente.bytesAvailable() < 1)
            cliente.waitForReadyRead(1000);
        cliente.read(1);
        ms.push_back(double(t0.nsecsElapsed()) / 1e6);
    }
    fim = true;
    eco.join();
    return percentil(ms, 0.5);
}

// One small insert committed durably (WAL, full sync), p50 in ms.
double commitMs(const QString& pasta)
{
    std::vector<double> ms;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("commit"));
        db.setDatabaseName(pasta + QStringLiteral("/commit.db"));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        q.exec(QStringLiteral("CREATE TABLE t (a INTEGER, b TEXT)"));
        q.prepare(QStringLiteral("INSERT INTO t VALUES (?, ?)"));
        for (int i = 0; i < 300; ++i) {
            QElapsedTimer t0;
            t0.start();
            db.transaction();
            q.bindValue(0, i);
            q.bindValue(1, QString(500, u'x'));
            q.exec();
            db.commit();
            ms.push_back(double(t0.nsecsElapsed()) / 1e6);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("commit"));
    return percentil(ms, 0.5);
}

// The server's own time for each search (code 12) it logged since `desde` lines, in ms.
std::vector<double> temposDoServidor(const ServidorReal& servidor, qsizetype desde, qsizetype& linhas)
{
    std::vector<double> ms;
    const QStringList diario = servidor.diario().split(u'\n');
    linhas = diario.size() - (diario.last().isEmpty() ? 1 : 0);   // a line being written is read again
    for (qsizetype i = desde; i < diario.size(); ++i) {
        const QString& l = diario[i];
        if (!l.contains(QLatin1String(" pedido 12 -> 13 ")))
            continue;
        const qsizetype abre = l.lastIndexOf(u'(');
        const qsizetype fim = l.lastIndexOf(QLatin1String(" ms)"));
        bool ok = false;
        const double v = abre >= 0 && fim > abre ? l.mid(abre + 1, fim - abre - 1).toDouble(&ok) : 0;
        if (ok)
            ms.push_back(v);
    }
    return ms;
}

QString filtro(qint32 dep, qint32 numero)
{
    clsFiltroBusca f;
    f.numeroFicha = numero;
    f.departamento.idDepartamento = dep;
    return f.toPipeStringWithCommand(Codigo::Busca);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("ZELTO_BINARY_DIR"))
        qputenv("ZELTO_BINARY_DIR", QCoreApplication::applicationDirPath().toUtf8() + "/../..");
    QTemporaryDir pasta;
    Caixas::Gravador caixas;
    QTimer timer;

    std::printf("preparando: departamento 1 com 10.000 fichas, departamento 2 com 100.000...\n");
    std::fflush(stdout);
    ServidorReal servidor(10000);
    const ServidorReal::Conta grande{2, QStringLiteral("Grande"), QStringLiteral("grande"), QStringLiteral("grande-12")};
    if (!servidor.inicia() || !servidor.adicionaConta(grande)
        || !servidor.administra({QStringLiteral("gerar-fichas"), QStringLiteral("--departamento"), QStringLiteral("2"),
                                 QStringLiteral("--quantidade"), QStringLiteral("100000")})) {
        std::fprintf(stderr, "servidor: %s\n", qPrintable(servidor.erro()));
        return 1;
    }
    BancoLocal::defineCaminhoParaTeste(pasta.filePath(QStringLiteral("ruduza.db")));
    BancoLocal::criaDeSementes(BancoLocal::caminho(), BancoLocal::sementesPadrao(QStringLiteral(ZELTO_FONTES) + QStringLiteral("/data")));
    const std::optional<clsUsuario> logado = entraDireto(servidor, &timer);
    if (!logado)
        return 1;
    globais().usuarioLogado = *logado;
    // A session is one operator's: the big department's list is asked for as its operator.
    const auto entraComo = [&](const ServidorReal::Conta& conta) {
        clsUsuario u;
        u.usuario = conta.usuario;
        u.senha = conta.senha;
        return Requisita(nullptr, &timer, u.toPipeStringWithCommand(Codigo::Login), {Codigo::LoginAceito}).has_value();
    };
    std::printf("enquadramento combinado com o servidor: %s\n\n", frmLogin::instancia()->enquadrada() ? "sim" : "NÃO");

    const double ping = pingPongMs();
    const double commit = commitMs(pasta.path());
    std::printf("%-58s %10.3f ms  (medida de referência)\n", "ping-pong no loopback, p50", ping);
    std::printf("%-58s %10.3f ms  (medida de referência)\n", "um commit durável (SQLite WAL, sincronia total), p50", commit);

    // Save round trip.
    clsAgenda ficha;
    ficha.numeroFicha = 5;
    ficha.nome = QStringLiteral("Maria da Conceição");
    ficha.departamento = logado->departamento;
    const QString salvar = ficha.toPipeStringWithCommand(Codigo::Salva);
    std::vector<double> ms;
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer t0;
        t0.start();
        if (!Requisita(nullptr, &timer, salvar, {Codigo::Salvo}))
            return 2;
        ms.push_back(double(t0.nsecsElapsed()) / 1e6);
    }
    linha("gravação (6 -> 7), ida e volta, p50", percentil(ms, 0.5), "ms", 3 * (ping + commit));

    ms.clear();
    for (int i = 0; i < 1000; ++i) {
        const QString pedido = filtro(1, 1 + (i * 37) % 10000);
        QElapsedTimer t0;
        t0.start();
        const auto r = Requisita(nullptr, &timer, pedido, {Codigo::Encontrados});
        if (!r)
            return 2;
        ms.push_back(double(t0.nsecsElapsed()) / 1e6);
    }
    linha("busca por número, p50", percentil(ms, 0.5), "ms", 1.0);

    // The member search dialog, 10,000 sheets.
    frmPrincipal* principal = frmPrincipal::instancia();
    {
        auto* dialogo = new frmLocalizar(principal);
        dialogo->show();
        QApplication::processEvents();
        qsizetype linhasDoDiario = 0;
        temposDoServidor(servidor, 0, linhasDoDiario);
        ms.clear();
        for (int i = 0; i < 30; ++i) {
            QElapsedTimer t0;
            t0.start();
            dialogo->btnLocalizar->click();
            QApplication::processEvents();   // the list draws its first screen
            ms.push_back(double(t0.nsecsElapsed()) / 1e6);
            if (dialogo->lstResultados->count() != 10000)
                return 3;
        }
        const std::vector<double> servidorMs = temposDoServidor(servidor, linhasDoDiario, linhasDoDiario);
        linha("busca de 10.000 fichas no diálogo, clique -> lista cheia, p50", percentil(ms, 0.5), "ms", 25.0);

        // Where the time goes, the same search step by step.
        std::vector<double> pedido, indice, lista;
        clsFiltroBusca f;
        f.departamento.idDepartamento = 1;
        const QString mensagem = f.toPipeStringWithCommand(Codigo::Busca);
        for (int i = 0; i < 30; ++i) {
            dialogo->lstResultados->modelo()->mostra(nullptr);
            QApplication::processEvents();
            QElapsedTimer t0;
            t0.start();
            auto r = RequisitaEmBytes(nullptr, &timer, mensagem, {Codigo::Encontrados});
            pedido.push_back(double(t0.nsecsElapsed()) / 1e6);
            if (!r)
                return 3;
            t0.start();
            const ListaDeFichas fichas(std::move(r->bytes));
            indice.push_back(double(t0.nsecsElapsed()) / 1e6);
            t0.start();
            dialogo->lstResultados->modelo()->mostra(&fichas);
            dialogo->lstResultados->viewport()->repaint();
            lista.push_back(double(t0.nsecsElapsed()) / 1e6);
            dialogo->lstResultados->modelo()->mostra(nullptr);
        }
        std::printf("  onde vai o tempo (p50): servidor %.1f ms (do seu diário), pedido -> resposta inteira %.1f ms,\n"
                    "  índice da resposta %.1f ms, lista mostrada e primeira tela desenhada %.1f ms\n",
                    percentil(servidorMs, 0.5), percentil(pedido, 0.5), percentil(indice, 0.5), percentil(lista, 0.5));
        delete dialogo;
    }

    // A 100,000-sheet list in the same dialog: what the operator waits for, and what the
    // client holds while it is shown.
    {
        // A session is one operator's: the big department's list is asked for as its operator.
        if (!entraComo(grande))
            return 1;
        QApplication::processEvents();
        malloc_trim(0);
        const double antes = heapMb();
        const qint32 departamentoAnterior = principal->membros.departamento.idDepartamento;
        principal->membros.departamento.idDepartamento = 2;
        auto* dialogo = new frmLocalizar(principal);
        dialogo->show();
        QApplication::processEvents();
        qsizetype linhasDoDiario = 0;
        temposDoServidor(servidor, 0, linhasDoDiario);
        QElapsedTimer t0;
        t0.start();
        dialogo->btnLocalizar->click();
        QApplication::processEvents();
        const double tempo = double(t0.nsecsElapsed()) / 1e6;
        std::vector<double> servidorMs;
        for (int espera = 0; espera < 50 && servidorMs.empty(); ++espera) {   // its log line may lag
            qsizetype desde = linhasDoDiario;
            servidorMs = temposDoServidor(servidor, linhasDoDiario, desde);
            if (servidorMs.empty())
                QThread::msleep(20);
        }
        const double memoria = heapMb() - antes;
        const int recebidas = dialogo->lstResultados->count();
        if (recebidas != 100000)
            std::printf("lista de 100.000 fichas: %d mostradas\n", recebidas);
        linha("lista de 100.000 fichas: memória do cliente", memoria, "MB", 150.0);
        linha("lista de 100.000 fichas: clique -> primeira tela desenhada", tempo, "ms", 300.0);
        std::printf("  dos quais o servidor, do seu diário: %.1f ms\n", percentil(servidorMs, 0.5));
        delete dialogo;
        principal->membros.departamento.idDepartamento = departamentoAnterior;
        if (!entraComo(servidor.conta()))
            return 1;
    }

    // Saves of another connection while one connection lists 100,000 sheets.
    {
        std::atomic<bool> listando{true};
        std::atomic<int> listas{0};
        std::thread lista([&] {
            QTcpSocket s;
            s.connectToHost(servidor.host(), servidor.porta());
            s.waitForConnected(5000);
            while (s.bytesAvailable() < 1)
                s.waitForReadyRead(1000);
            s.readAll();
            clsUsuario u;   // this connection's own login
            u.usuario = grande.usuario;
            u.senha = grande.senha;
            s.write(Wire::codifica(u.toPipeStringWithCommand(Codigo::Login)));
            while (s.waitForReadyRead(1000))
                s.readAll();
            for (int vez = 0; vez < 3; ++vez) {
                s.write(Wire::codifica(filtro(2, 0)));   // the plain wire: read until quiet
                s.waitForBytesWritten(5000);
                qint64 recebidos = 0;
                while (s.waitForReadyRead(1000))
                    recebidos += s.readAll().size();
                if (recebidos > 1'000'000)
                    ++listas;
            }
            listando = false;
        });
        ms.clear();
        while (listando) {
            QElapsedTimer t0;
            t0.start();
            if (!Requisita(nullptr, &timer, salvar, {Codigo::Salvo}))
                break;
            ms.push_back(double(t0.nsecsElapsed()) / 1e6);
        }
        lista.join();
        std::printf("(%d listas de 100.000 fichas completas, %zu gravações durante elas)\n", listas.load(), ms.size());
        linha("gravações de outra conexão durante a lista de 100.000, p99", percentil(ms, 0.99), "ms", 20.0);
    }

    if (!caixas.caixas().isEmpty())
        std::printf("caixas mostradas: %lld (primeira: %s)\n", static_cast<long long>(caixas.caixas().size()),
                    qPrintable(caixas.caixas().first().titulo));
    frmLogin::instancia()->EncerraConexaoNoServidor();
    servidor.para();
    return 0;
}
