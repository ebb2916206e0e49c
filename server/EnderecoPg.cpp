// Reading a PostgreSQL connection text (see EnderecoPg.h).
#include "server/EnderecoPg.h"

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace {

// The libpq options a connection text may carry after "?".
const QStringList opcoesPg = {QStringLiteral("host"), QStringLiteral("port"), QStringLiteral("sslmode"), QStringLiteral("sslrootcert"),
                              QStringLiteral("sslcert"), QStringLiteral("sslkey"), QStringLiteral("connect_timeout"),
                              QStringLiteral("service"), QStringLiteral("passfile"), QStringLiteral("application_name"),
                              QStringLiteral("target_session_attrs")};

} // namespace

EnderecoPg EnderecoPg::separa(const QString& conexao)
{
    EnderecoPg e;
    const qsizetype inicio = conexao.indexOf(QLatin1String("://"));
    e.esquema = conexao.left(inicio + 3);
    QString depois = conexao.mid(inicio + 3);
    // The user part ends at the last "@" before the database path; a path or query with an
    // "@" of its own is rare enough to ignore.
    const qsizetype arroba = depois.lastIndexOf(u'@');
    if (arroba >= 0) {
        const QString credenciais = depois.left(arroba);
        const qsizetype doisPontos = credenciais.indexOf(u':');
        e.usuario = QUrl::fromPercentEncoding(credenciais.left(doisPontos < 0 ? credenciais.size() : doisPontos).toUtf8());
        if (doisPontos >= 0) {
            e.temSenha = true;
            e.senha = QUrl::fromPercentEncoding(credenciais.mid(doisPontos + 1).toUtf8());
        }
        depois = depois.mid(arroba + 1);
    }
    e.resto = depois;
    return e;
}

QString EnderecoPg::semSenha() const
{
    QString semOpcao = resto;
    // A password given as an option is cut out as well.
    const qsizetype interrogacao = semOpcao.indexOf(u'?');
    if (interrogacao >= 0) {
        QUrlQuery consulta(semOpcao.mid(interrogacao + 1));
        consulta.removeAllQueryItems(QStringLiteral("password"));
        semOpcao = semOpcao.left(interrogacao) + (consulta.isEmpty() ? QString() : QLatin1Char('?') + consulta.toString());
    }
    return esquema + (usuario.isEmpty() ? QString() : QString(QUrl::toPercentEncoding(usuario)) + QLatin1Char('@')) + semOpcao;
}

bool leDestinoPg(const QString& conexao, DestinoPg& destino, QString& erro)
{
    const EnderecoPg e = EnderecoPg::separa(conexao);
    const QUrl url(QStringLiteral("postgresql://") + e.resto);
    if (!url.isValid() || url.path().size() < 2) {
        erro = QStringLiteral("endereço PostgreSQL inválido: %1 (esperado postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO)").arg(e.semSenha());
        return false;
    }
    // Over TCP, a connection whose peer vanished (a host down, the network cut) is given up
    // within seconds rather than after the system's quarter of an hour of retries.
    QStringList opcoes{QStringLiteral("connect_timeout=3"), QStringLiteral("keepalives=1"), QStringLiteral("keepalives_idle=10"),
                       QStringLiteral("keepalives_interval=3"), QStringLiteral("keepalives_count=3"),
                       QStringLiteral("tcp_user_timeout=15000")};
    destino.host = url.host();
    destino.porta = url.port();
    for (const auto& [nome, valor] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (!opcoesPg.contains(nome) || valor.contains(u' ') || valor.contains(u';')) {
            erro = QStringLiteral("opção \"%1\" não aceita no endereço PostgreSQL").arg(nome);
            return false;
        }
        if (nome == QLatin1String("host"))
            destino.host = valor;   // e.g. the folder of a Unix socket
        else if (nome == QLatin1String("port"))
            destino.porta = valor.toInt();
        else
            opcoes << nome + QLatin1Char('=') + valor;
    }
    destino.usuario = e.usuario;
    destino.senha = e.temSenha ? std::optional(e.senha) : std::nullopt;
    destino.banco = url.path().mid(1);
    destino.opcoes = opcoes.join(u';');
    return true;
}

void apontaPara(QSqlDatabase& db, const DestinoPg& destino)
{
    db.setHostName(destino.host);
    if (destino.porta > 0)
        db.setPort(destino.porta);
    db.setUserName(destino.usuario);
    if (destino.senha)
        db.setPassword(*destino.senha);
    db.setDatabaseName(destino.banco);
    db.setConnectOptions(destino.opcoes);
}
