#include "support/AmbienteDeTeste.h"
#include "ServidorReal.h"
#include "ServidorRoteirizado.h"
#include "connection/Requisicao.h"
#include "protocol/modCommands.h"
#include "members/frmHistorico.h"
#include "protocol/Historico.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <ctime>

using Roteiro = ServidorRoteirizado::Roteiro;
using Negociacao = ServidorRoteirizado::Negociacao;

Q_DECLARE_METATYPE(Negociacao)

// The sheet history as the operator reaches it from the member window, against a scripted
// server that keeps histories (or does not).
class tst_frmHistorico : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorRoteirizado> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    frmPrincipal* janela = nullptr;
    bool enquadrada = false;

    // Logs in on a server that agrees as `modo` says, granting the history when `historico`.
    void entra(Negociacao modo, bool historico)
    {
        servidor->defineNegociacao(modo);
        if (historico)
            servidor->defineCapacidades({QLatin1String(Historico::capacidade)});
        enquadrada = modo == Negociacao::Aceita;
        responde(QStringLiteral("4|operador|x|1|Secretaria"));
        janela = entrada->entra(servidor->host(), servidor->porta(), QStringLiteral("operador"), QStringLiteral("x"));
        QVERIFY(janela);
        caixas->limpa();
    }
    void responde(const QString& texto)
    {
        servidor->aoProximoPedido(enquadrada ? ServidorRoteirizado::emQuadros(texto) : ServidorRoteirizado::responde(texto));
    }
    // A sheet on screen, put there as the member search's "OK" does.
    void carrega(qint32 numero, const QString& nome)
    {
        janela->membros = clsAgenda();
        janela->membros.numeroFicha = numero;
        janela->membros.nome = nome;
        janela->AtualizaGUI();
    }
    // The history window on screen (a closed one may still wait to be deleted).
    frmHistorico* historico() const
    {
        QList<frmHistorico*> vistas;
        for (frmHistorico* h : janela->findChildren<frmHistorico*>(QString(), Qt::FindDirectChildrenOnly))
            if (h->isVisible())
                vistas << h;
        return vistas.size() == 1 ? vistas.first() : nullptr;
    }
    static QStringList linhas(const QTreeWidget* lista)
    {
        QStringList r;
        for (int i = 0; i < lista->topLevelItemCount(); ++i) {
            QStringList colunas;
            for (int c = 0; c < lista->columnCount(); ++c)
                colunas << lista->topLevelItem(i)->text(c);
            r << colunas.join(QStringLiteral(" | "));
        }
        return r;
    }
    static QDateTime utc(const char* texto) { return QDateTime::fromString(QString::fromLatin1(texto), Qt::ISODate); }

