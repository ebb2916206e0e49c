#include "support/AmbienteDeTeste.h"
#include "ServidorReal.h"
#include "ServidorRoteirizado.h"
#include "connection/Requisicao.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"
#include "search/PainelFiltroBusca.h"
#include "search/SlotDeBusca.h"
#include "search/frmLocalizar.h"

#include <QLabel>
#include "search/ListaDeResultados.h"
#include <QPushButton>

// The member search as an operator uses it: against the registry server for what it finds,
// against a scripted server for the failures.
class tst_frmLocalizar : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorReal> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    frmPrincipal* principal = nullptr;

    void inclui(qint32 numero, const QString& nome, const QDate& data)
    {
        clsAgenda f;
        f.numeroFicha = numero;
        f.nome = nome;
        f.Data = data;
        f.departamento = globais().usuarioLogado->departamento;
        QVERIFY(Requisita(nullptr, principal->timerTimeOut, f.toPipeStringWithCommand(8), {9}));
    }
    static QStringList linhas(ListaDeResultados* l)
    {
        QStringList r;
        for (int i = 0; i < l->count(); ++i)
            r << l->linha(i);
        return r;
    }
    static void preenche(frmLocalizar& d, const QString& numero, const QString& nome, const QString& ini, const QString& fim)
    {
        PainelFiltroBusca* f = d.frameFiltroPesquisa;
        for (auto [caixa, t] : {std::pair{f->txtNFicha, numero}, {f->txtNome, nome}, {f->txtDataInicial, ini}, {f->txtDataFinal, fim}}) {
            caixa->clear();
            digitaTexto(caixa, t);
        }
    }
    int pedidos() const { return servidor->diario().count(u'\n'); }

