#include "server/Sessoes.h"
#include "server/store/Banco.h"
#include "server/store/SessoesGravadas.h"
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
    // On SQLite the store's writer writes the row (within a second): a login never waits for
    // the file's write lock behind a stream of saves, where SQLite's polling may starve it.
    const bool peloGravador = !banco->ehPostgres();
    const bool gravou = !peloGravador && SessoesGravadas(*banco).abreSessao(portador.chave, portador.endereco, usuario, compartilhada, agoraMs);
    // A disk that takes no writes does not keep the operator out: the session is kept here
    // until the database takes it.
    if (!gravou && !peloGravador && !banco->falhaDeGravacao())
        return false;
    // Another operator may have had this key before: no hint of that one's department stays.
    {
        QMutexLocker trava(&m_mutex);
        for (auto it = m_dicas.begin(); it != m_dicas.end();)
            it = it.key().startsWith(portador.chave + QLatin1Char('|')) ? m_dicas.erase(it) : std::next(it);
        m_toques.remove(portador.chave);
        m_encerradasAntesDeGravar.remove(portador.chave);
        if (gravou)
            m_porChave.remove(portador.chave);
        else
            m_porChave.insert(portador.chave, {usuario, portador.endereco, idDepartamento, dsDepartamento, compartilhada, agoraMs});
    }
    guardaDica(dica(portador.chave, idDepartamento), dsDepartamento);
    return true;
}

std::optional<QString> Sessoes::autoriza(const Portador& portador, qint32 idDepartamento, qint64 agoraMs, Banco* banco,
                                         QString* usuario)
{
    if (portador.chave.isEmpty() && !portador.porEndereco)
        return std::nullopt;
    if (!m_noBanco) {
        QMutexLocker trava(&m_mutex);
        esquecaAsVencidas(agoraMs);
        const std::optional<Sessao> s = tocaNaMemoria(portador, idDepartamento, agoraMs);
        if (s && usuario)
            *usuario = s->usuario;
        return s ? std::optional(s->dsDepartamento) : std::nullopt;
    }
    if (!banco)
        return std::nullopt;
    SessoesGravadas gravadas(*banco);
    std::optional<Sessao> naMemoria;
    bool chaveNaMemoria = false;
    qint64 desdeChave = agoraMs - m_expiracaoMs, desdeEndereco = desdeChave;
    {
        QMutexLocker trava(&m_mutex);
        naMemoria = tocaNaMemoria(portador, idDepartamento, agoraMs);
        // A session kept here is the key's own: a row under the same key is an earlier
        // operator's on this connection, which must not open its department any more.
        chaveNaMemoria = m_porChave.contains(portador.chave);
        // A clock moved here and not yet written back counts as the database's own.
        if (tocadaDesde(portador.chave, desdeChave))
            desdeChave = 0;
        if (portador.porEndereco && tocadaDesde(QLatin1Char('@') + portador.endereco, desdeEndereco))
            desdeEndereco = 0;
    }
    if (naMemoria) {
        // A session not in the database yet: its operator is, and must still be enabled there.
        std::optional<QString> ds;
        if (!gravadas.operadorNoDepartamento(naMemoria->usuario, idDepartamento, ds))
            return std::nullopt;
        if (ds && usuario)
            *usuario = naMemoria->usuario;
        return ds;
    }
    std::optional<QString> ds;
    bool doEndereco = false;
    qint64 gravadaMs = 0;
    if (!gravadas.autorizaSessao(chaveNaMemoria ? QString() : portador.chave, portador.porEndereco ? portador.endereco : QString(), idDepartamento, desdeChave,
                                 desdeEndereco, ds, doEndereco, gravadaMs, usuario))
        return std::nullopt;
    if (!portador.chave.isEmpty())
        guardaDica(dica(portador.chave, idDepartamento), doEndereco ? std::nullopt : ds);
    if (portador.porEndereco)
        guardaDica(dicaDoEndereco(portador.endereco, idDepartamento), doEndereco ? ds : std::nullopt);
    if (ds) {
        // The session (under the per-address rule, all of the address's shared sessions, as one
        // session of the address) starts its idle clock again; the writer writes it back.
        QMutexLocker trava(&m_mutex);
        Toque& t = m_toques[doEndereco ? QLatin1Char('@') + portador.endereco : portador.chave];
        t.tocadaMs = agoraMs;
        t.gravadaMs = std::max(t.gravadaMs, gravadaMs);
    }
    return ds;
}

