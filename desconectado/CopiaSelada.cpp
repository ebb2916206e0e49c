// A desk's sealed copy of its department (see CopiaSelada.h).
#include "desconectado/CopiaSelada.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

namespace {

QString pastaDeTeste;

constexpr qint64 msPorDia = 24LL * 60 * 60 * 1000;

// What the verifier seals: the copy belongs to this operator and opens with this password.
QByteArray textoDoVerificador(const QString& usuario)
{
    return "zelto-copia|" + usuario.toLower().toUtf8();
}

QByteArray lugarDaFicha(qint32 numero, char coluna)
{
    return "ficha|" + QByteArray::number(numero) + '|' + coluna;
}

QByteArray lugarDoValor(const QString& chave)
{
    return "valor|" + chave.toUtf8();
}

bool executa(QSqlDatabase& banco, const QString& sql, const QVariantList& valores = {})
{
    QSqlQuery q(banco);
    if (!q.prepare(sql))
        return false;
    for (const QVariant& v : valores)
        q.addBindValue(v);
    return q.exec();
}

} // namespace

CopiaSelada::CopiaSelada()
{
    m_conexao = QStringLiteral("copia-selada-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

CopiaSelada::~CopiaSelada()
{
    fecha();
}

void CopiaSelada::fecha()
{
    if (m_banco.isValid()) {
        m_banco.close();
        m_banco = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_conexao);
    }
    m_nomes.clear();
    m_numero = 0;
    m_contatoMs = 0;
}

void CopiaSelada::definePastaParaTeste(const QString& pasta)
{
    pastaDeTeste = pasta;
}

QString CopiaSelada::arquivoDe(const QString& usuario)
{
    const QString pasta = pastaDeTeste.isEmpty()
                              ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/zelto/desconectado")
                              : pastaDeTeste;
    const QByteArray nome = QCryptographicHash::hash("zelto|" + usuario.toLower().toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return pasta + QLatin1Char('/') + QString::fromLatin1(nome) + QStringLiteral(".copia");
}

bool CopiaSelada::existe(const QString& usuario)
{
    return QFile::exists(arquivoDe(usuario));
}

bool CopiaSelada::apaga(const QString& usuario)
{
    const QString arquivo = arquivoDe(usuario);
    bool ok = true;
    for (const QString& f : {arquivo, arquivo + QStringLiteral("-journal"), arquivo + QStringLiteral("-wal"), arquivo + QStringLiteral("-shm")})
        if (QFile::exists(f))
            ok = QFile::remove(f) && ok;
    return ok;
}

QString CopiaSelada::mensagem(Estado estado)
{
    switch (estado) {
    case Estado::Aberta:
        return {};
    case Estado::Inexistente:
        return QStringLiteral("Este computador não tem cópia das fichas deste usuário para trabalhar sem conexão. "
                              "Entre uma vez com o servidor no ar.");
    case Estado::SenhaErrada:
        return QStringLiteral("Usuário ou senha não conferem com a cópia deste computador.");
    case Estado::Vencida:
        return QStringLiteral("A cópia deste computador está há tempo demais sem ver o servidor e não abre mais. "
                              "Entre com o servidor no ar.");
    case Estado::Danificada:
        return QStringLiteral("A cópia das fichas deste computador não pôde ser lida.");
    }
    return {};
}

bool CopiaSelada::abreArquivo(const QString& arquivo)
{
    fecha();
    QDir().mkpath(QFileInfo(arquivo).absolutePath());
    m_banco = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_conexao);
    m_banco.setDatabaseName(arquivo);
    if (!m_banco.open())
        return false;
    // Only its owner reads it (the seal is the real guard; this keeps it from other accounts too).
    QFile::setPermissions(arquivo, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // A change is on the disk before the window says it was saved.
    return executa(m_banco, QStringLiteral("PRAGMA synchronous=FULL")) && criaTabelas();
}

bool CopiaSelada::criaTabelas()
{
    const QStringList tabelas{
        QStringLiteral("CREATE TABLE IF NOT EXISTS selo (chave TEXT PRIMARY KEY, valor BLOB NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS fichas (numero INTEGER PRIMARY KEY, versao INTEGER NOT NULL, "
                       "nome BLOB NOT NULL, dados BLOB NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS diario (ordem INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT NOT NULL UNIQUE, "
                       "numero INTEGER NOT NULL, base INTEGER NOT NULL, dados BLOB NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS conflitos (id TEXT PRIMARY KEY, numero INTEGER NOT NULL, dados BLOB NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS leituras (ordem INTEGER PRIMARY KEY AUTOINCREMENT, dados BLOB NOT NULL)"),
    };
    for (const QString& t : tabelas)
        if (!executa(m_banco, t))
            return false;
    return true;
}

bool CopiaSelada::gravaValor(const QString& chave, const QByteArray& valor)
{
    return executa(m_banco, QStringLiteral("INSERT OR REPLACE INTO selo (chave, valor) VALUES (?, ?)"),
                   {chave, m_selo.sela(valor, lugarDoValor(chave))});
}

std::optional<QByteArray> CopiaSelada::valor(const QString& chave) const
{
    QSqlQuery q(m_banco);
    q.prepare(QStringLiteral("SELECT valor FROM selo WHERE chave = ?"));
    q.addBindValue(chave);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return m_selo.abre(q.value(0).toByteArray(), lugarDoValor(chave));
}

CopiaSelada::Estado CopiaSelada::abre(const QString& usuario, const QString& senha, int dias, qint64 agoraMs)
{
    const QString arquivo = arquivoDe(usuario);
    if (!QFile::exists(arquivo))
        return Estado::Inexistente;
    if (!abreArquivo(arquivo))
        return Estado::Danificada;
    QSqlQuery q(m_banco);
    q.prepare(QStringLiteral("SELECT valor FROM selo WHERE chave = 'sal'"));
    if (!q.exec() || !q.next()) {
        fecha();
        return Estado::Danificada;
    }
    if (!m_selo.deriva(senha, q.value(0).toByteArray())) {
        fecha();
        return Estado::Danificada;
    }
    q.finish();
    const std::optional<QByteArray> verificador = valor(QStringLiteral("verificador"));
    if (!verificador || *verificador != textoDoVerificador(usuario)) {
        fecha();
        m_selo.deriva(QString(), {});   // forget the key tried
        return Estado::SenhaErrada;
    }
    m_usuario = usuario;
    if (!leEstado()) {
        fecha();
        return Estado::Danificada;
    }
    if (agoraMs - m_contatoMs > qint64(dias) * msPorDia) {
        fecha();
        return Estado::Vencida;
    }
    if (!carregaNomes()) {
        fecha();
        return Estado::Danificada;
    }
    return Estado::Aberta;
}

CopiaSelada::Estado CopiaSelada::abreNoLogin(const clsUsuario& operador, const QString& senha, qint64 agoraMs)
{
    // The server has just accepted this password: a copy it does not open was sealed under
    // an older one (or is damaged) and cannot be read again; a fresh copy takes its place.
    const Estado estado = abre(operador.usuario, senha, 36500, agoraMs);
    if (estado != Estado::Aberta) {
        fecha();
        apaga(operador.usuario);
        const QString arquivo = arquivoDe(operador.usuario);
        const QByteArray sal = Selo::novoSal();
        if (!abreArquivo(arquivo) || !m_selo.deriva(senha, sal)
            || !executa(m_banco, QStringLiteral("INSERT INTO selo (chave, valor) VALUES ('sal', ?)"), {sal})) {
            fecha();
            return Estado::Danificada;
        }
        m_numero = 0;
        m_nomes.clear();
    }
    m_usuario = operador.usuario;
    m_operador = operador;
    m_operador.senha.clear();
    if (!comeca())
        return Estado::Danificada;
    if (!gravaValor(QStringLiteral("verificador"), textoDoVerificador(operador.usuario))
        || !gravaValor(QStringLiteral("operador"), m_operador.toPipeString().toUtf8())
        || !gravaValor(QStringLiteral("numero"), QByteArray::number(m_numero)) || !marcaContato(agoraMs) || !confirma()) {
        desfaz();
        fecha();
        return Estado::Danificada;
    }
    return Estado::Aberta;
}

bool CopiaSelada::leEstado()
{
    const auto contato = valor(QStringLiteral("contato"));
    const auto numero = valor(QStringLiteral("numero"));
    const auto operador = valor(QStringLiteral("operador"));
    if (!contato || !numero || !operador)
        return false;
    bool ok1 = false, ok2 = false;
    m_contatoMs = contato->toLongLong(&ok1);
    m_numero = numero->toLongLong(&ok2);
    try {
        m_operador.fromPipeString(QString::fromUtf8(*operador));
    } catch (const ErroDeExecucao&) {
        return false;
    }
    return ok1 && ok2;
}

bool CopiaSelada::marcaContato(qint64 agoraMs)
{
    if (!gravaValor(QStringLiteral("contato"), QByteArray::number(agoraMs)))
        return false;
    m_contatoMs = agoraMs;
    return true;
}

bool CopiaSelada::carregaNomes()
{
    m_nomes.clear();
    QSqlQuery q(m_banco);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT numero, nome FROM fichas")))
        return false;
    while (q.next()) {
        const qint32 numero = q.value(0).toInt();
        const auto nome = m_selo.abre(q.value(1).toByteArray(), lugarDaFicha(numero, 'n'));
        if (!nome)
            return false;
        m_nomes.insert(numero, QString::fromUtf8(*nome));
    }
    return true;
}

bool CopiaSelada::comeca()
{
    return m_banco.transaction();
}

bool CopiaSelada::confirma()
{
    return m_banco.commit();
}

void CopiaSelada::desfaz()
{
    m_banco.rollback();
    // What the transaction did to the names in memory goes with it.
    carregaNomes();
    if (const auto n = valor(QStringLiteral("numero")))
        m_numero = n->toLongLong();
}

bool CopiaSelada::defineNumero(qint64 numero)
{
    if (!gravaValor(QStringLiteral("numero"), QByteArray::number(numero)))
        return false;
    m_numero = numero;
    return true;
}

bool CopiaSelada::esvazia()
{
    // Sheets still provisional are the journal's: they stay.
    if (!executa(m_banco, QStringLiteral("DELETE FROM fichas WHERE numero > 0")))
        return false;
    for (auto i = m_nomes.begin(); i != m_nomes.end();)
        i = i.key() > 0 ? m_nomes.erase(i) : std::next(i);
    return true;
}

QString CopiaSelada::dobra(QStringView nome)
{
    const QString decomposto = nome.toString().normalized(QString::NormalizationForm_KD);
    QString sem;
    sem.reserve(decomposto.size());
    for (QChar c : decomposto)
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_SpacingCombining)
            sem.append(c.toCaseFolded());
    return sem;
}

bool CopiaSelada::gravaDoFio(qint32 numero, qint64 versao, const QString& fio)
{
    // The name is the second piece of the sheet's text.
    const qsizetype a = fio.indexOf(u'|');
    const qsizetype b = a < 0 ? -1 : fio.indexOf(u'|', a + 1);
    const QString nome = b < 0 ? QString() : fio.mid(a + 1, b - a - 1);
    const QString dobrado = dobra(nome);
    if (!executa(m_banco, QStringLiteral("INSERT OR REPLACE INTO fichas (numero, versao, nome, dados) VALUES (?, ?, ?, ?)"),
                 {numero, versao, m_selo.sela(dobrado.toUtf8(), lugarDaFicha(numero, 'n')),
                  m_selo.sela(fio.toUtf8(), lugarDaFicha(numero, 'd'))}))
        return false;
    m_nomes.insert(numero, dobrado);
    return true;
}

bool CopiaSelada::grava(const clsAgenda& ficha, qint64 versao)
{
    return gravaDoFio(ficha.numeroFicha, versao, ficha.toPipeString());
}

bool CopiaSelada::exclui(qint32 numero)
{
    if (!executa(m_banco, QStringLiteral("DELETE FROM fichas WHERE numero = ?"), {numero}))
        return false;
    m_nomes.remove(numero);
    return true;
}

bool CopiaSelada::renumera(qint32 de, qint32 para, qint64 versao)
{
    std::optional<clsAgenda> f = ficha(de);
    if (!f)
        return true;
    f->numeroFicha = para;
    return exclui(de) && grava(*f, versao);
}

std::optional<clsAgenda> CopiaSelada::ficha(qint32 numero) const
{
    if (!aberta())
        return std::nullopt;
    QSqlQuery q(m_banco);
    q.prepare(QStringLiteral("SELECT dados FROM fichas WHERE numero = ?"));
    q.addBindValue(numero);
    if (!q.exec() || !q.next())
        return std::nullopt;
    const auto dados = m_selo.abre(q.value(0).toByteArray(), lugarDaFicha(numero, 'd'));
    if (!dados)
        return std::nullopt;
    clsAgenda f;
    try {
        f.fromPipeString(QString::fromUtf8(*dados));
    } catch (const ErroDeExecucao&) {
        return std::nullopt;
    }
    // The number is the row's: a sealed text cannot move a sheet to another number.
    if (f.numeroFicha != numero)
        return std::nullopt;
    return f;
}

qint64 CopiaSelada::versao(qint32 numero) const
{
    QSqlQuery q(m_banco);
    q.prepare(QStringLiteral("SELECT versao FROM fichas WHERE numero = ?"));
    q.addBindValue(numero);
    if (!q.exec() || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

QList<clsAgenda> CopiaSelada::busca(const clsFiltroBusca& filtro) const
{
    const QString parte = dobra(filtro.nome);
    QList<qint32> numeros;
    if (filtro.numeroFicha != 0) {
        if (m_nomes.contains(filtro.numeroFicha) && m_nomes.value(filtro.numeroFicha).contains(parte))
            numeros << filtro.numeroFicha;
    } else {
        for (auto i = m_nomes.cbegin(); i != m_nomes.cend(); ++i)
            if (i.value().contains(parte))
                numeros << i.key();
    }
    std::sort(numeros.begin(), numeros.end());
    const QDate zero = FormatoBR::dataZero();
    const bool deData = filtro.dataInicial.isValid() && filtro.dataInicial != zero;
    const bool ateData = filtro.dataFinal.isValid() && filtro.dataFinal != zero;
    QList<clsAgenda> achadas;
    for (const qint32 n : std::as_const(numeros)) {
        std::optional<clsAgenda> f = ficha(n);
        if (!f || (deData && f->Data < filtro.dataInicial) || (ateData && f->Data > filtro.dataFinal))
            continue;
        achadas.append(std::move(*f));
    }
    return achadas;
}

qint32 CopiaSelada::proximoProvisorio()
{
    qint32 menor = 0;
    for (auto i = m_nomes.cbegin(); i != m_nomes.cend(); ++i)
        menor = qMin(menor, i.key());
    const auto ultimo = valor(QStringLiteral("provisorio"));
    const qint32 anterior = ultimo ? ultimo->toInt() : 0;
    const qint32 proximo = qMin(menor, anterior) - 1;
    gravaValor(QStringLiteral("provisorio"), QByteArray::number(proximo));
    return proximo;
}
