#include "server/Sessoes.h"
#include "server/SessoesGravadas.h"
#include "protocol/Quadros.h"

#include <sodium.h>

#include <limits>

namespace {

QString dica(const QString& chave, qint32 idDepartamento)
{
    return chave + QLatin1Char('|') + QString::number(idDepartamento);
}

// Shared sessions of an address are hinted under the address, kept apart from the keys.
QString dicaDoEndereco(const QString& endereco, qint32 idDepartamento)
{
    return QLatin1Char('@') + endereco + QLatin1Char('|') + QString::number(idDepartamento);
}

} // namespace

QString Sessoes::chave(const QHostAddress& endereco)
{
    bool ok = false;
    const quint32 v4 = endereco.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : endereco.toString();
}

QString Sessoes::novoSegredo()
{
    unsigned char bytes[32];
    // randombytes_buf is safe to call before (or without) sodium_init.
    randombytes_buf(bytes, sizeof bytes);
    const QString s = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex());
    sodium_memzero(bytes, sizeof bytes);
    return s;
}

bool Sessoes::pareceSegredo(QStringView texto)
{
    return Quadros::pareceSegredo(texto);
}

QString Sessoes::chaveDoSegredo(QStringView segredo)
{
    const QByteArray bytes = segredo.toLatin1();
    unsigned char hash[crypto_generichash_BYTES];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()), nullptr, 0);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(hash), sizeof hash).toHex());
}

bool Sessoes::abre(const Portador& portador, const QString& usuario, qint32 idDepartamento, const QString& dsDepartamento,
                   qint64 agoraMs, Banco* banco, bool compartilhada)
{
    if (portador.chave.isEmpty())
        return false;
    if (!m_noBanco) {
        QMutexLocker trava(&m_mutex);
        esquecaAsVencidas(agoraMs);
        m_porChave.insert(portador.chave, {usuario, portador.endereco, idDepartamento, dsDepartamento, compartilhada, agoraMs});
        return true;
    }
    if (!banco)
        return false;
    SessoesGravadas gravadas(*banco);
    if (varreduraDevida(agoraMs))
        gravadas.esqueceSessoesVencidas(agoraMs - m_expiracaoMs);
    if (!gravadas.abreSessao(portador.chave, portador.endereco, usuario, compartilhada, agoraMs))
        return false;
    // Another operator may have had this key before: no hint of that one's department stays.
    {
        QMutexLocker trava(&m_mutex);
        for (auto it = m_dicas.begin(); it != m_dicas.end();)
            it = it.key().startsWith(portador.chave + QLatin1Char('|')) ? m_dicas.erase(it) : std::next(it);
    }
    guardaDica(dica(portador.chave, idDepartamento), dsDepartamento);
    return true;
}

