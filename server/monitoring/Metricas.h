// What the server counts for a monitoring system, and the text a Prometheus scrape reads.
#pragma once
#include <QByteArray>
#include <QByteArrayView>

// One table names every metric (name, type, help text) and the exposition (Prometheus text
// format 0.0.4) is rendered from it. The request path only adds to atomics — relaxed, no
// lock, no allocation —, the loop's sampler sets the gauges, and the HTTP side only reads.
// Labels carry kinds of request and reply codes, never a person: no name, sheet number,
// department, operator or address.
//
// One set per process, like the log: the server's parts report here without being handed it.
namespace Metricas {

// A request served: its code (-1 when it could not be read), the reply's code as it went
// ("0", "13"…, or "(cortada)" when it broke after pieces left), how long it took.
void pedido(int codigoPedido, QByteArrayView codigoDaResposta, qint64 duracaoNs);
void loginRecusado();
void tlsFalhou();
void recebidos(qint64 bytes);
void enviados(qint64 bytes);
void bancoReconectou();

// What the loop's sampler finds (see AmostrasParaMetricas).
void defineConexoes(qint64 abertas);
void defineSessoes(qint64 abertas);
void bancoRespondeu(qint64 quandoMs);   // the last probe the database answered
void defineHistorico(qint64 linhas);
void historicoVerificado(qint64 quandoMs);   // the rows appended lately were found linked to the chain

// How long without a probe answered before the database counts as down.
inline constexpr qint64 bancoCaladoMs = 15'000;

// The kind of request a code is, as the label and the slow-request line name it.
const char* tipoDoPedido(int codigoPedido);

// The whole exposition, as a scrape at `agoraMs` (wall clock) sees it.
QByteArray exposicao(qint64 agoraMs);

} // namespace Metricas
