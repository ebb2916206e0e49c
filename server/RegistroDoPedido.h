// A request served, as the log and the metrics take it.
#pragma once
#include <QByteArrayView>
#include <QString>


// Every reply is one log line ("ADDRESS:PORT pedido 12 -> 13 … (3.2 ms)") and a count in the
// metrics. One that took longer than --lento-ms is one more line, for the administrator who
// wants to know what was slow: its kind, department, duration, rows returned and the
// connection's address — never a value it carried.
namespace RegistroDoPedido {

struct Pedido {
    const QString& conexao;            // "address:port"
    int codigo;                        // the request's code; -1: it could not be read
    QByteArrayView codigoDaResposta;   // as it went ("13"), or "(cortada)"
    const QString& desfecho;
    qint64 duracaoNs;
    qint64 linhas;                     // rows a list returned; -1: as the reply's code says
    qint32 departamento;               // the department the request named; 0: none
};

void registra(const Pedido& p, int lentoMs);

// The slow-request line (without the log's timestamp).
QString linhaDoLento(const Pedido& p);

} // namespace RegistroDoPedido
