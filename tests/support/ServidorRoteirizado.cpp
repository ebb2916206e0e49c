#include "ServidorRoteirizado.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

// Lives in the server thread; the public object talks to it under the mutex or through
// queued calls.
struct ServidorRoteirizado::Nucleo : QObject {
    struct Conexao {
        QPointer<QTcpSocket> socket;
        QByteArray entrada;
        QTimer* silencio = nullptr;
        QList<Acao> pendentes;   // actions still to play on this connection
        bool tocando = false;
        bool enquadrada = false;
        Quadros::Leitor leitor;
    };

    QThread thread;
    QTcpServer* servidor = nullptr;
    quint16 porta = 0;

    mutable QMutex mutex;
    Roteiro acolhida = ServidorRoteirizado::responde(QStringLiteral("2"));
    QList<Roteiro> fila;
    Roteiro padrao;
    bool keepAliveTemResposta = false;
    int silencioMs = 5;
    ServidorRoteirizado::Negociacao negociacao = ServidorRoteirizado::Negociacao::Recusa;
    int negociacoes = 0;
    QStringList capacidadesExtras;
    QStringList pedidas;
    QStringList recebidas;
    int conexoes = 0;
    int abertas = 0;

    QList<Conexao*> vivas;

    void inicia()
    {
        servidor = new QTcpServer;
        servidor->listen(QHostAddress::LocalHost, 0);
        porta = servidor->serverPort();
        QObject::connect(servidor, &QTcpServer::newConnection, this, [this] { aceita(); });
    }

    void encerra()
    {
        const QList<Conexao*> todas = vivas;
        vivas.clear();
        for (Conexao* c : todas) {
            if (c->socket) {
                c->socket->disconnect(this);
                c->socket->abort();
            }
            delete c->socket;
            delete c;
        }
        delete servidor;
        servidor = nullptr;
    }

    void aceita()
    {
        while (QTcpSocket* s = servidor->nextPendingConnection()) {
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            auto* c = new Conexao;
            c->socket = s;
            c->silencio = new QTimer(s);
            c->silencio->setSingleShot(true);
            Roteiro inicio;
            {
                QMutexLocker trava(&mutex);
                ++conexoes;
                ++abertas;
                c->silencio->setInterval(silencioMs);
                inicio = acolhida;
            }
            vivas.append(c);
            QObject::connect(s, &QTcpSocket::readyRead, this, [this, c] {
                if (c->enquadrada) {
                    c->leitor.le(
                        c->socket->readAll(), [c](QByteArrayView d) { c->entrada += d; }, [this, c] { fimDeMensagem(c); });
                    return;
                }
                c->entrada += c->socket->readAll();
                c->silencio->start();
            });
            QObject::connect(c->silencio, &QTimer::timeout, this, [this, c] { fimDeMensagem(c); });
            QObject::connect(s, &QTcpSocket::disconnected, this, [this, c] {
                {
                    QMutexLocker trava(&mutex);
                    --abertas;
                }
                vivas.removeOne(c);
                c->pendentes.clear();
                c->socket->deleteLater();
                // The connection record goes once nothing of it is scheduled any more.
                QTimer::singleShot(0, this, [c] { delete c; });
            });
            toca(c, inicio);
        }
    }

    void fimDeMensagem(Conexao* c)
    {
        if (c->entrada.isEmpty() && !c->enquadrada)
            return;
        const QString mensagem = Wire::decodifica(c->entrada);
        c->entrada.clear();
        Roteiro roteiro;
        {
            QMutexLocker trava(&mutex);
            QStringList capacidades;
            if (!c->enquadrada && Quadros::leNegociacao(mensagem, capacidades)) {
                ++negociacoes;
                pedidas = capacidades;
                // A server that greets with nothing is silent: it answers no agreement either.
                if (negociacao == ServidorRoteirizado::Negociacao::Ignora || acolhida.isEmpty())
                    return;
                const bool aceita = negociacao == ServidorRoteirizado::Negociacao::Aceita
                                    || negociacao == ServidorRoteirizado::Negociacao::AceitaEmpacotada;
                QStringList aceitas{QLatin1String(Quadros::capacidadeQuadros)};
                if (negociacao == ServidorRoteirizado::Negociacao::AceitaEmpacotada)
                    aceitas << QStringLiteral("zstd");
                for (const QString& extra : std::as_const(capacidadesExtras))
                    if (capacidades.contains(extra))
                        aceitas << extra;
                roteiro = ServidorRoteirizado::responde(aceita ? Quadros::pedidoDeNegociacao(aceitas) : QStringLiteral("0"));
                c->enquadrada = aceita;
                trava.unlock();
                toca(c, roteiro);
                return;
            }
            recebidas.append(mensagem);
            if (mensagem == QLatin1String("1") && !keepAliveTemResposta)
                return;
            roteiro = fila.isEmpty() ? padrao : fila.takeFirst();
        }
        toca(c, roteiro);
    }

