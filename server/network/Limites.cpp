#include "server/network/Limites.h"

#include <QDir>

#include <algorithm>
#include <iterator>
#include <utility>
#include <sys/resource.h>

namespace Limites {

qint64 elevaLimiteDeArquivos()
{
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0)
        return 0;
    if (r.rlim_cur != r.rlim_max) {
        rlimit novo = r;
        novo.rlim_cur = r.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &novo) == 0)
            r = novo;
    }
    // "Unlimited" is not a figure a connection count can use.
    if (r.rlim_cur == RLIM_INFINITY || r.rlim_cur > rlim_t(1) << 30)
        return qint64(1) << 30;
    return qint64(r.rlim_cur);
}

qint64 arquivosAbertos()
{
    // Each entry of /proc/self/fd is one open file; the listing itself holds one more.
    const qint64 n = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
    return std::max<qint64>(0, n - 1);
}

int tetoDeConexoes(qint64 arquivos, int conexoesAoBanco)
{
    // SQLite keeps up to three files per connection (database, journal, shared memory).
    const qint64 reserva = 64 + 4LL * std::max(0, conexoesAoBanco);
    return int(std::clamp<qint64>(arquivos - reserva, 16, 1 << 24));
}

} // namespace Limites

void BaldeDeLogins::enche(Balde& b, qint64 agoraMs) const
{
    if (agoraMs > b.ultimaMs)
        b.fichas = std::min<double>(m_rajada, b.fichas + double(agoraMs - b.ultimaMs) * m_porMinuto / 60'000.0);
    b.ultimaMs = agoraMs;
}

bool BaldeDeLogins::tira(const QString& endereco, qint64 agoraMs)
{
    if (agoraMs - m_ultimaLimpezaMs > 60'000 || m_baldes.size() > 100'000) {
        m_ultimaLimpezaMs = agoraMs;
        for (auto it = m_baldes.begin(); it != m_baldes.end();) {
            enche(*it, agoraMs);
            it = it->fichas >= m_rajada ? m_baldes.erase(it) : std::next(it);
        }
    }
    auto it = m_baldes.find(endereco);
    if (it == m_baldes.end())
        it = m_baldes.insert(endereco, Balde{double(m_rajada), agoraMs});
    enche(*it, agoraMs);
    if (it->fichas < 1)
        return false;
    it->fichas -= 1;
    return true;
}

void BaldeDeLogins::devolve(const QString& endereco, qint64 agoraMs)
{
    const auto it = m_baldes.find(endereco);
    if (it == m_baldes.end())
        return;
    enche(*it, agoraMs);
    it->fichas = std::min<double>(m_rajada, it->fichas + 1);
}

bool AvisosDeLimite::pode(const QString& tipo, qint64 agoraMs, qint64& omitidos)
{
    Aviso& a = m_avisos[tipo];
    if (agoraMs - a.ultimoMs < 1000) {
        ++a.omitidos;
        return false;
    }
    omitidos = std::exchange(a.omitidos, 0);
    a.ultimoMs = agoraMs;
    return true;
}

bool FilaDeSenhas::entra(const QString& endereco)
{
    QMutexLocker trava(&m_mutex);
    if (m_total >= m_maximo)
        return false;
    int& desse = m_porEndereco[endereco];
    if (desse >= m_maximoPorEndereco) {
        if (desse == 0)
            m_porEndereco.remove(endereco);
        return false;
    }
    ++desse;
    ++m_total;
    return true;
}

void FilaDeSenhas::sai(const QString& endereco)
{
    QMutexLocker trava(&m_mutex);
    const auto it = m_porEndereco.find(endereco);
    if (it == m_porEndereco.end())
        return;
    --m_total;
    if (--*it <= 0)
        m_porEndereco.erase(it);
}

int FilaDeSenhas::total() const
{
    QMutexLocker trava(&m_mutex);
    return m_total;
}

void TamanhoDoPedido::entrou(const QString& endereco, qint64 agoraMs)
{
    if (m_enderecosComLogin.size() > 10'000) {
        for (auto it = m_enderecosComLogin.begin(); it != m_enderecosComLogin.end();)
            it = agoraMs - *it > m_sessaoMs ? m_enderecosComLogin.erase(it) : std::next(it);
    }
    m_enderecosComLogin.insert(endereco, agoraMs);
}

qsizetype TamanhoDoPedido::maximo(bool autenticada, const QString& endereco, qint64 agoraMs) const
{
    if (autenticada)
        return m_maior;
    if (!m_porEndereco)
        return m_semLogin;
    const auto it = m_enderecosComLogin.constFind(endereco);
    if (it != m_enderecosComLogin.cend() && agoraMs - *it < m_sessaoMs)
        return m_maior;
    return m_semLogin;
}