private slots:
    void initTestCase()
    {
        // Three hours behind UTC, and a machine in English: the window must show neither
        // the server's UTC nor the machine's formats.
        qputenv("TZ", "BRT3");
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init()
    {
        servidor = std::make_unique<ServidorRoteirizado>();
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        QVERIFY(entrada->preparaBancoLocal().isEmpty());
    }
    void cleanup()
    {
        entrada.reset();
        caixas.reset();
        servidor.reset();
        janela = nullptr;
    }

    // Only a server that keeps histories shows the button; only a sheet with a number enables it.
    void botaoSegueOServidor_data()
    {
        QTest::addColumn<Negociacao>("modo");
        QTest::addColumn<bool>("concede");
        QTest::addColumn<bool>("visivel");
        QTest::newRow("concede") << Negociacao::Aceita << true << true;
        QTest::newRow("quadros sem historico") << Negociacao::Aceita << false << false;
        QTest::newRow("servidor simples") << Negociacao::Recusa << true << false;
    }
    void botaoSegueOServidor()
    {
        QFETCH(Negociacao, modo);
        QFETCH(bool, concede);
        QFETCH(bool, visivel);
        entra(modo, concede);
        QVERIFY(servidor->capacidadesPedidas().contains(QLatin1String(Historico::capacidade)));
        QPushButton* botao = janela->btnHistorico;
        QCOMPARE(botao->isVisible(), visivel);
        QVERIFY(!botao->isEnabled());
        carrega(42, QStringLiteral("Maria"));
        QCOMPARE(botao->isVisible(), visivel);
        QCOMPARE(botao->isEnabled(), visivel);
        QVERIFY(disparaComando(janela->toolMenu, QStringLiteral("btnlimpa")));
        QVERIFY(!botao->isEnabled());
        QTest::mouseClick(botao, Qt::LeftButton);
        QCOMPARE(servidor->recebidas().size(), 1);   // the login only
        QVERIFY(!historico());
        QVERIFY(caixas->caixas().isEmpty());
    }

    // Each row: a history of sheet 7 is open; sheet 42 is asked for and answered as the row says.
    void respostas_data()
    {
        QTest::addColumn<QString>("resposta");
        QTest::addColumn<bool>("abre");
        QTest::addColumn<QStringList>("esperado");   // the list's rows, or the boxes' titles

        const QList<Historico::Entrada> tres{
            {utc("2026-01-01T01:30:00Z"), QStringLiteral("maria"), QStringLiteral("Alteração"),
             {{QStringLiteral("endereco"), QStringLiteral("Rua A"), QStringLiteral("Rua B|2")},
              {QStringLiteral("bairro"), QString(), QStringLiteral("Centro")},
              {QStringLiteral("nascidade"), QStringLiteral("Recife"), QStringLiteral("Olinda")}}},
            {utc("2025-12-31T12:00:05Z"), QStringLiteral("joão"), QStringLiteral("Consulta"), {}},
            {utc("2025-06-15T03:00:00Z"), QStringLiteral("admin"), QStringLiteral("Inclusão"), {}},
        };
        QTest::newRow("tres entradas") << Historico::resposta(tres) << true
                                       << QStringList{
                                              "31/12/2025 22:30:00 | maria | Alteração | Endereço: Rua A → Rua B|2\n"
                                              "Bairro: (vazio) → Centro\n"
                                              "Cidade (Nascido em): Recife → Olinda",
                                              "31/12/2025 09:00:05 | joão | Consulta | ",
                                              "15/06/2025 00:00:00 | admin | Inclusão | ",
                                          };
        QTest::newRow("vazio") << QStringLiteral("16") << true << QStringList{};
        QTest::newRow("outro departamento") << QStringLiteral("0") << false << QStringList{"Falha no Comando"};
        QTest::newRow("pecas faltando") << QStringLiteral("16|2026-01-01T01:30:00Z|maria") << false
                                        << QStringList{"Erro no Aplicativo"};
        QTest::newRow("data ilegivel") << QStringLiteral("16|ontem|maria|Consulta|") << false
                                       << QStringList{"Erro no Aplicativo"};
        QTest::newRow("sem codigo") << QStringLiteral("historico") << false << QStringList{"Erro no Aplicativo"};
        QTest::newRow("outro codigo") << QStringLiteral("13|x") << false << QStringList{"Comando Desconhecido"};
    }
    void respostas()
    {
        QFETCH(QString, resposta);
        QFETCH(bool, abre);
        QFETCH(QStringList, esperado);
        entra(Negociacao::Aceita, true);
        responde(Historico::resposta({{utc("2024-02-03T10:00:00Z"), QStringLiteral("ana"), QStringLiteral("Consulta"), {}}}));
        carrega(7, QStringLiteral("Paulo"));
        QTest::mouseClick(janela->btnHistorico, Qt::LeftButton);
        QVERIFY(historico());
        QCOMPARE(linhas(historico()->lstHistorico), QStringList{"03/02/2024 07:00:00 | ana | Consulta | "});

        responde(resposta);
        carrega(42, QStringLiteral("Maria"));
        QTest::mouseClick(janela->btnHistorico, Qt::LeftButton);
        QCOMPARE(servidor->recebidas().mid(1), (QStringList{"15|7", "15|42"}));
        if (!abre) {
            QStringList titulos;
            for (const Caixas::Registro& r : caixas->caixas())
                titulos << r.titulo;
            QCOMPARE(titulos, esperado);
            QCOMPARE(caixas->caixas().first().icone, Caixas::Icone::Erro);
            QVERIFY(!historico());   // nor sheet 7's left beside sheet 42
            return;
        }
        QVERIFY(caixas->caixas().isEmpty());
        frmHistorico* h = historico();
        QVERIFY(h);
        QCOMPARE(h->windowTitle(), QStringLiteral("Histórico da Ficha 42"));
        QCOMPARE(h->lblFicha->text(), QStringLiteral("Ficha 42 — Maria"));
        QCOMPARE(linhas(h->lstHistorico), esperado);
        QCOMPARE(h->lblVazio->isVisible(), esperado.isEmpty());
        QCOMPARE(h->lstHistorico->isVisible(), !esperado.isEmpty());
        if (const QString pasta = qEnvironmentVariable("ZELTO_CAPTURAS_HISTORICO"); !pasta.isEmpty()) {
            QTest::qWait(200);
            const QString nome = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
            h->grab().save(pasta + QStringLiteral("/historico-") + nome + QStringLiteral(".png"));
            janela->grab().save(pasta + QStringLiteral("/membros-") + nome + QStringLiteral(".png"));
        }
    }

    // One row per record field: the history names it apart from every other field, and the
    // captions the member window gives several fields come qualified.
    void nomesDistintos_data()
    {
        QTest::addColumn<QString>("campo");
        QTest::addColumn<QString>("nome");   // empty: only that it is its own
        const QHash<QString, QString> esperados{
            {"endereco", "Endereço"},
            {"cidade", "Cidade (Cep)"},
            {"nascidade", "Cidade (Nascido em)"},
            {"local1", "Local (Batismo no Esp.Santo)"},
            {"local2", "Local (Batismo nas Aguas)"},
            {"nascido", "Nascido em (nascido)"},
            {"niver", "Nascido em (niver)"},
            {"obs", "Observação (obs)"},
            {"ocorrencia", "Observação (ocorrencia)"},
            {"uf2", "uf2"},
            {"Valor", "Valor"},
        };
        for (const CampoDaFicha& c : clsAgenda::campos())
            if (c.tipo != CampoDaFicha::Tipo::Inteiro)
                QTest::newRow(c.nome) << QString::fromLatin1(c.nome) << esperados.value(QString::fromLatin1(c.nome));
    }
    void nomesDistintos()
    {
        QFETCH(QString, campo);
        QFETCH(QString, nome);
        const auto nomeDe = [](const QString& c) {
            const QString linha = frmHistorico::formataAlteracoes({{c, QStringLiteral("a"), QStringLiteral("b")}});
            return linha.endsWith(QStringLiteral(": a → b")) ? linha.chopped(7) : linha;
        };
        const QString visto = nomeDe(campo);
        QVERIFY(!visto.isEmpty() && !visto.contains(u'\n'));
        if (!nome.isEmpty())
            QCOMPARE(visto, nome);
        for (const CampoDaFicha& c : clsAgenda::campos())
            if (c.tipo != CampoDaFicha::Tipo::Inteiro && QLatin1String(c.nome) != campo)
                QVERIFY2(nomeDe(QString::fromLatin1(c.nome)).compare(visto, Qt::CaseInsensitive) != 0,
                         qPrintable(QStringLiteral("%1 e %2: %3").arg(campo, QLatin1String(c.nome), visto)));
    }

    // With our own server: a change made by the operator comes back as its old and new value.
    void comOServidorReal()
    {
        ServidorReal real(3);
        QVERIFY2(real.inicia(), qPrintable(real.erro()));
        janela = entrada->entra(real.host(), real.porta(), real.conta().usuario, real.conta().senha);
        QVERIFY(janela);
        QVERIFY(janela->btnHistorico->isVisibleTo(janela));
        clsAgenda f;
        f.numeroFicha = 2;
        f.nome = QStringLiteral("Nome Novo");
        f.departamento.idDepartamento = real.conta().idDepartamento;
        QTimer relogio;
        QVERIFY(Requisita(nullptr, &relogio, f.toPipeStringWithCommand(Codigo::Salva), {Codigo::Salvo}));
        carrega(2, f.nome);
        QTest::mouseClick(janela->btnHistorico, Qt::LeftButton);
        QCOMPARE(caixas->caixas().size(), 0);
        QVERIFY(historico());
        const QStringList vistas = linhas(historico()->lstHistorico);
        QVERIFY2(!vistas.isEmpty() && vistas.first().contains(QStringLiteral("| operador | Alteração | Nome: "))
                     && vistas.first().contains(QStringLiteral("\nEndereço: ")) && vistas.first().contains(QStringLiteral(" → Nome Novo\n")),
                 qPrintable(vistas.join(u'\n')));
    }
};

QTEST_MAIN(tst_frmHistorico)
#include "tst_frmHistorico.moc"