    void toca(Conexao* c, const Roteiro& roteiro)
    {
        c->pendentes += roteiro;
        if (!c->tocando)
            proximo(c);
    }

    void proximo(Conexao* c)
    {
        if (!vivas.contains(c) || !c->socket || c->pendentes.isEmpty()) {
            if (vivas.contains(c))
                c->tocando = false;
            return;
        }
        c->tocando = true;
        Acao acao = c->pendentes.takeFirst();
        switch (acao.tipo) {
        case Acao::Tipo::Pausa:
            QTimer::singleShot(acao.pausaMs, this, [this, c] { proximo(c); });
            return;
        case Acao::Tipo::Fecha:
            c->pendentes.clear();
            c->tocando = false;
            c->socket->flush();
            c->socket->disconnectFromHost();
            return;
        case Acao::Tipo::Envia:
            if (acao.pedaco <= 0 || acao.pedaco >= acao.bytes.size()) {
                c->socket->write(acao.bytes);
                c->socket->flush();
                proximo(c);
                return;
            }
            // One piece now, the rest as a new action after the pause.
            c->socket->write(acao.bytes.left(acao.pedaco));
            c->socket->flush();
            Acao resto = acao;
            resto.bytes = acao.bytes.mid(acao.pedaco);
            c->pendentes.prepend(resto);
            QTimer::singleShot(acao.pausaMs, Qt::PreciseTimer, this, [this, c] { proximo(c); });
            return;
        }
    }
};

ServidorRoteirizado::Roteiro ServidorRoteirizado::responde(const QString& texto)
{
    Acao a;
    a.bytes = Wire::codifica(texto);
    return {a};
}

ServidorRoteirizado::Roteiro ServidorRoteirizado::emPedacos(const QString& texto, int bytesPorPedaco, int pausaMs)
{
    Acao a;
    a.bytes = Wire::codifica(texto);
    a.pedaco = qMax(1, bytesPorPedaco);
    a.pausaMs = pausaMs;
    return {a};
}

ServidorRoteirizado::Roteiro ServidorRoteirizado::atrasada(const QString& texto, int atrasoMs)
{
    return pausa(atrasoMs) + responde(texto);
}

ServidorRoteirizado::Roteiro ServidorRoteirizado::lixo(const QByteArray& bytes)
{
    Acao a;
    a.bytes = bytes;
    return {a};
}

ServidorRoteirizado::Roteiro ServidorRoteirizado::pausa(int ms)
{
    Acao a;
    a.tipo = Acao::Tipo::Pausa;
    a.pausaMs = ms;
    return {a};
}

ServidorRoteirizado::Roteiro ServidorRoteirizado::fecha()
{
    Acao a;
    a.tipo = Acao::Tipo::Fecha;
    return {a};
}

ServidorRoteirizado::Roteiro ServidorRoteirizado::derrubaNoMeio(const QString& texto, int bytes)
{
    return lixo(Wire::codifica(texto).left(bytes)) + fecha();
}

