// The wait for one reply (see Espera.h).
#include "connection/Espera.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/MontadorDeResposta.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Wire.h"
#include "protocol/modCommands.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <new>
#include <utility>

namespace {

enum class Fim { Nenhum, Completa, TempoEsgotado, FalhaDoSocket, Encerrada, GrandeDemais, LongaDemais, SemMemoria };

struct EsperaCorrente {
    QEventLoop laco;
    MontadorDeResposta montador;
    QTimer silencio;
    QPointer<QTimer> relogio;   // the time-out
    QPointer<CanalDaEspera> conexao;
    MontadorDeResposta::Silencios silencios;
    QElapsedTimer desdeOPedido;
    bool comecou = false;       // the reply's first bytes have come
    Fim fim = Fim::Nenhum;
    QString origemDaFalha;
    QString descricaoDaFalha;
    bool mostraFalha = true;
    bool porSilencio = false;   // ended by the quiet rule, not by a frame's end
    std::function<void(QByteArrayView)> andamento;   // see proximaEsperaComAndamento

    void termina(Fim motivo)
    {
        if (fim != Fim::Nenhum)
            return;
        fim = motivo;
        silencio.stop();
        laco.quit();
    }
};

EsperaCorrente* corrente = nullptr;
MontadorDeResposta::Silencios silencios;
bool ultimaInterrompida = false;
qint64 faltaDeMemoriaSimulada = 0;
bool pedidoEmBytes = false;     // the request being sent wants the reply's bytes, not its text
QByteArray bytesDaResposta;     // the last reply, when it was wanted as bytes
std::function<void(QByteArrayView)> andamentoPedido;   // for the next wait

constexpr int timeOutPadraoSegundos = 10;

// A list of more sheets than this is more than an operator can use and than the client
// should hold: refused as it arrives. Counted in "|" (a sheet has 66 of them).
qsizetype limiteDeFichas = 200'000;
constexpr qsizetype barrasPorFicha = 66;

bool grandeDemais(const MontadorDeResposta& m)
{
    return m.barras() > limiteDeFichas * barrasPorFicha + 1;
}

// Takes `pedaco` into the running wait, ending it when the reply has grown past a limit or
// memory ran out (the bytes held so far are then given back at once).
void acrescentaNaEspera(QByteArrayView pedaco)
{
    try {
        if (corrente->montador.tamanho() + pedaco.size() > limiteDeBytesDaResposta()) {
            corrente->montador.reinicia();
            corrente->termina(Fim::LongaDemais);
            return;
        }
        if (faltaDeMemoriaSimulada > 0 && corrente->montador.tamanho() + pedaco.size() > faltaDeMemoriaSimulada)
            throw std::bad_alloc();
        corrente->montador.acrescenta(pedaco);
    } catch (const std::bad_alloc&) {
        corrente->montador = MontadorDeResposta();
        corrente->termina(Fim::SemMemoria);
        return;
    }
    if (grandeDemais(corrente->montador))
        corrente->termina(Fim::GrandeDemais);
}

// The wait's pointer is cleared however the wait ends, even by an exception.
struct EsperaRegistrada {
    explicit EsperaRegistrada(EsperaCorrente& e) { corrente = &e; }
    ~EsperaRegistrada() { corrente = nullptr; }
    EsperaRegistrada(const EsperaRegistrada&) = delete;
    EsperaRegistrada& operator=(const EsperaRegistrada&) = delete;
};

// The time-out is for the reply to begin, and then for each next piece: a slow line that
// keeps sending is no error, a stalled one is.
void reiniciaTempo()
{
    if (corrente->relogio)
        corrente->relogio->start();
}

// The reply begins: how long it took tells the link's round trip (the quickest on this
// connection). A lost packet holds the line back about one round trip, a lost tail about two,
// a retransmission timer a little more: a list stopped on a sheet's end waits three before it
// is taken whole, within half the time-out.
void comecaNaEspera()
{
    if (corrente->comecou)
        return;
    corrente->comecou = true;
    if (!corrente->conexao)
        return;
    corrente->conexao->notaEspera(corrente->desdeOPedido.elapsed());
    const qint64 idaEVolta = corrente->conexao->menorEsperaMs();
    const qint64 teto = corrente->relogio ? corrente->relogio->interval() / 2 : 0;
    corrente->silencios.entreFichas = int(std::max<qint64>(silencios.lista, std::min(3 * idaEVolta, teto)));
}

void recebeNaEspera(QByteArrayView pedaco)
{
    if (!corrente || corrente->fim != Fim::Nenhum)
        return;
    reiniciaTempo();
    comecaNaEspera();
    acrescentaNaEspera(pedaco);
    if (corrente->fim != Fim::Nenhum)
        return;
    // A list cut short is never whole by silence, even when its text before this piece was.
    const int silencioMs = corrente->montador.silencioMs(corrente->silencios);
    if (silencioMs >= 0)
        corrente->silencio.start(silencioMs);
    else
        corrente->silencio.stop();
}

void recebeQuadroNaEspera(QByteArrayView pedaco)
{
    if (!corrente || corrente->fim != Fim::Nenhum)
        return;
    reiniciaTempo();
    comecaNaEspera();
    acrescentaNaEspera(pedaco);
    if (corrente->fim == Fim::Nenhum && corrente->andamento)
        corrente->andamento(QByteArrayView(corrente->montador.bytes()));
}

void fimDoQuadroNaEspera()
{
    if (corrente)
        corrente->termina(Fim::Completa);
}

void falhaNaEspera(const QString& origem, const QString& descricao, bool fechadaPeloServidor, bool mostrar)
{
    if (!corrente || corrente->fim != Fim::Nenhum)
        return;
    // A server that answers and then hangs up has said all it had to say.
    if (fechadaPeloServidor && corrente->montador.formaCompleta()) {
        corrente->termina(Fim::Completa);
        return;
    }
    corrente->origemDaFalha = origem;
    corrente->descricaoDaFalha = descricao;
    corrente->mostraFalha = mostrar;
    corrente->termina(Fim::FalhaDoSocket);
}

void semMemoriaNaEspera()
{
    if (!corrente)
        return;
    corrente->montador = MontadorDeResposta();
    corrente->termina(Fim::SemMemoria);
}

void conexaoEncerradaNaEspera()
{
    if (corrente)
        corrente->termina(Fim::Encerrada);
}

// The running wait hears the connection until it ends (the context goes with the wait).
void ouveConexao(CanalDaEspera* conexao, EsperaCorrente& espera)
{
    if (!conexao)
        return;
    QObject* contexto = &espera.laco;
    QObject::connect(conexao, &CanalDaEspera::chegaram, contexto, &recebeNaEspera);
    QObject::connect(conexao, &CanalDaEspera::chegouQuadro, contexto, &recebeQuadroNaEspera);
    QObject::connect(conexao, &CanalDaEspera::respostaInteira, contexto, &fimDoQuadroNaEspera);
    QObject::connect(conexao, &CanalDaEspera::falhou, contexto, &falhaNaEspera);
    QObject::connect(conexao, &CanalDaEspera::semMemoria, contexto, &semMemoriaNaEspera);
    QObject::connect(conexao, &CanalDaEspera::encerrada, contexto, &conexaoEncerradaNaEspera);
}

QString emMiB(qint64 bytes)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(double(bytes) / double(1 << 20), 'f', 0);
}

} // namespace

