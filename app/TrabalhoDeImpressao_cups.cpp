// A print job handed to CUPS: the PDF submitted through libcups, then followed in its queue.
#include "app/TrabalhoDeImpressao.h"
#include "app/BibliotecaCups.h"
#include "app/FilaDeImpressao.h"

#include <QFile>
#include <QPrinter>

void TrabalhoDeImpressao::preparaNoSistema(const QPageLayout& pagina)
{
    preparaPdf(pagina);
}

QString TrabalhoDeImpressao::submeteAoSistema(QWidget* dono)
{
    QString semCups;
    const BibliotecaCups::Funcoes* cups = BibliotecaCups::funcoes(&semCups);
    if (!cups)
        return semCups;
    // The queue may be an instance ("fila/instancia") with options of its own.
    const QByteArray nome = m_fila.section(u'/', 0, 0).toUtf8();
    const QByteArray instancia = m_fila.section(u'/', 1).toUtf8();
    cups_dest_t* destino = cups->cupsGetNamedDest(CUPS_HTTP_DEFAULT, nome.constData(),
                                                  instancia.isEmpty() ? nullptr : instancia.constData());
    int numeroDeOpcoes = 0;
    cups_option_t* opcoes = nullptr;
    for (int i = 0; destino && i < destino->num_options; ++i)
        numeroDeOpcoes =
            cups->cupsAddOption(destino->options[i].name, destino->options[i].value, numeroDeOpcoes, &opcoes);
    if (m_copias > 1)
        numeroDeOpcoes =
            cups->cupsAddOption("copies", QByteArray::number(m_copias).constData(), numeroDeOpcoes, &opcoes);
    const QString endereco = QString::fromUtf8(
        destino ? cups->cupsGetOption("printer-uri-supported", destino->num_options, destino->options) : "");
    const int numero = cups->cupsPrintFile2(CUPS_HTTP_DEFAULT, nome.constData(),
                                            QFile::encodeName(m_arquivo).constData(), m_titulo.toUtf8().constData(),
                                            numeroDeOpcoes, opcoes);
    const QString erro = QString::fromUtf8(cups->cupsLastErrorString());
    cups->cupsFreeOptions(numeroDeOpcoes, opcoes);
    if (destino)
        cups->cupsFreeDests(1, destino);
    if (numero <= 0)
        return erro.isEmpty() ? QStringLiteral("O sistema de impressão recusou o trabalho") : erro;
    m_numero = numero;

    // Taking the job is not printing it: a paused queue takes them all.
    if (endereco.isEmpty())
        return QString();
    return conclui(FilaDeImpressao::acompanha(endereco, numero), dono);
}

