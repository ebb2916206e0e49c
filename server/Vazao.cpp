// How far the worker reading a long reply may run ahead of the connection sending it.
#include "server/Vazao.h"

#include <QMutexLocker>

bool Vazao::reserva(qsizetype limite, qsizetype n)
{
    QMutexLocker trava(&m_mutex);
    while (!m_cancelada && m_aCaminho + m_noSocket > limite)
        m_pode.wait(&m_mutex);
    if (m_cancelada)
        return false;
    m_aCaminho += n;
    return true;
}

void Vazao::escrito(qsizetype n, qsizetype noSocketAgora)
{
    QMutexLocker trava(&m_mutex);
    m_aCaminho -= n;
    m_noSocket = noSocketAgora;
    m_pode.wakeAll();
}

void Vazao::saiu(qsizetype noSocketAgora)
{
    QMutexLocker trava(&m_mutex);
    m_noSocket = noSocketAgora;
    m_pode.wakeAll();
}

void Vazao::cancela()
{
    QMutexLocker trava(&m_mutex);
    m_cancelada = true;
    m_pode.wakeAll();
}