std::optional<QString> Sessoes::autoriza(const Portador& portador, qint32 idDepartamento, qint64 agoraMs, Banco* banco,
                                         QString* usuario)
{
    if (portador.chave.isEmpty() && !portador.porEndereco)
        return std::nullopt;
    if (m_noBanco) {
        if (!banco)
            return std::nullopt;
        SessoesGravadas gravadas(*banco);
        if (varreduraDevida(agoraMs))
            gravadas.esqueceSessoesVencidas(agoraMs - m_expiracaoMs);
        std::optional<QString> ds;
        bool doEndereco = false;
        const qint64 passo = std::min<qint64>(60'000, m_expiracaoMs / 10);
        if (!gravadas.autorizaSessao(portador.chave, portador.porEndereco ? portador.endereco : QString(), idDepartamento,
                                     agoraMs - m_expiracaoMs, agoraMs - passo, agoraMs, ds, doEndereco, usuario))
            return std::nullopt;
        if (!portador.chave.isEmpty())
            guardaDica(dica(portador.chave, idDepartamento), doEndereco ? std::nullopt : ds);
        if (portador.porEndereco)
            guardaDica(dicaDoEndereco(portador.endereco, idDepartamento), doEndereco ? ds : std::nullopt);
        return ds;
    }
    QMutexLocker trava(&m_mutex);
    esquecaAsVencidas(agoraMs);
    const auto vale = [&](Sessao& s) { return s.idDepartamento == idDepartamento && agoraMs - s.ultimaAtividadeMs <= m_expiracaoMs; };
    if (const auto it = m_porChave.find(portador.chave); it != m_porChave.end()) {
        if (agoraMs - it->ultimaAtividadeMs > m_expiracaoMs) {
            m_porChave.erase(it);
        } else if (vale(*it)) {
            it->ultimaAtividadeMs = agoraMs;
            if (usuario)
                *usuario = it->usuario;
            return it->dsDepartamento;
        }
    }
    if (!portador.porEndereco)
        return std::nullopt;
    for (Sessao& s : m_porChave) {
        if (s.compartilhada && s.endereco == portador.endereco && vale(s)) {
            s.ultimaAtividadeMs = agoraMs;
            if (usuario)
                *usuario = s.usuario;
            return s.dsDepartamento;
        }
    }
    return std::nullopt;
}

std::optional<qint32> Sessoes::departamentoDa(const Portador& portador, Banco* banco)
{
    if (portador.chave.isEmpty())
        return std::nullopt;
    if (!m_noBanco) {
        QMutexLocker trava(&m_mutex);
        const auto it = m_porChave.constFind(portador.chave);
        return it == m_porChave.cend() ? std::nullopt : std::optional(it->idDepartamento);
    }
    std::optional<qint32> dep;
    if (!banco || !SessoesGravadas(*banco).departamentoDaSessao(portador.chave, dep))
        return std::nullopt;
    return dep;
}

std::optional<QString> Sessoes::consulta(const Portador& portador, qint32 idDepartamento, qint64 agoraMs) const
{
    QMutexLocker trava(&m_mutex);
    if (m_noBanco) {
        if (!portador.chave.isEmpty())
            if (const auto it = m_dicas.constFind(dica(portador.chave, idDepartamento)); it != m_dicas.cend())
                return *it;
        if (portador.porEndereco)
            if (const auto it = m_dicas.constFind(dicaDoEndereco(portador.endereco, idDepartamento)); it != m_dicas.cend())
                return *it;
        return std::nullopt;
    }
    const auto vale = [&](const Sessao& s) { return s.idDepartamento == idDepartamento && agoraMs - s.ultimaAtividadeMs <= m_expiracaoMs; };
    if (const auto it = m_porChave.constFind(portador.chave); it != m_porChave.cend() && vale(*it))
        return it->dsDepartamento;
    if (portador.porEndereco)
        for (const Sessao& s : m_porChave)
            if (s.compartilhada && s.endereco == portador.endereco && vale(s))
                return s.dsDepartamento;
    return std::nullopt;
}

bool Sessoes::viva(const QString& chave, qint64 agoraMs, Banco* banco, bool& erro)
{
    erro = false;
    if (chave.isEmpty())
        return false;
    if (!m_noBanco) {
        QMutexLocker trava(&m_mutex);
        const auto it = m_porChave.constFind(chave);
        return it != m_porChave.cend() && agoraMs - it->ultimaAtividadeMs <= m_expiracaoMs;
    }
    bool v = false;
    if (!banco || !SessoesGravadas(*banco).sessaoViva(chave, agoraMs - m_expiracaoMs, v)) {
        erro = true;
        return false;
    }
    return v;
}

bool Sessoes::encerra(const QString& chave, Banco* banco)
{
    QString usuario, endereco;
    {
        QMutexLocker trava(&m_mutex);
        if (const auto it = m_porChave.constFind(chave); it != m_porChave.cend()) {
            usuario = it->usuario;
            endereco = it->endereco;
        }
        m_porChave.remove(chave);
        for (auto it = m_dicas.begin(); it != m_dicas.end();)
            it = it.key().startsWith(chave + QLatin1Char('|')) ? m_dicas.erase(it) : std::next(it);
    }
    bool ok = true;
    if (m_noBanco && !chave.isEmpty())
        ok = banco && SessoesGravadas(*banco).encerraSessao(chave, m_aoEncerrar ? &usuario : nullptr, m_aoEncerrar ? &endereco : nullptr);
    if (ok && m_aoEncerrar && !usuario.isEmpty())
        m_aoEncerrar(usuario, endereco);
    return ok;
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
    for (auto it = m_porChave.begin(); it != m_porChave.end();) {
        if (agoraMs - it->ultimaAtividadeMs > m_expiracaoMs)
            it = m_porChave.erase(it);
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

void TentativasDeLogin::devolve(const QString& usuario, const QHostAddress& endereco)
{
    const auto it = m_registros.find(chave(usuario, endereco));
    if (it == m_registros.end())
        return;
    if (--it->falhas <= 0)
        m_registros.erase(it);
    else if (it->falhas < m_livres)
        it->liberadoEmMs = 0;
}

void TentativasDeLogin::acertou(const QString& usuario, const QHostAddress& endereco)
{
    m_registros.remove(chave(usuario, endereco));
}