private slots:
    void initTestCase()
    {
        servidor = std::make_unique<ServidorReal>(0);
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        principal = entrada->entraNoServidor(*servidor);
        QVERIFY2(principal, qPrintable(entrada->erro));
        // Inserted out of name order, so the server's order is visible in the list.
        inclui(12, QStringLiteral("Carlos Prado Nunes"), QDate(2023, 1, 1));
        inclui(10, QStringLiteral("Abigail Nunes"), QDate(2021, 3, 5));
        inclui(11, QStringLiteral("Bruno Ribeiro"), QDate(2022, 6, 10));
        caixas->limpa();
    }
    void cleanupTestCase()
    {
        entrada.reset();
        caixas.reset();
        servidor.reset();
    }
    void init() { caixas->limpa(); }

    void busca_data()
    {
        QTest::addColumn<QString>("numero");
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QString>("inicial");
        QTest::addColumn<QString>("final_");
        QTest::addColumn<QStringList>("esperado");
        QTest::newRow("por nome") << "" << "Nunes" << "" << ""
                                  << QStringList{"10\t05/03/2021\tAbigail Nunes", "12\t01/01/2023\tCarlos Prado Nunes"};
        QTest::newRow("por periodo") << "" << "" << "01/01/2022" << "01/01/2023"
                                     << QStringList{"11\t10/06/2022\tBruno Ribeiro", "12\t01/01/2023\tCarlos Prado Nunes"};
        QTest::newRow("mesmo dia") << "" << "" << "05/03/2021" << "05/03/2021" << QStringList{"10\t05/03/2021\tAbigail Nunes"};
        QTest::newRow("por numero") << "11" << "" << "" << "" << QStringList{"11\t10/06/2022\tBruno Ribeiro"};
    }
    void busca()
    {
        QFETCH(QString, numero);
        QFETCH(QString, nome);
        QFETCH(QString, inicial);
        QFETCH(QString, final_);
        QFETCH(QStringList, esperado);
        frmLocalizar d(principal);
        d.show();
        preenche(d, numero, nome, inicial, final_);
        d.btnLocalizar->click();
        QCOMPARE(caixas->caixas().size(), 0);
        // The list keeps the server's order, whatever it is.
        QStringList lista = linhas(d.lstResultados);
        QStringList ordenada = lista;
        ordenada.sort();
        QCOMPARE(ordenada, esperado);
        QCOMPARE(d.slot->membrosEncontrados->size(), lista.size());
        for (int i = 0; i < lista.size(); ++i)
            QCOMPARE(lista[i], SlotDeBusca::FormataItemLista(d.slot->membrosEncontrados->at(i)));
    }

    void nenhumRegistroEsvaziaALista()
    {
        frmLocalizar d(principal);
        d.show();
        preenche(d, QString(), QStringLiteral("Nunes"), QString(), QString());
        d.btnLocalizar->click();
        QCOMPARE(d.lstResultados->count(), 2);
        preenche(d, QString(), QStringLiteral("Ninguém"), QString(), QString());
        d.btnLocalizar->click();
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Nenhum Registro"));
        QCOMPARE(caixas->caixas().first().texto, QStringLiteral("Nenhum registro foi encontrado atendendo o critério informado"));
        QCOMPARE(d.lstResultados->count(), 0);
    }

    void okCarregaOMembro()
    {
        frmLocalizar d(principal);
        d.show();
        d.btnOk->click();
        QCOMPARE(caixas->caixas().value(0).titulo, QStringLiteral("Lista Vazia"));
        preenche(d, QString(), QStringLiteral("Bruno"), QString(), QString());
        d.btnLocalizar->click();
        d.btnOk->click();
        QCOMPARE(caixas->caixas().value(1).titulo, QStringLiteral("Selecione um Registro"));
        QVERIFY(d.isVisible());

        d.lstResultados->setCurrentRow(0);
        d.btnOk->click();
        QCOMPARE(caixas->caixas().size(), 2);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(principal->membros.numeroFicha, 11);
        QCOMPARE(principal->ficha->texto(QStringLiteral("txtNome")), QStringLiteral("Bruno Ribeiro"));
        QCOMPARE(principal->ficha->texto(QStringLiteral("txtNFicha")), QStringLiteral("11"));
        QCOMPARE(principal->ficha->texto(QStringLiteral("txtData")), QStringLiteral("10/06/2022"));
    }

    void validacao_data()
    {
        QTest::addColumn<QString>("numero");
        QTest::addColumn<QString>("inicial");
        QTest::addColumn<QString>("final_");
        QTest::addColumn<QString>("erroNumero");
        QTest::addColumn<QString>("erroInicial");
        QTest::addColumn<QString>("erroFinal");
        const QString intervalo = QStringLiteral("Intervalo Inválido"), data = QStringLiteral("Valor de data inválido");
        QTest::newRow("so inicial") << "" << "01/01/2022" << "" << "" << intervalo << intervalo;
        QTest::newRow("so final") << "" << "" << "01/01/2022" << "" << intervalo << intervalo;
        QTest::newRow("31 de fevereiro") << "" << "31/02/2020" << "" << "" << data << "";
        QTest::newRow("final invalida") << "" << "01/01/2020" << "1/1/2021" << "" << "" << data;
        QTest::newRow("invertido") << "" << "10/01/2022" << "01/01/2022" << "" << intervalo << intervalo;
        QTest::newRow("numero com letras") << "1a" << "" << "" << "Valor numérico inválido" << "" << "";
        QTest::newRow("numero grande") << "3000000000" << "" << "" << "Valor numérico inválido" << "" << "";
    }
    void validacao()
    {
        QFETCH(QString, numero);
        QFETCH(QString, inicial);
        QFETCH(QString, final_);
        QFETCH(QString, erroNumero);
        QFETCH(QString, erroInicial);
        QFETCH(QString, erroFinal);
        frmLocalizar d(principal);
        d.show();
        const int antes = pedidos();
        preenche(d, numero, QString(), inicial, final_);
        d.btnLocalizar->click();
        QCOMPARE(d.frameFiltroPesquisa->lblNFichaErro->text(), erroNumero);
        QCOMPARE(d.frameFiltroPesquisa->lblDataInicialErro->text(), erroInicial);
        QCOMPARE(d.frameFiltroPesquisa->lblDataFinalErro->text(), erroFinal);
        QCOMPARE(caixas->caixas().size(), 0);
        QCOMPARE(pedidos(), antes);
        QVERIFY(!d.slot->membrosEncontrados);
    }
};