ServidorRoteirizado::Roteiro ServidorRoteirizado::emQuadros(const QString& texto, int bytesPorQuadro, int pausaMs)
{
    const QByteArray bytes = Wire::codifica(texto);
    const qsizetype passo = bytesPorQuadro > 0 ? bytesPorQuadro : qMax<qsizetype>(1, bytes.size());
    Roteiro r;
    for (qsizetype i = 0; i < bytes.size(); i += passo) {
        if (i > 0 && pausaMs > 0)
            r += pausa(pausaMs);
        r += lixo(Quadros::quadro(QByteArrayView(bytes).sliced(i, qMin(passo, bytes.size() - i))));
    }
    return r + lixo(Quadros::fim());
}

void ServidorRoteirizado::defineNegociacao(Negociacao modo)
{
    QMutexLocker trava(&m_nucleo->mutex);
    m_nucleo->negociacao = modo;
}

void ServidorRoteirizado::defineCapacidades(const QStringList& capacidades)
{
    QMutexLocker trava(&m_nucleo->mutex);
    m_nucleo->capacidadesExtras = capacidades;
}

QStringList ServidorRoteirizado::capacidadesPedidas() const
{
    QMutexLocker trava(&m_nucleo->mutex);
    return m_nucleo->pedidas;
}

int ServidorRoteirizado::negociacoes() const
{
    QMutexLocker trava(&m_nucleo->mutex);
    return m_nucleo->negociacoes;
}

ServidorRoteirizado::ServidorRoteirizado() : m_nucleo(std::make_unique<Nucleo>())
{
    m_nucleo->moveToThread(&m_nucleo->thread);
    m_nucleo->thread.start();
    QMetaObject::invokeMethod(m_nucleo.get(), [n = m_nucleo.get()] { n->inicia(); }, Qt::BlockingQueuedConnection);
}

ServidorRoteirizado::~ServidorRoteirizado()
{
    QMetaObject::invokeMethod(m_nucleo.get(), [n = m_nucleo.get()] { n->encerra(); }, Qt::BlockingQueuedConnection);
    m_nucleo->thread.quit();
    m_nucleo->thread.wait();
}

quint16 ServidorRoteirizado::porta() const { return m_nucleo->porta; }

void ServidorRoteirizado::definePrimeiraMensagem(const QString& texto)
{
    defineAcolhida(texto.isEmpty() ? Roteiro() : responde(texto));
}

void ServidorRoteirizado::defineAcolhida(const Roteiro& roteiro)
{
    QMutexLocker trava(&m_nucleo->mutex);
    m_nucleo->acolhida = roteiro;
}

void ServidorRoteirizado::aoProximoPedido(const Roteiro& roteiro)
{
    QMutexLocker trava(&m_nucleo->mutex);
    m_nucleo->fila.append(roteiro);
}

void ServidorRoteirizado::defineRoteiroPadrao(const Roteiro& roteiro)
{
    QMutexLocker trava(&m_nucleo->mutex);
    m_nucleo->padrao = roteiro;
}

void ServidorRoteirizado::respondeKeepAlive(bool sim)
{
    QMutexLocker trava(&m_nucleo->mutex);
    m_nucleo->keepAliveTemResposta = sim;
}

void ServidorRoteirizado::defineSilencioDeMensagem(int ms)
{
    QMutexLocker trava(&m_nucleo->mutex);
    m_nucleo->silencioMs = ms;
}

QStringList ServidorRoteirizado::recebidas() const
{
    QMutexLocker trava(&m_nucleo->mutex);
    return m_nucleo->recebidas;
}

int ServidorRoteirizado::conexoes() const
{
    QMutexLocker trava(&m_nucleo->mutex);
    return m_nucleo->conexoes;
}

int ServidorRoteirizado::conexoesAbertas() const
{
    QMutexLocker trava(&m_nucleo->mutex);
    return m_nucleo->abertas;
}

bool ServidorRoteirizado::esperaRecebidas(int n, int ms) const
{
    QDeadlineTimer prazo(ms);
    while (recebidas().size() < n) {
        if (prazo.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void ServidorRoteirizado::derrubaTodas()
{
    QMetaObject::invokeMethod(
        m_nucleo.get(),
        [n = m_nucleo.get()] {
            const auto todas = n->vivas;
            for (auto* c : todas)
                if (c->socket)
                    c->socket->disconnectFromHost();
        },
        Qt::BlockingQueuedConnection);
}
