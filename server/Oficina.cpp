#include "server/Oficina.h"
#include "server/Diario.h"
#include "protocol/Wire.h"
#include "server/store/Banco.h"

#include "server/Sessoes.h"

#include <QDateTime>
#include <QMutexLocker>
#include <QSemaphore>

struct Oficina::Fila {
    QMutex mutex;
    QWaitCondition haLeitura;
    QWaitCondition haAlteracao;
    QList<Leitura> leituras;
    QList<Alteracao> alteracoes;
    QList<RegistroDoHistorico> registros;
    qint64 registrosPerdidos = 0;
    bool parar = false;

    // Start-up: each thread reports whether its connection opened.
    QSemaphore abertas;
    QStringList erros;
};

Oficina::Oficina(QString conexao, Sessoes& sessoes, int leitores)
    : m_conexao(std::move(conexao)), m_sessoes(sessoes), m_leitores(qMax(1, leitores)), m_fila(std::make_unique<Fila>())
{
}

Oficina::~Oficina()
{
    {
        QMutexLocker trava(&m_fila->mutex);
        m_fila->parar = true;
        m_fila->haLeitura.wakeAll();
        m_fila->haAlteracao.wakeAll();
    }
    for (QThread* t : m_threads) {
        t->wait();
        delete t;
    }
}

bool Oficina::abreBanco(Banco& banco)
{
    banco.defineDiario(registraNoDiario);
    const bool ok = banco.abre(false);
    if (!ok) {
        QMutexLocker trava(&m_fila->mutex);
        m_fila->erros << banco.ultimoErro();
    }
    m_fila->abertas.release();
    return ok;
}

bool Oficina::inicia(QString& erro)
{
    m_threads << QThread::create([this] { trabalhaGravando(); });
    for (int i = 0; i < m_leitores; ++i)
        m_threads << QThread::create([this] { trabalhaLendo(); });
    for (QThread* t : m_threads)
        t->start();
    m_fila->abertas.acquire(int(m_threads.size()));
    QMutexLocker trava(&m_fila->mutex);
    if (!m_fila->erros.isEmpty()) {
        erro = m_fila->erros.first();
        return false;
    }
    return true;
}

void Oficina::le(Leitura tarefa, bool naFrente)
{
    QMutexLocker trava(&m_fila->mutex);
    if (naFrente)
        m_fila->leituras.prepend(std::move(tarefa));
    else
        m_fila->leituras.append(std::move(tarefa));
    m_fila->haLeitura.wakeOne();
}

void Oficina::altera(Alteracao alteracao)
{
    QMutexLocker trava(&m_fila->mutex);
    m_fila->alteracoes.append(std::move(alteracao));
    m_fila->haAlteracao.wakeOne();
}

void Oficina::registra(RegistroDoHistorico registro)
{
    QMutexLocker trava(&m_fila->mutex);
    if (m_fila->registros.size() >= maisRegistrosEsperando) {
        // The store has refused them for long: the oldest give way, and the log says how many.
        m_fila->registros.removeFirst();
        if (m_fila->registrosPerdidos++ == 0)
            registraNoDiario(QStringLiteral("HISTÓRICO: o banco não grava as linhas do histórico há tempo demais; as mais antigas "
                                            "das que esperam estão sendo descartadas"));
    }
    m_fila->registros.append(std::move(registro));
    m_fila->haAlteracao.wakeOne();
}

// The reads' rows, in a savepoint of their own within the batch: false when they were not written.
bool Oficina::gravaRegistros(Banco& banco, QList<RegistroDoHistorico>& registros)
{
    if (registros.isEmpty())
        return true;
    if (!banco.marcaPonto())
        return false;
    if (HistoricoGravado(banco).acrescenta(registros) && banco.liberaPonto())
        return true;
    banco.voltaAoPonto();
    return false;
}

// Rows that were not stored go back to the front of the queue, for the next batch.
void Oficina::devolveRegistros(QList<RegistroDoHistorico>&& registros, const QString& porque)
{
    if (registros.isEmpty()) {
        m_registrosFalhando = false;
        return;
    }
    if (!m_registrosFalhando)
        registraNoDiario(QStringLiteral("HISTÓRICO: %1 linha(s) de leituras e logins não gravada(s) agora; nova tentativa no próximo lote (%2)")
                             .arg(registros.size())
                             .arg(porque));
    m_registrosFalhando = true;
    QMutexLocker trava(&m_fila->mutex);
    registros.append(std::move(m_fila->registros));
    if (registros.size() > maisRegistrosEsperando)
        registros.remove(0, registros.size() - maisRegistrosEsperando);
    m_fila->registros = std::move(registros);
}