bool RequisicaoEmCurso() { return corrente != nullptr; }

bool EsperaInterrompida() { return ultimaInterrompida; }

void simulaFaltaDeMemoriaAcimaDe(qint64 bytes)
{
    faltaDeMemoriaSimulada = bytes;
}

qint64 limiteDeBytesDaResposta()
{
    const qint64 definido = globais().maximoRespostaBytes;
    return definido > 0 ? definido : limitePadraoDeBytesDaResposta;
}

void defineLimiteDeFichas(qsizetype fichas)
{
    limiteDeFichas = fichas;
}

void defineSilenciosDaResposta(int registroMs, int listaMs, int incompletaMs)
{
    if (registroMs >= 0)
        silencios.registro = registroMs;
    if (listaMs >= 0)
        silencios.lista = listaMs;
    if (incompletaMs >= 0)
        silencios.incompleta = incompletaMs;
}

void proximaEsperaEmBytes()
{
    pedidoEmBytes = true;
}

void proximaEsperaComAndamento(std::function<void(QByteArrayView)> andamento)
{
    andamentoPedido = std::move(andamento);
}

QByteArray tomaBytesDaResposta()
{
    return std::exchange(bytesDaResposta, {});
}

int AguardaResposta(CanalDaEspera* conexaoDaEspera, QTimer* timerTimeOut, int limiteMs, QList<int> esperados)
{
    EstadoGlobal& g = globais();
    g.respostaServidor.clear();
    g.tempoEsgotado = false;
    ultimaInterrompida = false;
    bytesDaResposta.clear();
    const bool emBytes = std::exchange(pedidoEmBytes, false);
    std::function<void(QByteArrayView)> andamento = std::exchange(andamentoPedido, {});
    if (corrente) {
        // Never two waits on one buffer; the callers refuse before getting here.
        ultimaInterrompida = true;
        return RespostaInterrompida;
    }

    EsperaCorrente espera;
    espera.andamento = std::move(andamento);
    espera.montador.defineEsperados(std::move(esperados));
    if (g.usuarioLogado)
        espera.montador.defineDepartamento(g.usuarioLogado->departamento.idDepartamento,
                                           g.usuarioLogado->departamento.dsDepartamento);
    espera.silencio.setSingleShot(true);
    espera.silencio.setTimerType(Qt::PreciseTimer);
    QObject::connect(&espera.silencio, &QTimer::timeout, [&espera] {
        espera.porSilencio = true;
        espera.termina(Fim::Completa);
    });

    // The window's timer, or one of our own when the window has none to lend.
    QTimer reserva;
    QPointer<QTimer> relogio = timerTimeOut ? timerTimeOut : &reserva;
    const int segundos = g.timeOutSegundos > 0 ? g.timeOutSegundos : timeOutPadraoSegundos;
    relogio->setInterval(limiteMs > 0 ? limiteMs : segundos * 1000);
    const QMetaObject::Connection ligacao = QObject::connect(relogio.data(), &QTimer::timeout, [&espera, &g, relogio] {
        g.tempoEsgotado = true;
        if (relogio)
            relogio->stop();
        espera.termina(Fim::TempoEsgotado);
    });
    relogio->start();
    espera.relogio = relogio;
    espera.silencios = silencios;
    espera.desdeOPedido.start();
    // The connection may go with its window during the wait.
    const QPointer<CanalDaEspera> conexao = conexaoDaEspera;
    espera.conexao = conexao;
    ouveConexao(conexao, espera);

    {
        const EsperaRegistrada registro(espera);
        espera.laco.exec();
    }

    QObject::disconnect(ligacao);
    if (relogio)
        relogio->stop();
    // Whoever followed the reply lets go of its bytes before anything else runs (a box's
    // event loop would paint what it shows).
    if (espera.andamento && espera.fim != Fim::Completa)
        espera.andamento(QByteArrayView());

    switch (espera.fim) {
    case Fim::Completa: {
        g.tempoEsgotado = false;
        if (emBytes)
            bytesDaResposta = espera.montador.tomaBytes();
        else
            g.respostaServidor = espera.montador.texto();
        if (espera.porSilencio) {
            // Taken by the quiet rule: if more of it is already here, it was not whole. It
            // is then no reply at all, and the connection (out of step) is closed, as after
            // a time-out.
            if (conexao) {
                conexao->respostaTomadaPorSilencio();
                if (conexao->fechaSeForaDePasso()) {
                    if (espera.andamento)
                        espera.andamento(QByteArrayView());
                    g.respostaServidor.clear();
                    bytesDaResposta.clear();
                    g.tempoEsgotado = true;
                    return 0;
                }
            }
        }
        try {
            if (!emBytes)
                return LeComando(g.respostaServidor);
            // Only the code is decoded here.
            const qsizetype barra = bytesDaResposta.indexOf('|');
            return LeComando(Wire::decodifica(barra < 0 ? QByteArrayView(bytesDaResposta)
                                                        : QByteArrayView(bytesDaResposta).first(barra + 1)));
        } catch (const ErroDeExecucao&) {
            // On the plain wire a reply that does not begin with a code is out of step (the
            // rest of an earlier one, say): what follows on this connection answers nothing
            // asked now. The next request starts on a new one.
            if (conexao && !conexao->enquadrada())
                conexao->encerra();
            throw;
        }
    }
    case Fim::TempoEsgotado:
        // Whatever the server still sends for this request must not pass for the reply of
        // the next one: drop the connection, the next request reconnects.
        if (conexao)
            conexao->encerra();
        return 0;
    case Fim::FalhaDoSocket:
        ultimaInterrompida = true;
        if (espera.mostraFalha)
            Caixas::mostra(QApplication::activeWindow(),
                           espera.origemDaFalha + QStringLiteral("\r\n") + espera.descricaoDaFalha,
                           QStringLiteral("Erro no Socket"), Caixas::Icone::Erro);
        return RespostaInterrompida;
    case Fim::GrandeDemais:
        // The rest of it is still coming: only a new connection is clean.
        if (conexao)
            conexao->encerra();
        ultimaInterrompida = true;
        Caixas::mostra(QApplication::activeWindow(),
                       QStringLiteral("A busca encontrou mais de %1 fichas, mais do que a lista pode mostrar. "
                                      "Refine o critério da busca.")
                           .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(limiteDeFichas)),
                       QStringLiteral("Lista Muito Grande"), Caixas::Icone::Aviso);
        return RespostaInterrompida;
    case Fim::LongaDemais:
    case Fim::SemMemoria:
        // The rest of it is still coming: only a new connection is clean.
        if (conexao)
            conexao->encerra();
        ultimaInterrompida = true;
        Caixas::mostra(QApplication::activeWindow(),
                       espera.fim == Fim::LongaDemais
                           ? QStringLiteral("A resposta do servidor passou de %1 MiB, o maior tamanho aceito "
                                            "(maximoRespostaMiB na configuração). A conexão foi encerrada; "
                                            "refine o critério ou tente novamente.")
                                 .arg(emMiB(limiteDeBytesDaResposta()))
                           : QStringLiteral("Não houve memória para receber a resposta do servidor. "
                                            "A conexão foi encerrada; tente novamente."),
                       QStringLiteral("Resposta Muito Grande"), Caixas::Icone::Erro);
        return RespostaInterrompida;
    case Fim::Encerrada:
    case Fim::Nenhum:
        break;
    }
    ultimaInterrompida = true;
    return RespostaInterrompida;
}
