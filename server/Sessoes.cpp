#include "server/Sessoes.h"
#include "server/Armazem.h"

#include <limits>

QString Sessoes::chave(const QHostAddress& endereco)
{
    bool ok = false;
    const quint32 v4 = endereco.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : endereco.toString();
}

void Sessoes::abre(const QHostAddress& endereco, qint32 idDepartamento, const QString& dsDepartamento, qint64 agoraMs)
{
    QMutexLocker trava(&m_mutex);
    esquecaAsVencidas(agoraMs);
    Sessao& s = m_porEndereco[chave(endereco)];
    if (agoraMs - s.ultimaAtividadeMs > m_expiracaoMs)
        s.departamentos.clear();
    s.departamentos.insert(idDepartamento, dsDepartamento);
    s.ultimaAtividadeMs = agoraMs;
}

bool Sessoes::abre(const QHostAddress& endereco, const QString& usuario, qint32 idDepartamento, const QString& dsDepartamento,
                   qint64 agoraMs, Armazem* armazem)
{
    if (!m_noBanco) {
        abre(endereco, idDepartamento, dsDepartamento, agoraMs);
        return true;
    }
    if (!armazem)
        return false;
    if (varreduraDevida(agoraMs))
        armazem->esqueceSessoesVencidas(agoraMs - m_expiracaoMs);
    if (!armazem->abreSessao(chave(endereco), usuario, QByteArray(), agoraMs))
        return false;
    guardaDica(chave(endereco) + QLatin1Char('|') + QString::number(idDepartamento), dsDepartamento);
    return true;
}

std::optional<QString> Sessoes::autoriza(const QHostAddress& endereco, qint32 idDepartamento, qint64 agoraMs, Armazem* armazem)
{
    if (m_noBanco) {
        if (!armazem)
            return std::nullopt;
        if (varreduraDevida(agoraMs))
            armazem->esqueceSessoesVencidas(agoraMs - m_expiracaoMs);
        std::optional<QString> ds;
        const qint64 passo = std::min<qint64>(60'000, m_expiracaoMs / 10);
        const QString c = chave(endereco);
        if (!armazem->autorizaSessao(c, idDepartamento, agoraMs - m_expiracaoMs, agoraMs - passo, agoraMs, ds))
            return std::nullopt;
        guardaDica(c + QLatin1Char('|') + QString::number(idDepartamento), ds);
        return ds;
    }
    QMutexLocker trava(&m_mutex);
    esquecaAsVencidas(agoraMs);
    const auto it = m_porEndereco.find(chave(endereco));
    if (it == m_porEndereco.end())
        return std::nullopt;
    if (agoraMs - it->ultimaAtividadeMs > m_expiracaoMs) {
        m_porEndereco.erase(it);
        return std::nullopt;
    }
    const auto dep = it->departamentos.constFind(idDepartamento);
    if (dep == it->departamentos.cend())
        return std::nullopt;
    it->ultimaAtividadeMs = agoraMs;
    return *dep;
}

std::optional<QString> Sessoes::consulta(const QHostAddress& endereco, qint32 idDepartamento, qint64 agoraMs) const
{
    QMutexLocker trava(&m_mutex);
    if (m_noBanco) {
        const auto it = m_dicas.constFind(chave(endereco) + QLatin1Char('|') + QString::number(idDepartamento));
        return it == m_dicas.cend() ? std::nullopt : std::optional<QString>(*it);
    }
    const auto it = m_porEndereco.constFind(chave(endereco));
    if (it == m_porEndereco.cend() || agoraMs - it->ultimaAtividadeMs > m_expiracaoMs)
        return std::nullopt;
    const auto dep = it->departamentos.constFind(idDepartamento);
    if (dep == it->departamentos.cend())
        return std::nullopt;
    return *dep;
}

void Sessoes::guardaDica(const QString& dica, const std::optional<QString>& ds)
{
    QMutexLocker trava(&m_mutex);
    if (!ds) {
        m_dicas.remove(dica);
        return;
    }
    if (m_dicas.size() > 10'000)
        m_dicas.clear();
    m_dicas.insert(dica, *ds);
}

bool Sessoes::varreduraDevida(qint64 agoraMs)
{
    // A sweep a minute is plenty: a stale entry is refused on use anyway.
    QMutexLocker trava(&m_mutex);
    if (agoraMs - m_ultimaLimpezaMs < 60'000)
        return false;
    m_ultimaLimpezaMs = agoraMs;
    return true;
}

void Sessoes::esquecaAsVencidas(qint64 agoraMs)
{
    // Called with the lock held, for the sessions kept in memory.
    if (agoraMs - m_ultimaLimpezaMs < 60'000)
        return;
    m_ultimaLimpezaMs = agoraMs;
    for (auto it = m_porEndereco.begin(); it != m_porEndereco.end();) {
        if (agoraMs - it->ultimaAtividadeMs > m_expiracaoMs)
            it = m_porEndereco.erase(it);
        else
            ++it;
    }
}

QString TentativasDeLogin::chave(const QString& usuario, const QHostAddress& endereco)
{
    return Sessoes::chave(endereco) + QLatin1Char('\n') + usuario;
}

bool TentativasDeLogin::bloqueado(const QString& usuario, const QHostAddress& endereco, qint64 agoraMs) const
{
    const auto it = m_registros.constFind(chave(usuario, endereco));
    return it != m_registros.cend() && agoraMs < it->liberadoEmMs;
}

void TentativasDeLogin::cobra(const QString& usuario, const QHostAddress& endereco, qint64 agoraMs)
{
    // Pairs quiet for a day are forgotten, so the table cannot grow without bound.
    if (m_registros.size() > 10'000) {
        for (auto it = m_registros.begin(); it != m_registros.end();)
            it = agoraMs - it->ultimaMs > 24 * 3600'000LL ? m_registros.erase(it) : std::next(it);
    }
    Registro& r = m_registros[chave(usuario, endereco)];
    ++r.falhas;
    r.ultimaMs = agoraMs;
    if (r.falhas >= m_livres) {
        const int excesso = std::min(r.falhas - m_livres, 20);
        r.liberadoEmMs = agoraMs + std::min(m_bloqueioInicialMs << excesso, m_bloqueioMaximoMs);
    }
}

void TentativasDeLogin::acertou(const QString& usuario, const QHostAddress& endereco)
{
    m_registros.remove(chave(usuario, endereco));
}
