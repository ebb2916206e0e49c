#pragma once
// The print preview as the operator meets it: armed before the click that opens it, it waits
// for the preview window, counts its pages, presses "Salvar PDF ..." (the save dialog answered
// with `arquivoPdf`) or its print button (the printer dialog, if any, accepted as it opens) and
// closes it.
#include "app/Seams.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QRegularExpression>
#include <QTimer>

struct VisualizacaoVista {
    bool aberta = false;
    int paginas = 0;
    QString titulo;
    bool temImprimir = false;   // the preview's own print button (any installed printer)
    bool imprimir = false;      // set before: press the print button instead of saving
    bool abertaAposImprimir = false;
};

// Call right before the click; `vista` and `dialogo` must outlive the click.
inline void aoAbrirVisualizacao(VisualizacaoVista& vista, DialogoArquivo::Gravador& dialogo, const QString& arquivoPdf)
{
    auto* espera = new QTimer;
    auto* relogio = new QElapsedTimer;
    relogio->start();
    espera->setInterval(20);
    QObject::connect(espera, &QTimer::timeout, [espera, relogio, &vista, &dialogo, arquivoPdf] {
        auto* d = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        if (!d) {
            if (relogio->elapsed() > 15000) {
                espera->deleteLater();
                delete relogio;
            }
            return;
        }
        espera->stop();
        espera->deleteLater();
        delete relogio;
        vista.aberta = true;
        vista.titulo = d->windowTitle();
        if (auto* w = d->findChild<QPrintPreviewWidget*>())
            vista.paginas = w->pageCount();
        QAction* imprimir = d->findChild<QAction*>(QStringLiteral("acaoImprimir"));
        vista.temImprimir = imprimir != nullptr;
        if (vista.imprimir && imprimir) {
            QTimer aceita;
            aceita.setInterval(20);
            QObject::connect(&aceita, &QTimer::timeout, [] {
                if (auto* escolha = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget()))
                    escolha->accept();
            });
            aceita.start();
            imprimir->trigger();
            vista.abertaAposImprimir = d->isVisible();
            if (vista.abertaAposImprimir)
                d->reject();
            return;
        }
        if (!arquivoPdf.isEmpty()) {
            dialogo.proximoArquivo(arquivoPdf);
            if (auto* salvar = d->findChild<QAction*>(QStringLiteral("acaoSalvarPdf")))
                salvar->trigger();
        }
        d->reject();
    });
    espera->start();
}

// A PDF's bytes without what changes from one run to the next (creation date, document id).
inline QByteArray pdfSemData(const QString& arquivo)
{
    QFile f(arquivo);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray b = f.readAll();
    static const QRegularExpression data(QStringLiteral(R"(/CreationDate \([^)]*\))"));
    static const QRegularExpression id(QStringLiteral(R"(/ID \[[^\]]*\])"));
    QString t = QString::fromLatin1(b);
    t.replace(data, QString()).replace(id, QString());
    return t.toLatin1();
}
