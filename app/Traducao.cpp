#include "app/Traducao.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool carregaTraducaoDoQt()
{
    if (!QCoreApplication::instance())
        return false;
    const QString pasta = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale ptBR(QLocale::Portuguese, QLocale::Brazil);
    // qtbase holds the widgets' and dialogs' texts; the older all-in-one file is the fallback.
    for (const QString& nome : {QStringLiteral("qtbase"), QStringLiteral("qt")}) {
        auto* tradutor = new QTranslator(QCoreApplication::instance());
        if (tradutor->load(ptBR, nome, QStringLiteral("_"), pasta) && QCoreApplication::installTranslator(tradutor))
            return true;
        delete tradutor;
    }
    return false;
}
