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
    esquecaAsVencidas(agoraMs);
    Sessao& s = m_porEndereco[chave(endereco)];
    if (agoraMs - s.ultimaAtividadeMs > m_expiracaoMs)
        s.departamentos.clear();
    s.departamentos.insert(idDepartamento, dsDepartamento);
    s.ultimaAtividadeMs = agoraMs;
}

bool Sessoes::abre(const QHostAddress& endereco, const QString& usuario, qint32 idDepartamento, const QString& dsDepartamento,
                   qint64 agoraMs)
{
    if (!m_armazem) {
        abre(endereco, idDepartamento, dsDepartamento, agoraMs);
        return true;
    }
    esquecaAsVencidas(agoraMs);
    if (!m_armazem->abreSessao(chave(endereco), usuario, QByteArray(), agoraMs))
        return false;
    if (m_dicas.size() > 10'000)
        m_dicas.clear();
    m_dicas.insert(chave(endereco) + QLatin1Char('|') + QString::number(idDepartamento), dsDepartamento);
    return true;
}

std::optional<QString> Sessoes::autoriza(const QHostAddress& endereco, qint32 idDepartamento, qint64 agoraMs)
{
    if (m_armazem) {
        std::optional<QString> ds;
        const qint64 passo = std::min<qint64>(60'000, m_expiracaoMs / 10);
        const QString c = chave(endereco);
        if (!m_armazem->autorizaSessao(c, idDepartamento, agoraMs - m_expiracaoMs, agoraMs - passo, agoraMs, ds))
            return std::nullopt;
        const QString dica = c + QLatin1Char('|') + QString::number(idDepartamento);
        if (ds) {
            if (m_dicas.size() > 10'000)
                m_dicas.clear();
            m_dicas.insert(dica, *ds);
        } else {
            m_dicas.remove(dica);
        }
        return ds;
    }
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
    if (m_armazem) {
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

void Sessoes::esquecaAsVencidas(qint64 agoraMs)
{
    // A sweep a minute is plenty: a stale entry is refused on use anyway.
    if (agoraMs - m_ultimaLimpezaMs < 60'000)
        return;
    m_ultimaLimpezaMs = agoraMs;
    if (m_armazem) {
        m_armazem->esqueceSessoesVencidas(agoraMs - m_expiracaoMs);
        return;
    }
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
