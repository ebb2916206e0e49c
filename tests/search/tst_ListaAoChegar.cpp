#include "support/AmbienteDeTeste.h"
#include "ServidorRoteirizado.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Wire.h"
#include "search/ListaDeFichas.h"
#include "search/ListaDeResultados.h"
#include "search/SlotDeBusca.h"
#include "search/frmLocalizar.h"

#include <QLabel>
#include <QPushButton>

namespace {

QList<clsAgenda> fichas(int quantas)
{
    QList<clsAgenda> r;
    for (int i = 0; i < quantas; ++i) {
        clsAgenda a;
        a.numeroFicha = 100 + i;
        a.nome = QStringLiteral("Membro %1 da Silva").arg(i);
        a.Data = QDate(2020, 1, 1).addDays(i);
        a.obs = i % 7 == 0 ? QStringLiteral("e-mail@@igreja @") : QString();
        a.departamento.idDepartamento = 1;
        a.departamento.dsDepartamento = QStringLiteral("Secretaria");
        r << a;
    }
    return r;
}

QString lista(int quantas)
{
    return clsAgenda::collectionToPipeStringWithCommand(fichas(quantas), 13);
}

// The reply with the date of sheet `n` broken.
QString comDataQuebrada(int quantas, int n)
{
    const QString certa = lista(quantas);
    QStringList partes = certa.mid(3).split(QStringLiteral("@@@"));
    QStringList pecas = partes[n].split(u'|');
    pecas[9] = QStringLiteral("31/02/2020");
    partes[n] = pecas.join(u'|');
    return QStringLiteral("13|") + partes.join(QStringLiteral("@@@"));
}

// What a list read in one go says: its lines, or the parser's error.
QStringList leInteira(const QByteArray& resposta, QString& erro)
{
    QStringList linhas;
    try {
        const ListaDeFichas l(resposta);
        for (qsizetype i = 0; i < l.size(); ++i)
            linhas << l.linha(i);
    } catch (const ErroDeExecucao& e) {
        erro = e.descricao();
    }
    return linhas;
}

// Line k of a reply, from its sheet alone (empty when that sheet is broken).
QString linhaDaFicha(const QString& resposta, qsizetype k)
{
    const QStringList partes = resposta.mid(3).split(QStringLiteral("@@@"));
    clsAgenda a;
    try {
        a.fromPipeString(partes.value(k));
    } catch (const ErroDeExecucao&) {
        return QString();
    }
    return SlotDeBusca::FormataItemLista(a);
}

} // namespace

// A list read as its reply arrives, in cuts of every size, ends as the list read in one go:
// the same lines, or the same error.
class tst_ListaDeFichasAoChegar : public QObject {
    Q_OBJECT
private slots:
    void mesmaListaEmQualquerCorte_data()
    {
        QTest::addColumn<QString>("resposta");
        QTest::addColumn<int>("corte");
        const QList<int> cortes{1, 2, 3, 7, 64, 501, 4096, 1 << 20};
        const QList<std::pair<const char*, QString>> respostas{
            {"vazia", QStringLiteral("13|")},
            {"uma", lista(1)},
            {"vinte", lista(20)},
            {"data quebrada", comDataQuebrada(20, 11)},
            {"arrobas no fim", lista(3) + QStringLiteral("@@@")},
            {"so arrobas", QStringLiteral("13|@@@")},
            {"ficha curta", lista(3) + QStringLiteral("@@@1|Ana")},
        };
        for (const auto& [nome, resposta] : respostas)
            for (const int corte : cortes)
                QTest::addRow("%s, %d", nome, corte) << resposta << corte;
    }
    void mesmaListaEmQualquerCorte()
    {
        QFETCH(QString, resposta);
        QFETCH(int, corte);
        const QByteArray bytes = Wire::codifica(resposta);
        QString erroEsperado;
        const QStringList esperadas = leInteira(bytes, erroEsperado);

        ListaDeFichas l;
        QByteArray chegou;
        qsizetype antes = 0;
        for (qsizetype i = 0; i < bytes.size(); i += corte) {
            chegou += bytes.mid(i, corte);
            if (!l.acompanha(chegou))
                break;
            // Only sheets whose end came are listed, never one fewer than before.
            QVERIFY(l.size() >= antes);
            antes = l.size();
            for (qsizetype k = 0; k < l.size(); ++k)
                QCOMPARE(l.linha(k), linhaDaFicha(resposta, k));
        }
        QString erro;
        try {
            l.conclui(chegou);
        } catch (const ErroDeExecucao& e) {
            erro = e.descricao();
        }
        QCOMPARE(erro, erroEsperado);
        if (erro.isEmpty()) {
            QCOMPARE(l.size(), esperadas.size());
            for (qsizetype k = 0; k < l.size(); ++k)
                QCOMPARE(l.linha(k), esperadas[k]);
        }
    }