// The same dialog against a scripted server: the failures of the request.
class tst_frmLocalizarFalhas : public QObject {
    Q_OBJECT
private slots:
    void falhas_data()
    {
        QTest::addColumn<ServidorRoteirizado::Roteiro>("roteiro");
        QTest::addColumn<QString>("titulo");
        QTest::newRow("tempo esgotado") << ServidorRoteirizado::silencio() << "Sem Resposta";
        QTest::newRow("falha") << ServidorRoteirizado::responde(QStringLiteral("0")) << "Falha no Comando";
        QTest::newRow("desconhecido") << ServidorRoteirizado::responde(QStringLiteral("55|x")) << "Comando Desconhecido";
        QTest::newRow("130 por 13") << ServidorRoteirizado::responde(QStringLiteral("130|7|x")) << "Comando Desconhecido";
        QTest::newRow("140 por 14") << ServidorRoteirizado::responde(QStringLiteral("140")) << "Comando Desconhecido";
    }
    void falhas()
    {
        QFETCH(ServidorRoteirizado::Roteiro, roteiro);
        QFETCH(QString, titulo);
        ServidorRoteirizado servidor;
        servidor.aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("4|operador|x|1|Secretaria")));
        const clsAgenda um = [] {
            clsAgenda a;
            a.numeroFicha = 7;
            a.nome = QStringLiteral("Débora");
            a.Data = QDate(2020, 2, 29);
            return a;
        }();
        servidor.aoProximoPedido(ServidorRoteirizado::responde(clsAgenda::collectionToPipeStringWithCommand({um}, 13)));
        servidor.aoProximoPedido(roteiro);
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        // No lookup file here: one message when the member window loads, and nothing else.
        BancoLocal::defineCaminhoParaTeste(entrada.pasta.filePath(QStringLiteral("nao-existe.db")));
        frmPrincipal* principal = entrada.entra(servidor.host(), servidor.porta(), QStringLiteral("operador"),
                                                QStringLiteral("x"), 1);
        QVERIFY(principal);
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Banco de Dados Local"));
        caixas.limpa();
        frmLocalizar d(principal);
        d.show();
        d.btnLocalizar->click();
        QCOMPARE(d.lstResultados->count(), 1);
        QCOMPARE(d.lstResultados->linha(0), QStringLiteral("7\t29/02/2020\tDébora"));
        QVERIFY(servidor.recebidas().last().startsWith(QStringLiteral("12|0||30/12/1899|30/12/1899|1|")));

        d.btnLocalizar->click();
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().titulo, titulo);
        QCOMPARE(caixas.caixas().first().icone, Caixas::Icone::Erro);
        QCOMPARE(d.lstResultados->count(), 0);
        QVERIFY(!d.slot->membrosEncontrados);
    }
};

// The list keeps the order the server sent, whatever order the numbers, names or dates
// would sort in: line n is member n+1 of the reply.
class tst_frmLocalizarOrdem : public QObject {
    Q_OBJECT
private slots:
    void ordemDaResposta()
    {
        ServidorRoteirizado servidor;
        servidor.aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("4|operador|x|1|Secretaria")));
        const auto ficha = [](qint32 numero, const QString& nome, const QDate& data) {
            clsAgenda a;
            a.numeroFicha = numero;
            a.nome = nome;
            a.Data = data;
            a.obs = QStringLiteral("e-mail@@igreja @");   // "@" beside the field's end, not a separator
            a.departamento.idDepartamento = 1;
            a.departamento.dsDepartamento = QStringLiteral("Secretaria");
            return a;
        };
        const QList<clsAgenda> fichas = {ficha(12, QStringLiteral("Carlos"), QDate(2023, 1, 1)),
                                         ficha(10, QStringLiteral("Abigail"), QDate(2021, 3, 5)),
                                         ficha(11, QStringLiteral("Bruno"), QDate(2022, 6, 10))};
        servidor.aoProximoPedido(ServidorRoteirizado::responde(clsAgenda::collectionToPipeStringWithCommand(fichas, 13)));
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        BancoLocal::defineCaminhoParaTeste(entrada.pasta.filePath(QStringLiteral("nao-existe.db")));
        frmPrincipal* principal = entrada.entra(servidor.host(), servidor.porta(), QStringLiteral("operador"),
                                                QStringLiteral("x"), 1);
        QVERIFY(principal);
        caixas.limpa();
        frmLocalizar d(principal);
        d.show();
        d.btnLocalizar->click();
        QVERIFY(caixas.caixas().isEmpty());
        QCOMPARE(d.lstResultados->count(), 3);
        QCOMPARE(d.lstResultados->linha(0), QStringLiteral("12\t01/01/2023\tCarlos"));
        QCOMPARE(d.lstResultados->linha(1), QStringLiteral("10\t05/03/2021\tAbigail"));
        QCOMPARE(d.lstResultados->linha(2), QStringLiteral("11\t10/06/2022\tBruno"));
        QCOMPARE(d.slot->membrosEncontrados->at(2).obs, QStringLiteral("e-mail@@igreja @"));
    }
};

