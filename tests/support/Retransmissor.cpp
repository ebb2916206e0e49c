// A relay between the client and a server (see Retransmissor.h).
#include "Retransmissor.h"

#include <QList>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

Retransmissor::Retransmissor(quint16 destino, bool tiraTls) : m_destino(destino), m_tiraTls(tiraTls)
{
    start();
    m_pronto.acquire();
}

Retransmissor::~Retransmissor()
{
    quit();
    wait();
}

QByteArray Retransmissor::captura()
{
    QMutexLocker l(&m_mutex);
    return m_captura;
}

void Retransmissor::run()
{
    QTcpServer ouvinte;
    ouvinte.listen(QHostAddress::LocalHost, 0);
    m_porta = ouvinte.serverPort();
    QList<QPointer<QTcpSocket>> abertas;   // the clients' ends (each owns its server's end)
    const auto cortaTudo = [&] {
        for (const QPointer<QTcpSocket>& c : std::as_const(abertas))
            if (c) {
                if (auto* s = c->findChild<QTcpSocket*>())
                    s->abort();
                c->abort();
                c->deleteLater();
            }
        abertas.clear();
    };
    QTimer vigia;
    QObject::connect(&vigia, &QTimer::timeout, &ouvinte, [&] {
        if (m_cortado && !abertas.isEmpty())
            cortaTudo();
    });
    vigia.start(10);
    QObject::connect(&ouvinte, &QTcpServer::newConnection, &ouvinte, [&] {
        while (QTcpSocket* cliente = ouvinte.nextPendingConnection()) {
            if (m_cortado) {
                cliente->abort();
                cliente->deleteLater();
                continue;
            }
            abertas.append(cliente);
            auto* servidor = new QTcpSocket(cliente);
            servidor->connectToHost(QHostAddress::LocalHost, m_destino);
            servidor->waitForConnected(5000);
            const auto passa = [this, &cortaTudo](QTcpSocket* de, QTcpSocket* para, bool doCliente) {
                if (m_cortado)
                    return;
                QByteArray b = de->readAll();
                if (doCliente && m_tiraTls)
                    b.replace("|tls,", "|");
                bool cortar = false;
                if (!doCliente) {
                    const qint64 limite = m_limite;
                    if (limite >= 0 && m_doServidor + b.size() >= limite) {
                        b.truncate(qMax<qint64>(0, limite - m_doServidor));
                        cortar = true;
                    }
                    m_doServidor += b.size();
                }
                {
                    QMutexLocker l(&m_mutex);
                    m_captura += b;
                }
                para->write(b);
                if (cortar) {
                    para->flush();
                    m_cortado = true;
                    m_limite = -1;
                    cortaTudo();
                }
            };
            QObject::connect(cliente, &QTcpSocket::readyRead, cliente, [=] { passa(cliente, servidor, true); });
            QObject::connect(servidor, &QTcpSocket::readyRead, cliente, [=] { passa(servidor, cliente, false); });
            QObject::connect(servidor, &QTcpSocket::disconnected, cliente, [=] { cliente->disconnectFromHost(); });
            QObject::connect(cliente, &QTcpSocket::disconnected, cliente, [=] {
                servidor->disconnectFromHost();
                cliente->deleteLater();
            });
        }
    });
    m_pronto.release();
    exec();
}
