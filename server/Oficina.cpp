#include "server/Oficina.h"
#include "server/Diario.h"
#include "protocol/Wire.h"
#include "server/Banco.h"

#include <QMutexLocker>
#include <QSemaphore>

struct Oficina::Fila {
    QMutex mutex;
    QWaitCondition haLeitura;
    QWaitCondition haAlteracao;
    QList<Leitura> leituras;
    QList<Alteracao> alteracoes;
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
        {
            QMutexLocker trava(&m_fila->mutex);
            while (m_fila->alteracoes.isEmpty() && !m_fila->parar)
                if (!m_fila->haAlteracao.wait(&m_fila->mutex, 1000))
                    vigiaSemAFila(trava, banco);
            if (m_fila->parar)
                return;
            lote = std::exchange(m_fila->alteracoes, {});
        }
        // Everything that queued up while the last batch was being committed goes together.
        QList<Atendente::Resposta> respostas;
        respostas.reserve(lote.size());
        bool confirmado = banco.iniciaTransacao();
        if (confirmado) {
            for (const Alteracao& a : lote)
                respostas.append(atendente.atende(a.codigo, Wire::decodifica(a.bytes), a.portador, a.agoraMs));
            confirmado = banco.confirmaTransacao();
            if (!confirmado)
                banco.desfazTransacao();
        }
        if (!confirmado) {
            const QString porque = QStringLiteral("erro do banco: ") + banco.ultimoErro();
            respostas.clear();
            for (qsizetype i = 0; i < lote.size(); ++i)
                respostas.append({QByteArrayLiteral("0"), porque, false});
        }
        for (qsizetype i = 0; i < lote.size(); ++i)
            lote[i].pronta(std::move(respostas[i]));
    }
}
