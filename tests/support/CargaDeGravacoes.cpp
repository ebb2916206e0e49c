#include "CargaDeGravacoes.h"
#include "Pedidos.h"
#include "RespostaInteira.h"

#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"

#include <QEventLoop>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTimer>

struct CargaDeGravacoes::Linha {
    int indice = 0;
    const ServidorReal* servidor = nullptr;
    QTcpSocket socket;
    QByteArray lido;
    qint64 enviadoMs = -1;   // the save under way (-1: none)
};

qint32 CargaDeGravacoes::Resposta::numero() const
{
    clsAgenda f;
    f.fromPipeStringWithCommand(Wire::decodifica(texto));
    return f.numeroFicha;
}

CargaDeGravacoes::CargaDeGravacoes(const QList<const ServidorReal*>& servidores, int conexoes) : m_servidores(servidores)
{
    m_relogio.start();
    for (int i = 0; i < conexoes; ++i) {
        auto l = std::make_unique<Linha>();
        l->indice = i;
        l->servidor = servidores[i % servidores.size()];
        m_linhas.push_back(std::move(l));
    }
}

CargaDeGravacoes::~CargaDeGravacoes() = default;

QSet<qint32> CargaDeGravacoes::reconhecidas(int* repetidas) const
{
    QSet<qint32> numeros;
    int duas = 0;
    for (const Resposta& r : m_respostas) {
        if (!r.gravou())
            continue;
        const qint32 n = r.numero();
        if (numeros.contains(n))
            ++duas;
        numeros.insert(n);
    }
    if (repetidas)
        *repetidas = duas;
    return numeros;
}

QSet<qint32> CargaDeGravacoes::faltamEm(ServidorReal& servidor, const QString& tabela, const QSet<qint32>& numeros)
{
    QVariant v;
    if (!servidor.executaNoBanco({QStringLiteral("SELECT string_agg(DISTINCT numeroficha::text, ',') FROM ") + tabela}, &v))
        return numeros;
    QSet<qint32> faltam = numeros;
    for (const QString& n : v.toString().split(u',', Qt::SkipEmptyParts))
        faltam.remove(n.toInt());
    return faltam;
}

namespace {

// One reply on a blocking socket: whole, or whatever came before the stream went quiet.
QByteArray pedeEsperando(QTcpSocket& s, const QString& mensagem)
{
    s.write(Wire::codifica(mensagem));
    QByteArray r;
    const QDeadlineTimer prazo(10'000);
    while (!respostaInteira(r) && !prazo.hasExpired() && s.waitForReadyRead(r.isEmpty() ? 10'000 : 100))
        r += s.readAll();
    return r;
}

} // namespace

bool CargaDeGravacoes::prepara()
{
    for (auto& l : m_linhas) {
        l->socket.connectToHost(l->servidor->host(), l->servidor->porta());
        if (!l->socket.waitForConnected(5000) || !l->socket.waitForReadyRead(5000) || l->socket.read(1) != "2") {
            m_erro = QStringLiteral("conexão %1 sem saudação").arg(l->indice);
            return false;
        }
        l->socket.write(Wire::codifica(QStringLiteral("99|zelto|1|sessao")));
        QByteArray acordo;
        while (l->socket.waitForReadyRead(acordo.isEmpty() ? 5000 : 100))
            acordo += l->socket.readAll();
        if (!acordo.startsWith("99|zelto|1|sessao=")) {
            m_erro = QStringLiteral("conexão %1 sem sessão: %2").arg(l->indice).arg(QString::fromLatin1(acordo));
            return false;
        }
        m_segredos << QString::fromLatin1(acordo.mid(18, 64));
        const ServidorReal::Conta& c = l->servidor->conta();
        const QByteArray r = pedeEsperando(l->socket, pedidoDeLogin(c.usuario, c.senha));
        if (!r.startsWith("4|")) {
            m_erro = QStringLiteral("conexão %1: login recusado (%2)").arg(l->indice).arg(QString::fromLatin1(r));
            return false;
        }
    }
    return true;
}

void CargaDeGravacoes::envia(Linha& l)
{
    clsAgenda f;
    f.nome = QStringLiteral("Carga %1-%2").arg(l.indice).arg(m_seguinte++);
    f.Data = QDate(2022, 4, 9);
    f.Valor = 10.5;
    f.cidade = QStringLiteral("Goiânia");
    f.departamento.idDepartamento = l.servidor->conta().idDepartamento;
    l.enviadoMs = agoraMs();
    l.socket.write(Wire::codifica(f.toPipeStringWithCommand(Codigo::Salva)));
}

void CargaDeGravacoes::comeca()
{
    for (auto& linha : m_linhas) {
        Linha* l = linha.get();
        QObject::connect(&l->socket, &QTcpSocket::readyRead, &l->socket, [this, l] {
            l->lido += l->socket.readAll();
            if (!respostaInteira(l->lido) || l->enviadoMs < 0)
                return;
            m_respostas.append({l->indice, l->enviadoMs, agoraMs(), std::exchange(l->lido, {})});
            l->enviadoMs = -1;
            if (!m_parando)
                envia(*l);
        });
        envia(*l);
    }
}

void CargaDeGravacoes::espera(int ms)
{
    QEventLoop laco;
    QTimer::singleShot(ms, &laco, &QEventLoop::quit);
    laco.exec();
}

bool CargaDeGravacoes::termina(int prazoMs)
{
    m_parando = true;
    const QDeadlineTimer prazo(prazoMs);
    const auto emCurso = [this] {
        for (const auto& l : m_linhas)
            if (l->enviadoMs >= 0 && l->socket.state() == QAbstractSocket::ConnectedState)
                return true;
        return false;
    };
    while (emCurso() && !prazo.hasExpired())
        espera(5);
    for (auto& l : m_linhas)
        QObject::disconnect(&l->socket, nullptr, nullptr, nullptr);
    return !emCurso();
}
