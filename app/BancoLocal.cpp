#include "app/BancoLocal.h"
#include "app/Implantacao.h"
#include "app/LugaresDoSistema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace BancoLocal {

namespace {
QString& caminhoDeTeste()
{
    static QString c;
    return c;
}
} // namespace

QString grupoDeGravacao()
{
    return QStringLiteral("zelto");
}

QString caminho()
{
    return caminhoDeTeste().isEmpty() ? Implantacao::bancoLocal() : caminhoDeTeste();
}

void defineCaminhoParaTeste(const QString& c)
{
    caminhoDeTeste() = c;
}

QSqlDatabase abre(const QString& nomeConexao)
{
    QSqlDatabase db = QSqlDatabase::contains(nomeConexao) ? QSqlDatabase::database(nomeConexao, false)
                                                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nomeConexao);
    db.close();
    const QString arquivo = caminho();
    const QFileInfo info(arquivo);
    if (!info.isFile() || !info.isReadable())
        return db;   // closed: the caller reports the missing file
    db.setDatabaseName(arquivo);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    if (!db.open())
        return db;
    // SQLite opens anything; make sure this is really a database file.
    QSqlQuery teste(db);
    if (!teste.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        db.close();
    return db;
}

QString motivoDaGravacaoNegada(const QString& erroDoBanco)
{
    const QFileInfo arquivo(caminho());
    const QFileInfo pasta(arquivo.absolutePath());
    const bool negada = erroDoBanco.contains(QLatin1String("readonly"), Qt::CaseInsensitive)
                        || (arquivo.exists() && !arquivo.isWritable()) || !pasta.isWritable();
    if (!negada)
        return QString();
    return QStringLiteral("O usuário não tem permissão para gravar em %1. ")
               .arg(QDir::toNativeSeparators(arquivo.absoluteFilePath()))
           + LugaresDoSistema::comoLiberarGravacao();
}

QString criaDeSementes(const QString& destino, const QStringList& arquivosSql)
{
    QFile::remove(destino);
    QDir().mkpath(QFileInfo(destino).absolutePath());
    const QString nome = QStringLiteral("sementes-%1").arg(quintptr(&destino));
    QString erro;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nome);
        db.setDatabaseName(destino);
        if (!db.open()) {
            erro = db.lastError().text();
        } else {
            db.transaction();
            for (const QString& arquivo : arquivosSql) {
                QFile f(arquivo);
                if (!f.open(QIODevice::ReadOnly)) {
                    erro = QStringLiteral("não foi possível ler %1").arg(arquivo);
                    break;
                }
                const QString sql = QString::fromUtf8(f.readAll());
                // Statements end with ";" at the end of a line; seed files keep to that.
                const QStringList comandos = sql.split(QStringLiteral(";\n"));
                for (QString comando : comandos) {
                    comando = comando.trimmed();
                    if (comando.endsWith(u';'))
                        comando.chop(1);
                    if (comando.isEmpty() || (comando.startsWith(QStringLiteral("--")) && !comando.contains(u'\n')))
                        continue;
                    QSqlQuery q(db);
                    if (!q.exec(comando)) {
                        erro = QStringLiteral("%1: %2").arg(arquivo, q.lastError().text());
                        break;
                    }
                }
                if (!erro.isEmpty())
                    break;
            }
            if (erro.isEmpty())
                db.commit();
            else
                db.rollback();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(nome);
    return erro;
}

void fecha(const QString& nomeConexao)
{
    if (!QSqlDatabase::contains(nomeConexao))
        return;
    QSqlDatabase::database(nomeConexao, false).close();
    QSqlDatabase::removeDatabase(nomeConexao);
}

QStringList sementesPadrao(const QString& pastaData)
{
    QStringList arquivos;
    const QDir dir(pastaData + QStringLiteral("/local"));
    for (const QString& nome : dir.entryList({QStringLiteral("*.sql")}, QDir::Files, QDir::Name))
        arquivos.append(dir.filePath(nome));
    return arquivos;
}

} // namespace BancoLocal
