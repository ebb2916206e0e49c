// A relay between the client and a server (see Retransmissor.h).
#include "Retransmissor.h"

#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

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
    QObject::connect(&ouvinte, &QTcpServer::newConnection, &ouvinte, [&] {
        while (QTcpSocket* cliente = ouvinte.nextPendingConnection()) {
            auto* servidor = new QTcpSocket(cliente);
            servidor->connectToHost(QHostAddress::LocalHost, m_destino);
            servidor->waitForConnected(5000);
            const auto passa = [this](QTcpSocket* de, QTcpSocket* para, bool doCliente) {
                QByteArray b = de->readAll();
                if (doCliente && m_tiraTls)
                    b.replace("|tls,", "|");
                {
                    QMutexLocker l(&m_mutex);
                    m_captura += b;
                }
                para->write(b);
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
