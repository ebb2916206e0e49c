// What the server counts for a monitoring system: the table of metrics, the atomics behind
// them, and the Prometheus text exposition rendered from both.
#include "server/monitoring/Metricas.h"
#include "protocol/Historico.h"
#include "protocol/Sincronia.h"
#include "protocol/modCommands.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <iterator>

namespace {

using Contador = std::atomic<quint64>;

// The kinds of request, in label order; the last two take what no code names.
struct TipoDoPedido {
    int codigo;
    const char* nome;
};
constexpr TipoDoPedido tipos[] = {
    {Codigo::Login, "login"},   {Codigo::Salva, "salva"}, {Codigo::Inclui, "inclui"},       {Codigo::Exclui, "exclui"},
    {Codigo::Busca, "busca"},   {Historico::codigoDoPedido, "historico"},
    {Sincronia::codigoDasMudancas, "mudancas"}, {Sincronia::codigoDaMudanca, "mudanca_na_fila"},
    {Sincronia::codigoDoGrupo, "grupo_de_mudancas"},
    {-1, "invalido"}, {-2, "outro"},
};
constexpr std::size_t nTipos = std::size(tipos);

// The reply codes a request may get, in label order; the last one takes anything else.
constexpr const char* respostas[] = {"0", "4", "5", "7", "9", "11", "13", "14", "16", "18", "20", "22", "cortada", "outra"};
constexpr std::size_t nRespostas = std::size(respostas);

// Upper bounds of the duration histogram's buckets, in seconds (+Inf is the count).
constexpr double limites[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};
constexpr std::size_t nLimites = std::size(limites);
constexpr std::array<qint64, nLimites> limitesNs = [] {
    std::array<qint64, nLimites> ns{};
    for (std::size_t i = 0; i < nLimites; ++i)
        ns[i] = qint64(limites[i] * 1e9);
    return ns;
}();

struct Histograma {
    std::array<Contador, nLimites> baldes{};   // each request in the first bucket it fits (summed on rendering)
    Contador somaNs{0};
    Contador contagem{0};
};

struct Valores {
    std::array<std::array<Contador, nRespostas>, nTipos> pedidos{};
    std::array<Histograma, nTipos> duracoes{};
    Contador loginsRecusados{0}, tlsFalhos{0}, recebidos{0}, enviados{0}, reconexoes{0};
    std::atomic<qint64> conexoes{0}, sessoes{0}, bancoRespondeuMs{0}, historicoLinhas{-1}, historicoVerificadoMs{0};
};

Valores& valores()
{
    static Valores v;
    return v;
}

std::size_t indiceDoTipo(int codigoPedido)
{
    for (std::size_t i = 0; i + 1 < nTipos; ++i)
        if (tipos[i].codigo == codigoPedido)
            return i;
    return nTipos - 1;
}

std::size_t indiceDaResposta(QByteArrayView codigo)
{
    if (codigo == "(cortada)")
        return nRespostas - 2;
    for (std::size_t i = 0; i + 2 < nRespostas; ++i)
        if (codigo == QByteArrayView(respostas[i], qsizetype(std::strlen(respostas[i]))))
            return i;
    return nRespostas - 1;
}

void soma(Contador& c, quint64 n = 1)
{
    c.fetch_add(n, std::memory_order_relaxed);
}

template <class T>
T le(const std::atomic<T>& a)
{
    return a.load(std::memory_order_relaxed);
}

// The table: one row per metric, its samples written by `escreve`.
enum class Tipo { Contador, Medidor, Histograma };
struct Metrica {
    const char* nome;
    Tipo tipo;
    const char* ajuda;
    void (*escreve)(QByteArray& saida, const char* nome, qint64 agoraMs);
};

void numero(QByteArray& saida, double v)
{
    saida += QByteArray::number(v, 'g', 17);
}

void amostra(QByteArray& saida, QByteArrayView nome, QByteArrayView rotulos, double v)
{
    saida += nome;
    if (!rotulos.isEmpty()) {
        saida += '{';
        saida += rotulos;
        saida += '}';
    }
    saida += ' ';
    numero(saida, v);
    saida += '\n';
}

template <Contador Valores::*campo>
void simples(QByteArray& saida, const char* nome, qint64)
{
    amostra(saida, nome, {}, double(le(valores().*campo)));
}

template <std::atomic<qint64> Valores::*campo>
void medido(QByteArray& saida, const char* nome, qint64)
{
    amostra(saida, nome, {}, double(le(valores().*campo)));
}

void pedidos(QByteArray& saida, const char* nome, qint64)
{
    for (std::size_t t = 0; t < nTipos; ++t)
        for (std::size_t r = 0; r < nRespostas; ++r)
            if (const quint64 n = le(valores().pedidos[t][r]); n > 0)
                amostra(saida, nome, QByteArray("tipo=\"") + tipos[t].nome + "\",resposta=\"" + respostas[r] + '"', double(n));
}

void duracoes(QByteArray& saida, const char* nome, qint64)
{
    const QByteArray base(nome);
    for (std::size_t t = 0; t < nTipos; ++t) {
        const Histograma& h = valores().duracoes[t];
        const QByteArray tipo = QByteArray("tipo=\"") + tipos[t].nome + '"';
        // A request under way may be in a bucket and not yet in the count: +Inf and the
        // count are never below the buckets, so the histogram stays whole.
        quint64 acumulado = 0;
        for (std::size_t i = 0; i < nLimites; ++i) {
            acumulado += le(h.baldes[i]);
            amostra(saida, base + "_bucket", tipo + ",le=\"" + QByteArray::number(limites[i], 'g', 6) + '"', double(acumulado));
        }
        const quint64 contagem = std::max(le(h.contagem), acumulado);
        amostra(saida, base + "_bucket", tipo + ",le=\"+Inf\"", double(contagem));
        amostra(saida, base + "_sum", tipo, double(le(h.somaNs)) / 1e9);
        amostra(saida, base + "_count", tipo, double(contagem));
    }
}

void bancoNoAr(QByteArray& saida, const char* nome, qint64 agoraMs)
{
    const qint64 respondeu = le(valores().bancoRespondeuMs);
    amostra(saida, nome, {}, respondeu > 0 && agoraMs - respondeu < Metricas::bancoCaladoMs ? 1 : 0);
}

void historicoLinhas(QByteArray& saida, const char* nome, qint64)
{
    if (const qint64 n = le(valores().historicoLinhas); n >= 0)   // nothing until first counted
        amostra(saida, nome, {}, double(n));
}

void historicoVerificado(QByteArray& saida, const char* nome, qint64)
{
    if (const qint64 ms = le(valores().historicoVerificadoMs); ms > 0)
        amostra(saida, nome, {}, double(ms / 1000));   // whole seconds: no binary fraction noise
}

void versao(QByteArray& saida, const char* nome, qint64)
{
    amostra(saida, nome, "versao=\"" ZELTO_VERSAO "\"", 1);
}

const Metrica metricas[] = {
    {"zelto_pedidos_total", Tipo::Contador, "Pedidos atendidos, por tipo de pedido e código da resposta.", pedidos},
    {"zelto_pedido_duracao_seconds", Tipo::Histograma, "Tempo de um pedido, da chegada à resposta inteira, por tipo.", duracoes},
    {"zelto_conexoes_abertas", Tipo::Medidor, "Conexões de clientes abertas.", medido<&Valores::conexoes>},
    {"zelto_sessoes_vivas", Tipo::Medidor, "Sessões abertas no banco (as de todos os servidores dele), contadas a cada poucos segundos.", medido<&Valores::sessoes>},
    {"zelto_logins_recusados_total", Tipo::Contador, "Logins negados (resposta 5: senha errada, operador desconhecido ou desativado, tentativas demais).",
     simples<&Valores::loginsRecusados>},
    {"zelto_banco_reconexoes_total", Tipo::Contador, "Conexões com o banco reabertas depois de perdidas.", simples<&Valores::reconexoes>},
    {"zelto_banco_no_ar", Tipo::Medidor, "1 se o banco respondeu à última sondagem (a cada poucos segundos), 0 se não.", bancoNoAr},
    {"zelto_historico_linhas", Tipo::Medidor, "Linhas do histórico na última contagem.", historicoLinhas},
    {"zelto_historico_verificado_timestamp_seconds", Tipo::Medidor,
     "Quando as linhas novas do histórico foram achadas ligadas à cadeia pela última vez (segundos Unix; a cada 5 s enquanto ela se "
     "mantém).",
     historicoVerificado},
    {"zelto_tls_handshakes_falhos_total", Tipo::Contador, "Negociações TLS que falharam.", simples<&Valores::tlsFalhos>},
    {"zelto_recebidos_bytes_total", Tipo::Contador, "Bytes recebidos dos clientes.", simples<&Valores::recebidos>},
    {"zelto_enviados_bytes_total", Tipo::Contador, "Bytes enviados aos clientes.", simples<&Valores::enviados>},
    {"zelto_build_info", Tipo::Medidor, "A versão do servidor (sempre 1).", versao},
};

const char* nomeDoTipo(Tipo t)
{
    switch (t) {
    case Tipo::Contador:
        return "counter";
    case Tipo::Histograma:
        return "histogram";
    case Tipo::Medidor:
        break;
    }
    return "gauge";
}

} // namespace

