// How much of a long reply is read but not yet taken by the system (see Vazao.h).
#include "server/network/Vazao.h"

#include <QMutexLocker>

bool Vazao::entregou(qsizetype n, qsizetype limite)
{
    QMutexLocker trava(&m_mutex);
    m_aCaminho += n;
    return m_aCaminho + m_noSocket > limite;
}

void Vazao::escrito(qsizetype n, qsizetype noSocketAgora)
{
    QMutexLocker trava(&m_mutex);
    m_aCaminho -= n;
    m_noSocket = noSocketAgora;
}

void Vazao::saiu(qsizetype noSocketAgora)
{
    QMutexLocker trava(&m_mutex);
    m_noSocket = noSocketAgora;
}

qsizetype Vazao::pendente() const
{
    QMutexLocker trava(&m_mutex);
    return m_aCaminho + m_noSocket;
}

void Vazao::cancela()
{
    QMutexLocker trava(&m_mutex);
    m_cancelada = true;
}

bool Vazao::cancelada() const
{
    QMutexLocker trava(&m_mutex);
    return m_cancelada;
}