// Sheets are read one at a time, when chosen. A sheet whose number, date, department or piece
// count is broken still has the whole list refused, with the parser's own error; any other
// broken piece shows up when that sheet is chosen, through the error box, and the list stays.
class tst_frmLocalizarFichasQuebradas : public QObject {
    Q_OBJECT

    static QList<clsAgenda> fichas()
    {
        QList<clsAgenda> r;
        for (int i = 0; i < 3; ++i) {
            clsAgenda a;
            a.numeroFicha = 20 + i;
            a.nome = QStringLiteral("Ficha %1").arg(i);
            a.Data = QDate(2020, 1, 1 + i);
            a.departamento.idDepartamento = 1;
            a.departamento.dsDepartamento = QStringLiteral("Secretaria");
            r << a;
        }
        return r;
    }
    // The reply with piece `peca` of the second sheet replaced (or, with peca < 0, the sheet cut
    // to its first 40 pieces).
    static QString estraga(int peca, const QString& por)
    {
        const QString certa = clsAgenda::collectionToPipeStringWithCommand(fichas(), 13);
        const qsizetype barra = certa.indexOf(u'|');
        QStringList lista = certa.mid(barra + 1).split(QStringLiteral("@@@"));
        QStringList pecas = lista[1].split(u'|');
        if (peca < 0)
            pecas = pecas.mid(0, 40);
        else
            pecas[peca] = por;
        lista[1] = pecas.join(u'|');
        return certa.left(barra + 1) + lista.join(QStringLiteral("@@@"));
    }
    struct Sessao {
        ServidorRoteirizado servidor;
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        frmPrincipal* principal = nullptr;
        explicit Sessao(const QString& resposta)
        {
            servidor.aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("4|operador|x|1|Secretaria")));
            servidor.aoProximoPedido(ServidorRoteirizado::responde(resposta));
            BancoLocal::defineCaminhoParaTeste(entrada.pasta.filePath(QStringLiteral("nao-existe.db")));
            principal = entrada.entra(servidor.host(), servidor.porta(), QStringLiteral("operador"), QStringLiteral("x"), 1);
            caixas.limpa();
        }
    };

    // What reading every sheet of `resposta` says is wrong with it (empty when nothing is).
    static QString erroDaLeituraInteira(const QString& resposta)
    {
        try {
            clsAgenda::collectionFromPipeStringWithCommand(resposta);
        } catch (const ErroDeExecucao& e) {
            return e.descricao();
        }
        return QString();
    }

