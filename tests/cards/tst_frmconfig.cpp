// The card layout window: its 105 boxes bound to the one record of configcredencial.
#include "support/AmbienteDeTeste.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "cards/CamposDaCarteira.h"
#include "cards/FrmConfig.h"

#include <QLabel>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class tst_FrmConfig : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;
    QString m_banco;

    // What the table holds, read straight from the file.
    QString naTabela(const QString& coluna)
    {
        QString valor;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("conferencia"));
            db.setDatabaseName(m_banco);
            db.open();
            QSqlQuery q(QStringLiteral("SELECT %1 FROM configcredencial").arg(coluna), db);
            if (q.next())
                valor = q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("conferencia"));
        return valor;
    }

    static void digita(FrmConfig& janela, const char* coluna, const QString& texto)
    {
        QLineEdit* caixa = janela.findChild<QLineEdit*>(QStringLiteral("txt") + QLatin1String(coluna));
        QVERIFY(caixa);
        caixa->selectAll();
        QTest::keyClick(caixa, Qt::Key_Delete);
        QTest::keyClicks(caixa, texto);
    }

private slots:
    void init()
    {
        m_banco = m_pasta.filePath(QStringLiteral("local.db"));
        const QString erro = criaBancoLocalDeTeste(m_pasta, QStringLiteral("local.db"));
        QVERIFY2(erro.isEmpty(), qPrintable(erro));
    }

    void mostraORegistroNasCentoECincoCaixas()
    {
        FrmConfig janela;
        QVERIFY(janela.carregado());
        QCOMPARE(janela.erro(), QString());
        QCOMPARE(janela.windowTitle(), QStringLiteral(" Configurações da Carteirinha de Membros"));
        // The layout's 105; the machine's calibration has its own three in its own frame.
        auto caixas = janela.findChildren<QLineEdit*>();
        caixas.removeIf([](QLineEdit* c) { return c->parentWidget()->objectName() == QLatin1String("frameCalibracao"); });
        QCOMPARE(caixas.size(), 105);
        for (QLineEdit* caixa : caixas) {
            const QString coluna = caixa->objectName().mid(3);
            QCOMPARE(caixa->text(), naTabela(coluna));
            QVERIFY2(!caixa->text().isEmpty(), qPrintable(coluna));
        }
        for (const char* grupo : {"01", "02", "03", "04", "05"}) {
            bool achou = false;
            for (QLabel* l : janela.findChildren<QLabel*>())
                achou = achou || l->text() == QLatin1String(grupo);
            QVERIFY2(achou, grupo);
        }
    }

    // Every card of the shipped layout fits an ID-1 card (85,6 x 54 mm) and the five fit A4.
    void layoutPadraoCabeNaFolha()
    {
        FrmConfig janela;
        constexpr double mm = 1440 / 25.4;
        for (int c = 1; c <= carteirasPorFolha; ++c) {
            QCOMPARE(janela.valor(fonteDaCarteira(c)).toDouble(), 9.0);
            for (const CampoDaCarteira& campo : camposDaCarteira()) {
                const double x = janela.valor(colunaDoCampo(campo, c)).toDouble();
                const double y = janela.valor(linhaDoCampo(campo, c)).toDouble();
                QVERIFY(x >= 0 && x < 190 * mm);
                QVERIFY(y >= 0 && y + 9 * 20 < 277 * mm);
                // Inside its own card: the card of row c spans 55 mm per row.
                QVERIFY2(y >= (c - 1) * 55 * mm && y + 9 * 20 <= (c - 1) * 55 * mm + 54 * mm,
                         qPrintable(linhaDoCampo(campo, c)));
            }
        }
    }

    void fecharGravaEReabrirMostra()
    {
        {
            FrmConfig janela;
            janela.show();
            digita(janela, "nomex2", QStringLiteral("6000"));
            digita(janela, "fonte1", QStringLiteral("abc"));   // any text is kept
            QCOMPARE(naTabela(QStringLiteral("nomex2")), QStringLiteral("300"));   // not before closing
            janela.close();
        }
        QCOMPARE(naTabela(QStringLiteral("nomex2")), QStringLiteral("6000"));
        QCOMPARE(naTabela(QStringLiteral("fonte1")), QStringLiteral("abc"));
        QCOMPARE(naTabela(QStringLiteral("fonte2")), QStringLiteral("9"));
        FrmConfig reaberta;
        QCOMPARE(reaberta.valor(QStringLiteral("nomex2")), QStringLiteral("6000"));
        QCOMPARE(reaberta.valor(QStringLiteral("fonte1")), QStringLiteral("abc"));
    }

    // The print commands read a window loaded hidden; after the operator changes the layout
    // through "Config" it reads the new values.
    void instanciaDaImpressaoVeAsMudancas()
    {
        FrmConfig* lida = FrmConfig::instancia();
        QVERIFY(lida && !lida->isVisible());
        QCOMPARE(lida->valor(QStringLiteral("nomey4")), naTabela(QStringLiteral("nomey4")));
        QPointer<FrmConfig> vista;
        QTimer::singleShot(0, this, [&] {
            vista = qobject_cast<FrmConfig*>(QApplication::activeModalWidget());
            QVERIFY(vista);
            digita(*vista, "nomey4", QStringLiteral("7777"));
            vista->close();
        });
        FrmConfig::mostra(nullptr);
        QVERIFY(!vista);   // unloaded on close
        QCOMPARE(naTabela(QStringLiteral("nomey4")), QStringLiteral("7777"));
        QCOMPARE(FrmConfig::instancia()->valor(QStringLiteral("nomey4")), QStringLiteral("7777"));
        delete FrmConfig::instancia();
    }

    // A second window writing the table refreshes the hidden one the print commands read.
    void outraJanelaAtualizaAOculta()
    {
        FrmConfig* lida = FrmConfig::instancia();
        {
            FrmConfig outra;
            outra.show();
            digita(outra, "rgx3", QStringLiteral("123"));
            outra.close();
        }
        QCOMPARE(lida->valor(QStringLiteral("rgx3")), QStringLiteral("123"));
        delete lida;
    }

    void tabelaSemRegistroGanhaUm()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("apaga"));
            db.setDatabaseName(m_banco);
            db.open();
            QSqlQuery(QStringLiteral("DELETE FROM configcredencial"), db);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("apaga"));
        {
            FrmConfig janela;
            QVERIFY(janela.carregado());
            QCOMPARE(janela.valor(QStringLiteral("nomex1")), QString());
            janela.show();
            digita(janela, "nomex1", QStringLiteral("500"));
            janela.close();
        }
        QCOMPARE(naTabela(QStringLiteral("nomex1")), QStringLiteral("500"));
    }

    void arquivoAusente()
    {
        BancoLocal::defineCaminhoParaTeste(m_pasta.filePath(QStringLiteral("nao-existe.db")));
        Caixas::Gravador caixas;
        QTimer::singleShot(0, this, [] {
            if (QWidget* w = QApplication::activeModalWidget())
                w->close();
        });
        FrmConfig::mostra(nullptr);
        QCOMPARE(caixas.caixas().size(), 1);
        QVERIFY(caixas.caixas().first().texto.contains(QStringLiteral("nao-existe.db")));
        FrmConfig* lida = FrmConfig::instancia();
        QVERIFY(!lida->carregado());
        QCOMPARE(lida->valor(QStringLiteral("nomex1")), QString());
        delete lida;
    }
};

QTEST_MAIN(tst_FrmConfig)
#include "tst_frmconfig.moc"
