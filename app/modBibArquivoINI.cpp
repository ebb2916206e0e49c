#include "app/modBibArquivoINI.h"
#include "protocol/Wire.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

namespace {

// The platform call copies into a 255-character buffer, its last place kept for the terminator.
constexpr qsizetype limiteDaLeitura = 254;

// One line of the file with its own terminator, so the untouched lines go back byte for byte.
struct Linha {
    QByteArray bruta;   // as in the file, "\n" or "\r\n" included
    QString texto;      // without the terminator, decoded

    bool ehSecao() const { return texto.trimmed().startsWith(u'['); }
    QString nomeDaSecao() const
    {
        QString t = texto.trimmed().mid(1);
        const qsizetype fim = t.indexOf(u']');
        if (fim >= 0)
            t.truncate(fim);
        return t.trimmed();
    }
    bool ehComentario() const { return texto.trimmed().startsWith(u';'); }
    // The key of a "chave=valor" line, or a null text for any other line.
    QString chave() const
    {
        if (ehSecao() || ehComentario())
            return QString();
        const qsizetype igual = texto.indexOf(u'=');
        if (igual < 0)
            return QString();
        return texto.left(igual).trimmed();
    }
    QString valor() const { return texto.mid(texto.indexOf(u'=') + 1).trimmed(); }
};

QList<Linha> separaLinhas(const QByteArray& conteudo)
{
    QList<Linha> linhas;
    qsizetype inicio = 0;
    while (inicio < conteudo.size()) {
        qsizetype fim = conteudo.indexOf('\n', inicio);
        fim = fim < 0 ? conteudo.size() : fim + 1;
        Linha l;
        l.bruta = conteudo.mid(inicio, fim - inicio);
        QByteArrayView semFim(l.bruta);
        if (semFim.endsWith('\n'))
            semFim.chop(1);
        if (semFim.endsWith('\r'))
            semFim.chop(1);
        l.texto = Wire::decodifica(semFim);
        linhas.append(std::move(l));
        inicio = fim;
    }
    return linhas;
}

bool mesmoNome(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section's lines are: [cabecalho, fim), fim being the next header or the end.
struct Trecho {
    qsizetype cabecalho = -1;
    qsizetype fim = -1;
};

Trecho achaSecao(const QList<Linha>& linhas, const QString& secao)
{
    Trecho t;
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        if (!linhas[i].ehSecao())
            continue;
        if (t.cabecalho >= 0) {
            t.fim = i;
            return t;
        }
        if (mesmoNome(linhas[i].nomeDaSecao(), secao))
            t.cabecalho = i;
    }
    if (t.cabecalho >= 0)
        t.fim = linhas.size();
    return t;
}

qsizetype achaChave(const QList<Linha>& linhas, const Trecho& trecho, const QString& chave)
{
    for (qsizetype i = trecho.cabecalho + 1; i < trecho.fim; ++i) {
        const QString c = linhas[i].chave();
        if (!c.isNull() && mesmoNome(c, chave))
            return i;
    }
    return -1;
}

QString semAspas(QString valor)
{
    if (valor.size() >= 2 && (valor.front() == u'"' || valor.front() == u'\'') && valor.back() == valor.front())
        valor = valor.mid(1, valor.size() - 2);
    return valor;
}

} // namespace

QString LeINI(const QString& arquivo, const QString& secao, const QString& chave)
{
    QFile f(arquivo);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QList<Linha> linhas = separaLinhas(f.readAll());
    const Trecho trecho = achaSecao(linhas, secao);
    if (trecho.cabecalho < 0)
        return QString();
    const qsizetype i = achaChave(linhas, trecho, chave);
    if (i < 0)
        return QString();
    return semAspas(linhas[i].valor()).left(limiteDaLeitura);
}

QString GravaINI(const QString& arquivo, const QString& secao, const QString& chave, const QString& valor)
{
    QByteArray conteudo;
    {
        QFile f(arquivo);
        if (f.exists()) {
            if (!f.open(QIODevice::ReadOnly))
                return f.errorString();
            conteudo = f.readAll();
        }
    }
    QList<Linha> linhas = separaLinhas(conteudo);

    // New lines follow the file's own line ends; a new file gets the platform's INI ones.
    const QByteArray fimDeLinha = conteudo.isEmpty() || conteudo.contains("\r\n") ? "\r\n" : "\n";
    // A line break inside the value would cut it and turn its rest into another line.
    QString limpo = valor;
    limpo.replace(u'\r', u' ').replace(u'\n', u' ');
    auto novaLinha = [&](const QString& texto) {
        Linha l;
        l.texto = texto;
        l.bruta = Wire::codifica(texto) + fimDeLinha;
        return l;
    };
    // The last line may lack its terminator; anything added after it needs one.
    auto terminaUltima = [&] {
        if (!linhas.isEmpty() && !linhas.last().bruta.endsWith('\n'))
            linhas.last().bruta += fimDeLinha;
    };

    const Trecho trecho = achaSecao(linhas, secao);
    if (trecho.cabecalho < 0) {
        terminaUltima();
        linhas.append(novaLinha(u'[' + secao + u']'));
        linhas.append(novaLinha(chave + u'=' + limpo));
    } else if (const qsizetype i = achaChave(linhas, trecho, chave); i >= 0) {
        // Only the value changes: the key keeps its spelling, indentation and line end.
        Linha& l = linhas[i];
        const qsizetype igual = l.texto.indexOf(u'=');
        const QByteArray fimOriginal = l.bruta.endsWith("\r\n") ? QByteArray("\r\n")
                                       : l.bruta.endsWith('\n') ? QByteArray("\n")
                                                                : QByteArray();
        l.texto = l.texto.left(igual + 1) + limpo;
        l.bruta = Wire::codifica(l.texto) + fimOriginal;
    } else {
        // After the section's last non-blank line, so blank lines before the next header stay there.
        qsizetype onde = trecho.cabecalho + 1;
        for (qsizetype i = trecho.cabecalho + 1; i < trecho.fim; ++i)
            if (!linhas[i].texto.trimmed().isEmpty())
                onde = i + 1;
        if (onde == linhas.size())
            terminaUltima();
        else if (!linhas[onde - 1].bruta.endsWith('\n'))
            linhas[onde - 1].bruta += fimDeLinha;
        linhas.insert(onde, novaLinha(chave + u'=' + limpo));
    }

    QByteArray saida;
    saida.reserve(conteudo.size() + chave.size() + valor.size() + secao.size() + 8);
    for (const Linha& l : linhas)
        saida += l.bruta;
    QSaveFile f(arquivo);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    if (f.write(saida) != saida.size()) {
        const QString erro = f.errorString();
        f.cancelWriting();
        return erro;
    }
    if (!f.commit())
        return f.errorString();
    return QString();
}
