// A connection's bytes on their way out (see Escoamento.h).
#include "server/network/Escoamento.h"
#include "server/monitoring/Metricas.h"
#include "server/network/Vazao.h"

#include <QTcpSocket>

Escoamento::Escoamento(QTcpSocket* socket, qsizetype limite, int semLerMs, std::function<void(qint64)> naoLe, QObject* pai)
    : QObject(pai), m_socket(socket), m_limite(limite), m_semLerMs(semLerMs), m_naoLe(std::move(naoLe))
{
    m_semLer.setSingleShot(true);
    m_semLer.setTimerType(Qt::CoarseTimer);
    connect(&m_semLer, &QTimer::timeout, this, [this] { prazo(); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this](qint64 bytes) {
        Metricas::enviados(bytes);
        saiu();
    });
}

Escoamento::~Escoamento()
{
    cancela();
}

std::shared_ptr<Vazao> Escoamento::comeca()
{
    m_vazao = std::make_shared<Vazao>();
    return m_vazao;
}

void Escoamento::escreveu(qsizetype n)
{
    if (m_vazao)
        m_vazao->escrito(n, m_socket->bytesToWrite());
    vigia();
}

void Escoamento::aguarda(std::function<void()> continua)
{
    if (!m_vazao)
        return;
    m_continua = std::move(continua);
    saiu();
}

void Escoamento::termina()
{
    m_vazao.reset();
    m_continua = nullptr;
}

void Escoamento::cancela()
{
    if (m_vazao)
        m_vazao->cancela();
    m_continua = nullptr;
}

void Escoamento::vigia()
{
    if (m_socket->bytesToWrite() > 0 && !m_semLer.isActive())
        m_semLer.start(m_semLerMs);
}

void Escoamento::saiu()
{
    const qint64 noSocket = m_socket->bytesToWrite();
    // Progress: the deadline starts again while anything still waits.
    if (noSocket > 0)
        m_semLer.start(m_semLerMs);
    else
        m_semLer.stop();
    if (!m_vazao)
        return;
    m_vazao->saiu(noSocket);
    if (m_continua && m_vazao->pendente() <= m_limite / 2)
        std::exchange(m_continua, nullptr)();
}

void Escoamento::prazo()
{
    const qint64 esperando = m_socket->bytesToWrite();
    if (esperando > 0)
        m_naoLe(esperando);
}