void Metricas::pedido(int codigoPedido, QByteArrayView codigoDaResposta, qint64 duracaoNs)
{
    Valores& v = valores();
    const std::size_t t = indiceDoTipo(codigoPedido);
    soma(v.pedidos[t][indiceDaResposta(codigoDaResposta)]);
    Histograma& h = v.duracoes[t];
    const qint64 ns = std::max<qint64>(duracaoNs, 0);
    std::size_t i = 0;
    while (i < nLimites && ns > limitesNs[i])
        ++i;
    if (i < nLimites)
        soma(h.baldes[i]);
    soma(h.somaNs, quint64(ns));
    soma(h.contagem);
}

void Metricas::loginRecusado()
{
    soma(valores().loginsRecusados);
}

void Metricas::tlsFalhou()
{
    soma(valores().tlsFalhos);
}

void Metricas::recebidos(qint64 bytes)
{
    soma(valores().recebidos, quint64(std::max<qint64>(bytes, 0)));
}

void Metricas::enviados(qint64 bytes)
{
    soma(valores().enviados, quint64(std::max<qint64>(bytes, 0)));
}

void Metricas::bancoReconectou()
{
    soma(valores().reconexoes);
}

void Metricas::defineConexoes(qint64 abertas)
{
    valores().conexoes.store(abertas, std::memory_order_relaxed);
}

void Metricas::defineSessoes(qint64 abertas)
{
    valores().sessoes.store(abertas, std::memory_order_relaxed);
}

void Metricas::bancoRespondeu(qint64 quandoMs)
{
    valores().bancoRespondeuMs.store(quandoMs, std::memory_order_relaxed);
}

void Metricas::defineHistorico(qint64 linhas)
{
    valores().historicoLinhas.store(linhas, std::memory_order_relaxed);
}

void Metricas::historicoVerificado(qint64 quandoMs)
{
    valores().historicoVerificadoMs.store(quandoMs, std::memory_order_relaxed);
}

const char* Metricas::tipoDoPedido(int codigoPedido)
{
    return tipos[indiceDoTipo(codigoPedido)].nome;
}

QByteArray Metricas::exposicao(qint64 agoraMs)
{
    QByteArray saida;
    saida.reserve(16 << 10);
    for (const Metrica& m : metricas) {
        saida += QByteArray("# HELP ") + m.nome + ' ' + m.ajuda + '\n';
        saida += QByteArray("# TYPE ") + m.nome + ' ' + nomeDoTipo(m.tipo) + '\n';
        m.escreve(saida, m.nome, agoraMs);
    }
    return saida;
}
