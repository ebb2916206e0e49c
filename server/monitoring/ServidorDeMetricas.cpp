// The metrics' own HTTP listener, on a thread of its own.
#include "server/monitoring/ServidorDeMetricas.h"
#include "server/monitoring/Metricas.h"

#include <QDateTime>
#include <QEventLoop>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QTcpServer>
#include <QThread>

#include <future>

ServidorDeMetricas::ServidorDeMetricas() = default;

ServidorDeMetricas::~ServidorDeMetricas()
{
    para();
}

bool ServidorDeMetricas::escuta(const QHostAddress& endereco, quint16 porta, QString& erro)
{
    para();
    // The HTTP server is made, bound and run on its thread: its sockets belong there.
    std::promise<QString> pronto;
    std::future<QString> resultado = pronto.get_future();
    quint16* ouvindo = &m_porta;
    m_fio.reset(QThread::create([endereco, porta, ouvindo, &pronto] {
        QHttpServer http;
        http.route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get, [](const QHttpServerRequest&) {
            return QHttpServerResponse(QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"),
                                       Metricas::exposicao(QDateTime::currentMSecsSinceEpoch()));
        });
        auto* tcp = new QTcpServer(&http);
        if (!tcp->listen(endereco, porta)) {
            pronto.set_value(tcp->errorString());
            return;
        }
        http.bind(tcp);
        *ouvindo = tcp->serverPort();
        pronto.set_value(QString());
        QEventLoop laco;
        laco.exec();   // until the thread is told to quit
    }));
    m_fio->start();
    erro = resultado.get();
    if (erro.isEmpty())
        return true;
    para();
    return false;
}

void ServidorDeMetricas::para()
{
    if (!m_fio)
        return;
    m_fio->quit();
    m_fio->wait();
    m_fio.reset();
}
