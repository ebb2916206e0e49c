// What the Windows spooler's printer and job states mean for a job the program just handed it:
// the same outcomes, boxes and texts as the CUPS follow-up.
#include "app/Caixas.h"
#include "app/FilaDoSpooler.h"
#include "app/TrabalhoDeImpressao.h"

#include <QDir>
#include <QPainter>
#include <QPrinterInfo>
#include <QUuid>
#include <QtTest>

#include <windows.h>
#include <winspool.h>

using FilaDeImpressao::Destino;

class tst_FilaDoSpooler : public QObject {
    Q_OBJECT

private slots:
    void interpreta_data()
    {
        QTest::addColumn<bool>("naFila");
        QTest::addColumn<quint32>("trabalho");
        QTest::addColumn<QString>("textoDoTrabalho");
        QTest::addColumn<quint32>("impressora");
        QTest::addColumn<quint32>("atributos");
        QTest::addColumn<int>("destino");      // -1: nothing yet, keep looking
        QTest::addColumn<bool>("filaParada");
        QTest::addColumn<QString>("motivo");   // part of the reason, "" for none

        const int papel = int(Destino::Papel), espera = int(Destino::Espera), perdido = int(Destino::Perdido);
        QTest::newRow("fora da fila: impresso") << false << 0u << "" << 0u << 0u << papel << false << "";
        QTest::newRow("impresso") << true << quint32(JOB_STATUS_PRINTED) << "" << 0u << 0u << papel << false << "";
        QTest::newRow("completo") << true << quint32(JOB_STATUS_COMPLETE) << "" << 0u << 0u << papel << false << "";
        QTest::newRow("no spool") << true << quint32(JOB_STATUS_SPOOLING) << "" << 0u << 0u << -1 << false << "";
        QTest::newRow("imprimindo") << true << quint32(JOB_STATUS_PRINTING) << "" << 0u << 0u << -1 << false << "";
        QTest::newRow("impressora pausada") << true << 0u << "" << quint32(PRINTER_STATUS_PAUSED) << 0u << espera << true << "";
        QTest::newRow("pausada e sem papel") << true << 0u << "" << quint32(PRINTER_STATUS_PAUSED | PRINTER_STATUS_PAPER_OUT) << 0u
                                             << espera << true << "";
        QTest::newRow("usar off-line") << true << 0u << "" << 0u << quint32(PRINTER_ATTRIBUTE_WORK_OFFLINE) << espera << true
                                       << "marcada para usar off-line";
        QTest::newRow("sem papel") << true << quint32(JOB_STATUS_PRINTING) << "" << quint32(PRINTER_STATUS_PAPER_OUT) << 0u
                                   << espera << true << "sem papel";
        QTest::newRow("desligada") << true << 0u << "" << quint32(PRINTER_STATUS_OFFLINE) << 0u << espera << true
                                   << "desligada ou desconectada";
        QTest::newRow("papel atolado") << true << 0u << "" << quint32(PRINTER_STATUS_PAPER_JAM) << 0u << espera << true << "atolou";
        QTest::newRow("erro do trabalho com texto do driver") << true << quint32(JOB_STATUS_ERROR) << "Tampa aberta" << 0u << 0u
                                                              << espera << true << "em erro (Tampa aberta)";
        QTest::newRow("trabalho pausado") << true << quint32(JOB_STATUS_PAUSED) << "" << 0u << 0u << espera << false << "";
        QTest::newRow("cancelado") << true << quint32(JOB_STATUS_DELETING) << "" << 0u << 0u << perdido << false << "";
        QTest::newRow("apagado com texto") << true << quint32(JOB_STATUS_DELETED) << "Cancelado pelo usuário" << 0u << 0u
                                           << perdido << false << "Cancelado pelo usuário";
        QTest::newRow("driver não imprime") << true << quint32(JOB_STATUS_BLOCKED_DEVQ) << "" << 0u << 0u << perdido << false << "";
        QTest::newRow("cancelado em impressora pausada") << true << quint32(JOB_STATUS_DELETING) << ""
                                                         << quint32(PRINTER_STATUS_PAUSED) << 0u << perdido << false << "";
    }
    void interpreta()
    {
        QFETCH(bool, naFila);
        QFETCH(quint32, trabalho);
        QFETCH(QString, textoDoTrabalho);
        QFETCH(quint32, impressora);
        QFETCH(quint32, atributos);
        QFETCH(int, destino);
        QFETCH(bool, filaParada);
        QFETCH(QString, motivo);

        const auto s = FilaDoSpooler::interpreta({naFila, trabalho, textoDoTrabalho, impressora, atributos});
        if (destino < 0) {
            QVERIFY(!s.has_value());
            return;
        }
        QVERIFY(s.has_value());
        QCOMPARE(int(s->destino), destino);
        QCOMPARE(s->filaParada, filaParada);
        if (motivo.isEmpty())
            QCOMPARE(s->motivo, QString());
        else
            QVERIFY2(s->motivo.contains(motivo), qPrintable(s->motivo));
    }

