#include "app/Implantacao.h"
#include "app/ImplantacaoPadrao.h"
#include "app/LugaresDoSistema.h"
#include "protocol/ImpressaoDigital.h"
#include "protocol/Wire.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

namespace Implantacao {

namespace {

enum class Regra { Endereco, Caminho, Site, Email, Texto, TextoOpcional, Impressao, PoliticaTls, SimNao, Dias };

struct Valor {
    const char* chave;
    const char* padrao;
    Regra regra;
    QString atual;
};

// One row per deployment value: its key in the file, its default and how it is checked.
struct Tabela {
    Valor servidor{"servidor", ImplantacaoPadrao::servidor, Regra::Endereco, {}};
    Valor bancoLocal{"bancoLocal", ImplantacaoPadrao::bancoLocal, Regra::Caminho, {}};
    Valor organizacao{"organizacao", ImplantacaoPadrao::organizacao, Regra::Texto, {}};
    Valor endereco{"endereco", ImplantacaoPadrao::endereco, Regra::TextoOpcional, {}};
    Valor versiculo{"versiculo", ImplantacaoPadrao::versiculo, Regra::TextoOpcional, {}};
    Valor site{"site", ImplantacaoPadrao::site, Regra::Site, {}};
    Valor suporteEmail{"suporteEmail", ImplantacaoPadrao::suporteEmail, Regra::Email, {}};
    Valor suporteFone1{"suporteFone1", ImplantacaoPadrao::suporteFone1, Regra::TextoOpcional, {}};
    Valor suporteFone2{"suporteFone2", ImplantacaoPadrao::suporteFone2, Regra::TextoOpcional, {}};
    Valor suporteFone3{"suporteFone3", ImplantacaoPadrao::suporteFone3, Regra::TextoOpcional, {}};
    Valor certificado{"certificado", "", Regra::Impressao, {}};
    Valor tls{"tls", "preferir", Regra::PoliticaTls, {}};
    Valor trabalhoDesconectado{"trabalhoDesconectado", "nao", Regra::SimNao, {}};
    Valor diasSemServidor{"diasSemServidor", "7", Regra::Dias, {}};