    // A reply of another code lists nothing while it arrives.
    void outroCodigo()
    {
        ListaDeFichas l;
        QVERIFY(!l.acompanha(QByteArrayView("14|")));
        QCOMPARE(l.size(), 0);
    }
};

// The member search on a framed connection: a long list shows as it arrives, the status bar
// counts it, and it is whole or nothing.
class tst_ListaAoChegar : public QObject {
    Q_OBJECT

    static constexpr int total = 300;

    // What the operator could see while the list came: the lines on screen at each paint,
    // and the status line.
    struct Observacao : QObject {
        QListView* lista = nullptr;
        QLabel* status = nullptr;
        SlotDeBusca* slot = nullptr;
        QList<int> linhasPintadas;      // lines in the list at each paint of it
        QStringList situacoes;          // the status line at each new line
        bool listaAntesDoFim = false;   // membrosEncontrados was set while part of it was painted
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) {
                const int n = lista->model()->rowCount();
                linhasPintadas << n;
                listaAntesDoFim = listaAntesDoFim || (n < total && slot->membrosEncontrados.has_value());
            }
            return false;
        }
        void acompanha(frmLocalizar& d)
        {
            lista = d.lstResultados;
            status = d.lblStatus;
            slot = d.slot;
            lista->viewport()->installEventFilter(this);
            connect(lista->model(), &QAbstractItemModel::rowsInserted, this, [this] {
                situacoes << status->text();
            });
        }
        bool pintouParte() const
        {
            return std::any_of(linhasPintadas.begin(), linhasPintadas.end(), [](int n) { return n > 0 && n < total; });
        }
    };

    struct Sessao {
        ServidorRoteirizado servidor;
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        frmPrincipal* principal = nullptr;
        explicit Sessao(int timeOutSegundos = 10)
        {
            servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
            servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(QStringLiteral("4|operador|x|1|Secretaria")));
            BancoLocal::defineCaminhoParaTeste(entrada.pasta.filePath(QStringLiteral("nao-existe.db")));
            principal = entrada.entra(servidor.host(), servidor.porta(), QStringLiteral("operador"), QStringLiteral("x"),
                                      timeOutSegundos);
            caixas.limpa();
        }
    };

    // `texto` in frames of about twenty sheets, 40 ms apart; without its end frame when `semFim`.
    static ServidorRoteirizado::Roteiro emPartes(const QString& texto, bool semFim = false)
    {
        ServidorRoteirizado::Roteiro r = ServidorRoteirizado::emQuadros(texto, 12000, 40);
        if (semFim)
            r.removeLast();
        return r;
    }