    // The operator reads the same box on Windows as on Debian.
    void caixaDaImpressoraPausada()
    {
        const auto s = FilaDoSpooler::interpreta({true, 0, {}, PRINTER_STATUS_PAUSED, 0});
        QVERIFY(s.has_value());
        QCOMPARE(FilaDeImpressao::tituloDaEspera(*s), u"Impressora Pausada");
        QVERIFY(FilaDeImpressao::textoDaEspera(*s, QStringLiteral("Sala"), QStringLiteral("Carteirinhas"))
                    .startsWith(u"A impressora \"Sala\" está pausada. O trabalho \"Carteirinhas\" foi aceito"));
    }

    // A printer the spooler does not know: no job to find, nothing to follow.
    void impressoraDesconhecida()
    {
        QCOMPARE(FilaDoSpooler::trabalhoPeloNome(QStringLiteral("Não existe 4f1c"), QStringLiteral("Carteirinhas")), 0ul);
        QCOMPARE(int(FilaDoSpooler::acompanha(QStringLiteral("Não existe 4f1c"), 7).destino), int(Destino::Papel));
    }

    // A print on a paused queue, as the program prints: on the default printer, under its
    // title. Under wine the spooler is CUPS, and scripts/windows/testes.sh starts a private
    // cupsd with one paused queue for this (ZELTO_CUPS_FILA_PAUSADA, its spool folder in
    // ZELTO_CUPS_SPOOL). Wine's spooler lists no jobs (EnumJobs answers none) and shows every
    // printer as ready, so there the job cannot be followed; it must still reach the queue
    // under its title, accepted and with no box. Where the spooler does list it, the operator
    // reads the paused printer's box.
    void filaPausada()
    {
        const QString fila = qEnvironmentVariable("ZELTO_CUPS_FILA_PAUSADA");
        const QString spool = qEnvironmentVariable("ZELTO_CUPS_SPOOL");
        if (fila.isEmpty() || spool.isEmpty())
            QSKIP("sem a fila pausada do cupsd que scripts/windows/testes.sh inicia");
        QCOMPARE(QPrinterInfo::defaultPrinterName(), fila);

        Caixas::Gravador caixas;
        const QString titulo = QStringLiteral("Carteirinhas ") + QUuid::createUuid().toString(QUuid::Id128).left(8);
        TrabalhoDeImpressao trabalho(titulo);
        QVERIFY(trabalho.impressora());
        {
            QPainter pintor(trabalho.impressora());
            pintor.drawRect(100, 100, 400, 200);
        }
        QCOMPARE(trabalho.envia(), QString());

        // The queue keeps the job: its document names the title the program gave it.
        bool naFila = false;
        const QDir pasta(spool);
        for (const QString& nome : pasta.entryList({QStringLiteral("d*")}, QDir::Files)) {
            QFile f(pasta.filePath(nome));
            if (f.open(QIODevice::ReadOnly) && f.read(4096).contains("%%Title: " + titulo.toUtf8()))
                naFila = true;
        }
        QVERIFY2(naFila, qPrintable(QStringLiteral("nenhum trabalho \"%1\" na fila %2").arg(titulo, fila)));

        if (trabalho.numero() == 0) {
            // Nothing the spooler could show: no box, nothing said to have stayed in the queue.
            QVERIFY(!trabalho.ficouNaFila());
            QCOMPARE(caixas.caixas().size(), 0);
            return;
        }
        QVERIFY(trabalho.ficouNaFila());
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().titulo, u"Impressora Pausada");
        QVERIFY(caixas.caixas().first().texto.startsWith(
            QStringLiteral("A impressora \"%1\" está pausada. O trabalho \"%2\" foi aceito").arg(fila, titulo)));
    }
};

QTEST_MAIN(tst_FilaDoSpooler)
#include "tst_filadospooler.moc"