std::optional<Sessoes::Sessao> Sessoes::tocaNaMemoria(const Portador& portador, qint32 idDepartamento, qint64 agoraMs)
{
    const auto vale = [&](Sessao& s) { return s.idDepartamento == idDepartamento && agoraMs - s.ultimaAtividadeMs <= m_expiracaoMs; };
    if (const auto it = m_porChave.find(portador.chave); it != m_porChave.end()) {
        if (agoraMs - it->ultimaAtividadeMs > m_expiracaoMs) {
            m_porChave.erase(it);
        } else if (vale(*it)) {
            it->ultimaAtividadeMs = agoraMs;
            return *it;
        }
    }
    if (!portador.porEndereco)
        return std::nullopt;
    for (Sessao& s : m_porChave) {
        if (s.compartilhada && s.endereco == portador.endereco && vale(s)) {
            s.ultimaAtividadeMs = agoraMs;
            return s;
        }
    }
    return std::nullopt;
}

bool Sessoes::tocadaDesde(const QString& alvo, qint64 desdeMs) const
{
    const auto it = m_toques.constFind(alvo);
    return it != m_toques.cend() && it->tocadaMs >= desdeMs;
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
    qint64 desde = agoraMs - m_expiracaoMs;
    {
        QMutexLocker trava(&m_mutex);
        if (const auto it = m_porChave.constFind(chave); it != m_porChave.cend() && it->ultimaAtividadeMs >= desde)
            return true;
        if (tocadaDesde(chave, desde))
            desde = 0;
    }
    bool v = false;
    if (!banco || !SessoesGravadas(*banco).sessaoViva(chave, desde, v)) {
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
        if (m_porChave.remove(chave) && m_noBanco)
            m_encerradasAntesDeGravar.insert(chave);
        m_toques.remove(chave);
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

std::optional<qint32> Sessoes::departamentoDa(const Portador& portador, Banco* banco)
{
    if (portador.chave.isEmpty())
        return std::nullopt;
    {
        // Sessions kept here include those whose rows the database has not taken yet.
        QMutexLocker trava(&m_mutex);
        const auto it = m_porChave.constFind(portador.chave);
        if (it != m_porChave.cend())
            return it->idDepartamento;
        if (!m_noBanco)
            return std::nullopt;
    }
    std::optional<qint32> dep;
    if (!banco || !SessoesGravadas(*banco).departamentoDaSessao(portador.chave, dep))
        return std::nullopt;
    return dep;
}

void Sessoes::gravaPendentes(Banco& banco, qint64 agoraMs, bool agora)
{
    if (!m_noBanco)
        return;
    const qint64 passo = std::min<qint64>(60'000, m_expiracaoMs / 10);
    QList<QPair<QString, qint64>> toques;
    QList<QPair<QString, Sessao>> pendentes;
    {
        QMutexLocker trava(&m_mutex);
        if (!agora && agoraMs - m_ultimaGravacaoMs < 1000)
            return;
        m_ultimaGravacaoMs = agoraMs;
        // Rows are written only below: those ended before now have none.
        m_encerradasAntesDeGravar.clear();
        for (auto it = m_toques.begin(); it != m_toques.end();) {
            if (agoraMs - it->tocadaMs > m_expiracaoMs) {
                it = m_toques.erase(it);
                continue;
            }
            if (it->tocadaMs - it->gravadaMs >= passo)
                toques.append({it.key(), it->tocadaMs});
            ++it;
        }
        for (auto it = m_porChave.begin(); it != m_porChave.end();) {
            if (agoraMs - it->ultimaAtividadeMs > m_expiracaoMs) {
                it = m_porChave.erase(it);
                continue;
            }
            pendentes.append({it.key(), *it});
            ++it;
        }
    }
    // At the first failure the rest waits for the next call: the disk is still refusing.
    SessoesGravadas gravadas(banco);
    for (const auto& [alvo, quando] : std::as_const(toques)) {
        const bool doEndereco = alvo.startsWith(u'@');
        if (!gravadas.tocaSessao(doEndereco ? alvo.mid(1) : alvo, doEndereco, quando))
            return;
        QMutexLocker trava(&m_mutex);
        if (const auto it = m_toques.find(alvo); it != m_toques.end())
            it->gravadaMs = std::max(it->gravadaMs, quando);
    }
    for (const auto& [chave, s] : std::as_const(pendentes)) {
        if (!gravadas.abreSessao(chave, s.endereco, s.usuario, s.compartilhada, s.ultimaAtividadeMs))
            return;
        bool encerrada = false;
        {
            QMutexLocker trava(&m_mutex);
            encerrada = m_encerradasAntesDeGravar.remove(chave);
            // (Taken by another login meanwhile, it stays to be written as that one.)
            const auto it = m_porChave.find(chave);
            if (!encerrada && it != m_porChave.end() && it->usuario == s.usuario && it->idDepartamento == s.idDepartamento) {
                m_toques.insert(chave, {it->ultimaAtividadeMs, s.ultimaAtividadeMs});
                m_porChave.erase(it);
            }
        }
        // Ended while its row was being written: the row goes.
        if (encerrada && !gravadas.encerraSessao(chave))
            return;
    }
    if (varreduraDevida(agoraMs))
        gravadas.esqueceSessoesVencidas(agoraMs - m_expiracaoMs);
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
