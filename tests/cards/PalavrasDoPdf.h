#pragma once
// Reads back a printed PDF: pages and the words on them with their boxes, in points from the
// top-left corner of the page, as `pdftotext -bbox` reports them.
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>

struct PalavraDoPdf {
    int pagina;
    QString texto;
    double xMin, yMin, xMax, yMax;
};

struct PdfLido {
    bool ok = false;
    int paginas = 0;
    QList<PalavraDoPdf> palavras;

    QList<PalavraDoPdf> achadas(const QString& texto) const
    {
        QList<PalavraDoPdf> r;
        for (const PalavraDoPdf& p : palavras)
            if (p.texto == texto)
                r.append(p);
        return r;
    }
};

inline PdfLido lePdf(const QString& arquivo)
{
    PdfLido lido;
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), arquivo, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0)
        return lido;
    const QString html = QString::fromUtf8(pdftotext.readAllStandardOutput());
    static const QRegularExpression marca(QStringLiteral(
        R"re(<page\b|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = marca.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QStringLiteral("<page"))) {
            ++lido.paginas;
            continue;
        }
        QString texto = m.captured(5);
        texto.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
        lido.palavras.append({lido.paginas, texto, m.captured(1).toDouble(), m.captured(2).toDouble(),
                              m.captured(3).toDouble(), m.captured(4).toDouble()});
    }
    lido.ok = true;
    return lido;
}