// An idle worker looks at its connection once a second (outside the queue's lock), so a
// restart of the database is noticed and the connection reopened before a request meets it.
void Oficina::vigiaSemAFila(QMutexLocker<QMutex>& trava, Banco& banco)
{
    trava.unlock();
    banco.vigia();
    trava.relock();
}

void Oficina::trabalhaLendo()
{
    Banco banco(m_conexao);
    if (!abreBanco(banco))
        return;
    Atendente atendente(banco, m_sessoes);
    atendente.defineRegistroDeLeituras([this](RegistroDoHistorico r) { registra(std::move(r)); });
    for (;;) {
        Leitura tarefa;
        {
            QMutexLocker trava(&m_fila->mutex);
            while (m_fila->leituras.isEmpty() && !m_fila->parar)
                if (!m_fila->haLeitura.wait(&m_fila->mutex, 1000))
                    vigiaSemAFila(trava, banco);
            if (m_fila->parar)
                return;
            tarefa = m_fila->leituras.takeFirst();
        }
        tarefa(banco, atendente);
    }
}

void Oficina::trabalhaGravando()
{
    Banco banco(m_conexao);
    if (!abreBanco(banco))
        return;
    Atendente atendente(banco, m_sessoes);
    for (;;) {
        QList<Alteracao> lote;
        QList<RegistroDoHistorico> registros;
        {
            QMutexLocker trava(&m_fila->mutex);
            // Rows the store refused last time are tried again with the next change, or after a second.
            while (m_fila->alteracoes.isEmpty() && (m_fila->registros.isEmpty() || m_registrosFalhando) && !m_fila->parar)
                if (!m_fila->haAlteracao.wait(&m_fila->mutex, 1000)) {
                    vigiaSemAFila(trava, banco);
                    trava.unlock();
                    m_sessoes.gravaPendentes(banco, QDateTime::currentMSecsSinceEpoch());
                    trava.relock();
                    if (!m_fila->registros.isEmpty())
                        break;
                }
            if (m_fila->parar) {
                // Sessions opened here and not written yet survive a stop (a restart, an upgrade).
                trava.unlock();
                m_sessoes.gravaPendentes(banco, QDateTime::currentMSecsSinceEpoch(), true);
                return;
            }
            lote = std::exchange(m_fila->alteracoes, {});
            registros = std::exchange(m_fila->registros, {});
        }

        // Everything that queued up while the last batch was being committed goes together.
        QList<Atendente::Resposta> respostas;
        respostas.reserve(lote.size());
        bool confirmado = banco.iniciaTransacao();
        // Every change appends to the history: the chain first, then the rows. A batch that took
        // it after a sheet could wait on that sheet for another server's batch waiting on it.
        if (confirmado && !HistoricoGravado(banco).reservaACadeia()) {
            banco.desfazTransacao();
            confirmado = false;
        }
        if (confirmado) {
            // The reads queued before these changes came first: their rows go first in the chain.
            const bool gravou = gravaRegistros(banco, registros);
            const QString porque = banco.ultimoErro();
            for (const Alteracao& a : lote)
                respostas.append(atendente.atende(a.codigo, Wire::decodifica(a.bytes), a.portador, a.agoraMs));
            confirmado = banco.confirmaTransacao();
            if (!confirmado)
                banco.desfazTransacao();
            devolveRegistros(confirmado && gravou ? QList<RegistroDoHistorico>() : std::move(registros),
                             confirmado ? porque : banco.ultimoErro());
        } else {
            devolveRegistros(std::move(registros), banco.ultimoErro());
        }
        if (!confirmado) {
            const QString porque = QStringLiteral("erro do banco: ") + banco.ultimoErro();
            respostas.clear();
            for (qsizetype i = 0; i < lote.size(); ++i)
                respostas.append({QByteArrayLiteral("0"), porque, false});
        }
        for (qsizetype i = 0; i < lote.size(); ++i)
            lote[i].pronta(std::move(respostas[i]));
        // The sessions' clocks that requests moved (searches never write them).
        m_sessoes.gravaPendentes(banco, QDateTime::currentMSecsSinceEpoch());
    }
}