private slots:
    void listaRecusadaInteira_data()
    {
        QTest::addColumn<QString>("resposta");
        QTest::newRow("numero") << estraga(0, QStringLiteral("2x"));
        QTest::newRow("data") << estraga(9, QStringLiteral("31/02/2020"));
        QTest::newRow("departamento") << estraga(65, QStringLiteral("um"));
    }
    void listaRecusadaInteira()
    {
        QFETCH(QString, resposta);
        const QString esperado = erroDaLeituraInteira(resposta);
        QVERIFY(!esperado.isEmpty());
        Sessao s(resposta);
        QVERIFY(s.principal);
        frmLocalizar d(s.principal);
        d.show();
        d.btnLocalizar->click();
        QCOMPARE(s.caixas.caixas().size(), 1);
        QCOMPARE(s.caixas.caixas().first().icone, Caixas::Icone::Erro);
        QVERIFY2(s.caixas.caixas().first().texto.contains(esperado), qPrintable(s.caixas.caixas().first().texto));
        QCOMPARE(d.lstResultados->count(), 0);
        QVERIFY(!d.slot->membrosEncontrados);
    }

    // The same refusals, and the short sheets (which a reply without the agreed framing never
    // gets through as complete), read straight: the same error as reading every sheet.
    void leituraDaResposta_data()
    {
        listaRecusadaInteira_data();
        QTest::newRow("pecas de menos") << estraga(-1, QString());
        QTest::newRow("ficha vazia") << clsAgenda::collectionToPipeStringWithCommand(fichas(), 13) + QStringLiteral("@@@");
        QTest::newRow("so arrobas") << QStringLiteral("13|@@@");
    }
    void leituraDaResposta()
    {
        QFETCH(QString, resposta);
        const QString esperado = erroDaLeituraInteira(resposta);
        QString obtido;
        try {
            ListaDeFichas lista(resposta);
        } catch (const ErroDeExecucao& e) {
            obtido = e.descricao();
        }
        QVERIFY(!esperado.isEmpty());
        QCOMPARE(obtido, esperado);
    }

    // Read straight, a good list gives the same members and lines as reading every sheet.
    void listaBoa()
    {
        QList<clsAgenda> todas = fichas();
        todas[1].obs = QStringLiteral("fim @@");
        todas[2].Data = QDate(1899, 12, 30);
        // Kept as Windows-1252 bytes, decoded per line: the code page's own letters come back.
        todas[0].nome = QStringLiteral("Zé Šimão “Œ” €");
        const QString resposta = clsAgenda::collectionToPipeStringWithCommand(todas, 13);
        const ListaDeFichas lista(resposta);
        QCOMPARE(lista.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(lista.at(i), todas[i]);
            QCOMPARE(lista.linha(i), SlotDeBusca::FormataItemLista(todas[i]));
        }
        QVERIFY(ListaDeFichas(QStringLiteral("13|")).isEmpty());
    }

    void fichaQuebradaSoAoEscolher()
    {
        const QString resposta = estraga(10, QStringLiteral("dez reais"));   // Valor
        const QString esperado = erroDaLeituraInteira(resposta);
        QVERIFY(!esperado.isEmpty());
        Sessao s(resposta);
        QVERIFY(s.principal);
        frmLocalizar d(s.principal);
        d.show();
        d.btnLocalizar->click();
        QVERIFY(s.caixas.caixas().isEmpty());
        QCOMPARE(d.lstResultados->count(), 3);
        QCOMPARE(d.lstResultados->linha(1), QStringLiteral("21\t02/01/2020\tFicha 1"));

        d.lstResultados->setCurrentRow(1);
        d.btnOk->click();
        QCOMPARE(s.caixas.caixas().size(), 1);
        QCOMPARE(s.caixas.caixas().first().icone, Caixas::Icone::Erro);
        QVERIFY2(s.caixas.caixas().first().texto.contains(esperado), qPrintable(s.caixas.caixas().first().texto));
        QVERIFY(d.isVisible());
        QCOMPARE(d.lstResultados->count(), 3);
        QCOMPARE(s.principal->membros.numeroFicha, 0);

        // The others are still there to choose.
        d.lstResultados->setCurrentRow(2);
        d.btnOk->click();
        QCOMPARE(s.caixas.caixas().size(), 1);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(s.principal->membros.numeroFicha, 22);
        QCOMPARE(s.principal->membros.nome, QStringLiteral("Ficha 2"));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int r = 0;
    {
        tst_frmLocalizar t;
        r |= QTest::qExec(&t, argc, argv);
    }
    {
        tst_frmLocalizarFalhas t;
        r |= QTest::qExec(&t, argc, argv);
    }
    {
        tst_frmLocalizarOrdem t;
        r |= QTest::qExec(&t, argc, argv);
    }
    {
        tst_frmLocalizarFichasQuebradas t;
        r |= QTest::qExec(&t, argc, argv);
    }
    return r;
}
#include "tst_frmLocalizar.moc"
