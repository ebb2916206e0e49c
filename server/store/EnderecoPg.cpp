// Reading a PostgreSQL connection text (see EnderecoPg.h).
#include "server/store/EnderecoPg.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>

#include <memory>
#include <utility>

namespace {

// Over TCP, a connection whose peer vanished (a host down, the network cut) is given up
// within seconds rather than after the system's quarter of an hour of retries. With several
// hosts connect_timeout counts for each host tried.
const std::pair<const char*, const char*> prazos[] = {
    {"connect_timeout", "3"}, {"keepalives", "1"}, {"keepalives_idle", "10"},
    {"keepalives_interval", "3"}, {"keepalives_count", "3"}, {"tcp_user_timeout", "15000"}};

// A "password" word of the key=value form, with its value quoted or not.
const QRegularExpression& senhaEmPalavras()
{
    static const QRegularExpression re(QStringLiteral(R"((^|\s)password\s*=\s*('(?:[^'\\]|\\.)*'?|\S*))"));
    return re;
}

bool ehUri(const QString& conexao)
{
    return conexao.startsWith(QLatin1String("postgresql://")) || conexao.startsWith(QLatin1String("postgres://"));
}

// Every way the password may stand in `conexao`, as written and as read.
QStringList senhasDe(const QString& conexao)
{
    QStringList senhas;
    if (ehUri(conexao)) {
        const EnderecoPg e = EnderecoPg::separa(conexao);
        senhas << e.senha << e.senhaCrua;
        const qsizetype interrogacao = e.resto.indexOf(u'?');
        if (interrogacao >= 0) {
            const QUrlQuery consulta(e.resto.mid(interrogacao + 1));
            senhas << consulta.allQueryItemValues(QStringLiteral("password"), QUrl::FullyDecoded)
                   << consulta.allQueryItemValues(QStringLiteral("password"), QUrl::FullyEncoded);
        }
    }
    auto achados = senhaEmPalavras().globalMatch(conexao);
    while (achados.hasNext()) {
        QString valor = achados.next().captured(2);
        senhas << valor;
        if (valor.startsWith(u'\''))
            senhas << valor.mid(1).chopped(valor.endsWith(u'\'') && valor.size() > 1 ? 1 : 0);
    }
    senhas.removeAll(QString());
    return senhas;
}

// libpq's reason for refusing a text quotes the text, or a piece of it: the password goes.
QString semSenhaNoMotivo(QString motivo, const QString& conexao)
{
    if (!conexao.isEmpty())
        motivo.replace(conexao, descricaoPg(conexao));
    for (const QString& senha : senhasDe(conexao))
        motivo.replace(senha, QStringLiteral("***"));
    return motivo;
}

// A value as libpq's key=value words take it: between quotes, with "\" and "'" escaped.
QString entreAspas(const QString& valor)
{
    QString v = valor;
    v.replace(u'\\', QLatin1String("\\\\")).replace(u'\'', QLatin1String("\\'"));
    return u'\'' + v + u'\'';
}

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
            e.senhaCrua = credenciais.mid(doisPontos + 1);
            e.senha = QUrl::fromPercentEncoding(e.senhaCrua.toUtf8());
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

bool ehConexaoPg(const QString& conexao)
{
    // "key=value" words: "=" before any "://" (which only a URI has).
    const qsizetype igual = conexao.indexOf(u'=');
    const qsizetype esquema = conexao.indexOf(QLatin1String("://"));
    return ehUri(conexao) || (igual > 0 && (esquema < 0 || igual < esquema));
}

QString descricaoPg(const QString& conexao)
{
    if (ehUri(conexao))
        return EnderecoPg::separa(conexao).semSenha();
    QString texto = conexao;
    return texto.replace(senhaEmPalavras(), QStringLiteral("\\1")).simplified();
}

bool leDestinoPg(const QString& conexao, DestinoPg& destino, QString& erro)
{
    char* motivo = nullptr;
    const std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> opcoes(
        PQconninfoParse(conexao.toUtf8().constData(), &motivo), &PQconninfoFree);
    if (!opcoes) {
        const QString porque = motivo ? QString::fromUtf8(motivo).simplified() : QStringLiteral("memória insuficiente");
        PQfreemem(motivo);
        erro = QStringLiteral("a conexão PostgreSQL %1 não foi aceita pela libpq: %2")
                   .arg(descricaoPg(conexao), semSenhaNoMotivo(porque, conexao));
        return false;
    }
    QStringList palavras;
    QStringList dadas;
    destino.temSenha = false;
    for (const PQconninfoOption* o = opcoes.get(); o->keyword; ++o) {
        if (!o->val)
            continue;
        const QString nome = QString::fromUtf8(o->keyword);
        const QString valor = QString::fromUtf8(o->val);
        if (nome == QLatin1String("password"))
            destino.temSenha = true;
        // QPSQL turns every ";" of its options into a space before libpq sees them.
        if (valor.contains(u';')) {
            erro = QStringLiteral("a opção \"%1\" da conexão PostgreSQL %2 tem \";\", que o driver PostgreSQL do Qt não deixa passar")
                       .arg(nome, descricaoPg(conexao));
            return false;
        }
        dadas << nome;
        palavras << nome + u'=' + entreAspas(valor);
    }
    QStringList opcoesDoServidor;
    for (const auto& [nome, valor] : prazos)
        if (!dadas.contains(QLatin1String(nome)))
            opcoesDoServidor << QLatin1String(nome) + u'=' + QLatin1String(valor);
    destino.opcoes = (opcoesDoServidor + palavras).join(u';');
    return true;
}

void apontaPara(QSqlDatabase& db, const DestinoPg& destino)
{
    // Everything goes as libpq's own words: QPSQL adds none of its own when host, port,
    // user, password and database are left empty.
    db.setConnectOptions(destino.opcoes);
}