private slots:
    void listaInteira()
    {
        Sessao s;
        QVERIFY(s.principal);
        const QString resposta = lista(total);
        s.servidor.aoProximoPedido(emPartes(resposta));
        frmLocalizar d(s.principal);
        d.show();
        Observacao o;
        o.acompanha(d);
        // A second click while the list comes is no second request, and takes nothing away.
        int pedidosNaSegundaVolta = -1;
        connect(d.lstResultados->model(), &QAbstractItemModel::rowsInserted, &o, [&] {
            if (pedidosNaSegundaVolta >= 0)
                return;
            const int linhas = d.lstResultados->count();
            d.btnLocalizar->click();
            QCOMPARE(d.lstResultados->count(), linhas);
            pedidosNaSegundaVolta = int(s.servidor.recebidas().size());
        });
        const int pedidos = int(s.servidor.recebidas().size()) + 1;
        d.btnLocalizar->click();

        QVERIFY(s.caixas.caixas().isEmpty());
        QCOMPARE(pedidosNaSegundaVolta, pedidos);
        QCOMPARE(s.servidor.recebidas().size(), pedidos);
        // Lines were on screen before the last part came, and the status bar counted them.
        QVERIFY2(o.pintouParte(), qPrintable(QString::number(o.linhasPintadas.size())));
        QVERIFY(o.situacoes.size() > 1);
        QVERIFY2(o.situacoes.first().startsWith(QStringLiteral("Recebendo a lista: ")), qPrintable(o.situacoes.first()));
        QVERIFY(o.situacoes.first().endsWith(QStringLiteral(" fichas até agora")));
        QVERIFY(!o.listaAntesDoFim);
        // Then the whole list, the same as read in one go.
        QCOMPARE(d.lstResultados->count(), total);
        QVERIFY(d.slot->membrosEncontrados);
        QCOMPARE(d.slot->membrosEncontrados->size(), total);
        const QList<clsAgenda> esperadas = fichas(total);
        for (int i : {0, 1, 150, total - 1}) {
            QCOMPARE(d.lstResultados->linha(i), SlotDeBusca::FormataItemLista(esperadas[i]));
            QCOMPARE(d.slot->membrosEncontrados->at(i), esperadas[i]);
        }
        QCOMPARE(d.lblStatus->text(), QStringLiteral("300 fichas na lista"));
        // What the operator chose while it came stays chosen.
        d.lstResultados->setCurrentRow(5);
        d.btnOk->click();
        QCOMPARE(s.principal->membros.numeroFicha, 105);
    }

    void listaQueNaoVemInteira_data()
    {
        QTest::addColumn<ServidorRoteirizado::Roteiro>("roteiro");
        QTest::addColumn<QString>("titulo");
        const QString resposta = lista(total);
        const ServidorRoteirizado::Roteiro metade = emPartes(resposta.left(resposta.size() / 2), true);
        QTest::newRow("derrubada no meio") << metade + ServidorRoteirizado::fecha() << "Erro no Socket";
        QTest::newRow("parada no meio") << metade << "Sem Resposta";
        QTest::newRow("ficha quebrada perto do fim") << emPartes(comDataQuebrada(total, total - 20)) << "Erro no Aplicativo";
    }
    void listaQueNaoVemInteira()
    {
        QFETCH(ServidorRoteirizado::Roteiro, roteiro);
        QFETCH(QString, titulo);
        Sessao s(1);
        QVERIFY(s.principal);
        s.servidor.aoProximoPedido(roteiro);
        frmLocalizar d(s.principal);
        d.show();
        Observacao o;
        o.acompanha(d);
        // The box runs an event loop of its own, which would paint what the list still shows.
        int linhasNaCaixa = -1;
        s.caixas.aoMostrar = [&](const Caixas::Registro&) {
            if (linhasNaCaixa < 0)
                linhasNaCaixa = d.lstResultados->count();
        };
        d.btnLocalizar->click();

        // It showed lines while it came, and left none behind; today's box says why.
        QVERIFY(o.pintouParte());
        QCOMPARE(linhasNaCaixa, 0);
        QCOMPARE(d.lstResultados->count(), 0);
        QVERIFY(!d.slot->membrosEncontrados);
        QCOMPARE(d.lblStatus->text(), QString());
        QCOMPARE(s.caixas.caixas().size(), 1);
        QCOMPARE(s.caixas.caixas().first().titulo, titulo);
        QCOMPARE(s.caixas.caixas().first().icone, Caixas::Icone::Erro);
        d.btnOk->click();
        QCOMPARE(s.caixas.caixas().value(1).titulo, QStringLiteral("Lista Vazia"));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int r = 0;
    {
        tst_ListaDeFichasAoChegar t;
        r |= QTest::qExec(&t, argc, argv);
    }
    {
        tst_ListaAoChegar t;
        r |= QTest::qExec(&t, argc, argv);
    }
    return r;
}
#include "tst_ListaAoChegar.moc"