    QList<Valor*> todos()
    {
        return {&servidor, &bancoLocal, &organizacao, &endereco, &versiculo,
                &site, &suporteEmail, &suporteFone1, &suporteFone2, &suporteFone3, &certificado, &tls,
                &trabalhoDesconectado, &diasSemServidor};
    }
    void padroes()
    {
        for (Valor* v : todos())
            v->atual = QString::fromUtf8(v->padrao);
        bancoLocal.atual = LugaresDoSistema::bancoLocalPadrao(std::nullopt);
    }
    Tabela() { padroes(); }
};

Tabela& tabela()
{
    static Tabela t;
    return t;
}

// Longer texts would not fit the windows and the banner that show them.
constexpr qsizetype maiorTexto = 200;
// A copy of members' data left a whole year without the server is too old to trust.
constexpr int maisDias = 365;

bool ehNomeDeMaquina(const QString& v)
{
    static const QRegularExpression nome(
        QStringLiteral("^(?=.{1,253}$)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$"));
    return nome.match(v).hasMatch();
}

// Why `v` is not good for `regra`, or empty when it is.
QString problema(Regra regra, const QString& v)
{
    for (const QChar c : v)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("tem caracteres de controle");
    if (v.isEmpty())
        return regra == Regra::TextoOpcional || regra == Regra::Email || regra == Regra::Impressao ? QString()
                                                                                                  : QStringLiteral("está vazio");
    if (v.size() > maiorTexto)
        return QStringLiteral("tem mais de %1 caracteres").arg(maiorTexto);
    switch (regra) {
    case Regra::Endereco:
        if (QHostAddress(v).isNull() && !ehNomeDeMaquina(v))
            return QStringLiteral("\"%1\" não é um endereço IP nem um nome de máquina").arg(v);
        break;
    case Regra::Caminho:
        if (!QDir::isAbsolutePath(v) || v.endsWith(u'/'))
            return QStringLiteral("\"%1\" não é o caminho completo de um arquivo").arg(v);
        break;
    case Regra::Site: {
        const QUrl url(v, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty()
            || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
            return QStringLiteral("\"%1\" não é um endereço http:// ou https://").arg(v);
        break;
    }
    case Regra::Email: {
        static const QRegularExpression email(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));
        if (!email.match(v).hasMatch())
            return QStringLiteral("\"%1\" não é um endereço de e-mail").arg(v);
        break;
    }
    case Regra::Impressao:
        if (ImpressaoDigital::normaliza(v).isEmpty())
            return QStringLiteral("\"%1\" não é uma impressão digital SHA-256 (64 dígitos hexadecimais, com ou sem \":\")").arg(v);
        break;
    case Regra::PoliticaTls:
        if (v != QLatin1String("exigir") && v != QLatin1String("preferir") && v != QLatin1String("nunca"))
            return QStringLiteral("\"%1\" não é exigir, preferir nem nunca").arg(v);
        break;
    case Regra::SimNao:
        if (v != QLatin1String("sim") && v != QLatin1String("nao"))
            return QStringLiteral("\"%1\" não é sim nem nao").arg(v);
        break;
    case Regra::Dias: {
        bool ok = false;
        const int dias = v.toInt(&ok);
        if (!ok || dias < 1 || dias > maisDias || v != QString::number(dias))
            return QStringLiteral("\"%1\" não é um número de dias de 1 a %2").arg(v).arg(maisDias);
        break;
    }
    case Regra::Texto:
    case Regra::TextoOpcional:
        break;
    }
    return QString();
}

QString semAspas(QString v)
{
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

} // namespace

QString servidor() { return tabela().servidor.atual; }
QString porta() { return QStringLiteral("9998"); }
QString bancoLocal() { return tabela().bancoLocal.atual; }
QString organizacao() { return tabela().organizacao.atual; }
QString endereco() { return tabela().endereco.atual; }
QString site() { return tabela().site.atual; }
QString versiculo() { return tabela().versiculo.atual; }
QString suporteEmail() { return tabela().suporteEmail.atual; }
QString suporteFone1() { return tabela().suporteFone1.atual; }
QString suporteFone2() { return tabela().suporteFone2.atual; }
QString suporteFone3() { return tabela().suporteFone3.atual; }
QString certificado() { return ImpressaoDigital::normaliza(tabela().certificado.atual); }
PoliticaTls tls()
{
    const QString& v = tabela().tls.atual;
    return v == QLatin1String("exigir") ? PoliticaTls::Exigir : v == QLatin1String("nunca") ? PoliticaTls::Nunca : PoliticaTls::Preferir;
}

bool trabalhoDesconectado() { return tabela().trabalhoDesconectado.atual == QLatin1String("sim"); }
int diasSemServidor() { return tabela().diasSemServidor.atual.toInt(); }

std::optional<QString> raizDaInstalacao(const QString& pastaDoPrograma)
{
    return LugaresDoSistema::raizDaInstalacao(pastaDoPrograma);
}

QString arquivo(const QString& pastaDoPrograma)
{
    return LugaresDoSistema::arquivoDeImplantacao(pastaDoPrograma);
}

QString configuracaoPadrao(const QString& pastaDoPrograma)
{
    return LugaresDoSistema::configuracaoPadrao(pastaDoPrograma);
}

void restauraPadroes()
{
    tabela().padroes();
}

QStringList carrega(const QString& caminho, const std::optional<QString>& raiz)
{
    Tabela& t = tabela();
    t.padroes();
    t.bancoLocal.atual = LugaresDoSistema::bancoLocalPadrao(raiz);

    QStringList problemas;
    QFile f(caminho);
    if (!f.exists())
        return problemas;
    if (!f.open(QIODevice::ReadOnly)) {
        problemas << QStringLiteral("o arquivo não pôde ser lido (%1)").arg(f.errorString());
        return problemas;
    }
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString texto = utf8(bytes);
    if (utf8.hasError()) {
        // Most likely saved by a Windows editor: its accents are still readable that way.
        problemas << QStringLiteral("o arquivo não está em UTF-8; foi lido como Windows-1252");
        texto = Wire::decodifica(bytes);
    }
    if (texto.startsWith(QChar(0xFEFF)))
        texto.remove(0, 1);

    const QStringList linhas = texto.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    QString secao;
    QStringList vistas;
    for (qsizetype n = 0; n < linhas.size(); ++n) {
        const QString linha = linhas[n].trimmed();
        const QString onde = QStringLiteral("linha %1: ").arg(n + 1);
        if (linha.isEmpty() || linha.startsWith(u';') || linha.startsWith(u'#'))
            continue;
        if (linha.startsWith(u'[')) {
            if (!linha.endsWith(u']')) {
                problemas << onde + QStringLiteral("seção sem \"]\"");
                secao = QString();
                continue;
            }
            secao = linha.mid(1, linha.size() - 2).trimmed();
            if (secao.compare(QLatin1String("Implantacao"), Qt::CaseInsensitive) != 0)
                problemas << onde + QStringLiteral("seção desconhecida [%1] (a seção é [Implantacao])").arg(secao);
            continue;
        }
        const qsizetype igual = linha.indexOf(u'=');
        if (igual <= 0) {
            problemas << onde + QStringLiteral("não é \"chave=valor\"");
            continue;
        }
        if (secao.compare(QLatin1String("Implantacao"), Qt::CaseInsensitive) != 0) {
            if (secao.isEmpty())
                problemas << onde + QStringLiteral("fora da seção [Implantacao]");
            continue;
        }
        const QString chave = linha.left(igual).trimmed();
        const QString valor = semAspas(linha.mid(igual + 1).trimmed());
        Valor* alvo = nullptr;
        for (Valor* v : t.todos())
            if (chave.compare(QLatin1String(v->chave), Qt::CaseInsensitive) == 0)
                alvo = v;
        if (!alvo) {
            problemas << onde + QStringLiteral("chave desconhecida \"%1\"").arg(chave);
            continue;
        }
        if (vistas.contains(QLatin1String(alvo->chave)))
            problemas << onde + QStringLiteral("%1 aparece mais de uma vez; vale a última").arg(QLatin1String(alvo->chave));
        vistas << QLatin1String(alvo->chave);
        const QString porque = problema(alvo->regra, valor);
        if (!porque.isEmpty()) {
            problemas << onde + QStringLiteral("%1 %2; vale o padrão \"%3\"")
                                    .arg(QLatin1String(alvo->chave), porque, QString::fromUtf8(alvo->padrao));
            continue;
        }
        alvo->atual = valor;
    }
    return problemas;
}

} // namespace Implantacao
