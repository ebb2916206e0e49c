// The deployment file over the built-in values, where an installed client finds its files and
// its config.ini, and the write-back after login that must never fail unseen.
#include "support/AmbienteDeTeste.h"
#include "app/Caixas.h"
#include "app/Implantacao.h"
#include "app/ImplantacaoPadrao.h"
#include "app/modBibArquivoINI.h"
#include "app/modGlobais.h"
#include "protocol/Wire.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

class tst_Implantacao : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;

    QString escreve(const QString& nome, const QByteArray& conteudo)
    {
        const QString caminho = m_pasta.filePath(nome);
        QDir().mkpath(QFileInfo(caminho).absolutePath());
        QFile f(caminho);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        f.write(conteudo);
        return caminho;
    }

    // A program folder laid out as an installed one under the temporary folder.
    QString pastaInstalada() const { return m_pasta.path() + QString::fromUtf8(ImplantacaoPadrao::pastaDoPrograma); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_pasta.isValid());
    }
    void init()
    {
        Implantacao::restauraPadroes();
        globais() = EstadoGlobal{};
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/zelto")).removeRecursively();
    }
    void cleanupTestCase()
    {
        Implantacao::restauraPadroes();
        definePastaDoProgramaParaTeste(QString());
        defineArquivoDeImplantacaoParaTeste(QString());
    }

    void valores_data()
    {
        QTest::addColumn<QByteArray>("conteudo");
        QTest::addColumn<QString>("chave");
        QTest::addColumn<QString>("esperado");     // "=padrão" for the built-in value
        QTest::addColumn<QString>("problema");     // part of the only problem reported, or empty

        const QByteArray s = "[Implantacao]\n";
        QTest::newRow("servidor") << s + "servidor=10.0.0.7\n" << "servidor" << "10.0.0.7" << "";
        QTest::newRow("servidor por nome") << s + "servidor = registro.igreja.local \n" << "servidor" << "registro.igreja.local" << "";
        QTest::newRow("servidor IPv6") << s + "servidor=fd00::7\n" << "servidor" << "fd00::7" << "";
        QTest::newRow("servidor entre aspas") << s + "servidor=\"10.0.0.8\"\n" << "servidor" << "10.0.0.8" << "";
        QTest::newRow("servidor com espaço") << s + "servidor=10.0.0.7 10.0.0.8\n" << "servidor" << "=padrão"
                                              << "servidor \"10.0.0.7 10.0.0.8\" não é um endereço IP nem um nome de máquina";
        QTest::newRow("servidor vazio") << s + "servidor=\n" << "servidor" << "=padrão" << "servidor está vazio";
        QTest::newRow("chave sem diferença de caixa") << s + "SERVIDOR=10.1.1.1\n" << "servidor" << "10.1.1.1" << "";
        QTest::newRow("organização em UTF-8") << s + "organizacao=Igreja São João\r\n" << "organizacao" << "Igreja São João" << "";
        QTest::newRow("organização vazia") << s + "organizacao=\n" << "organizacao" << "=padrão" << "organizacao está vazio";
        QTest::newRow("organização longa") << s + "organizacao=" + QByteArray(201, 'a') + "\n" << "organizacao" << "=padrão"
                                            << "tem mais de 200 caracteres";
        QTest::newRow("arquivo em Windows-1252") << s + Wire::codifica(u"organizacao=Igreja São João\n") << "organizacao"
                                                 << "Igreja São João" << "não está em UTF-8";
        QTest::newRow("versículo vazio é aceito") << s + "versiculo=\n" << "versiculo" << "" << "";
        QTest::newRow("fone vazio é aceito") << s + "suporteFone3=\n" << "suporteFone3" << "" << "";
        QTest::newRow("banco local") << s + "bancoLocal=/srv/zelto/ruduza.db\n" << "bancoLocal" << "/srv/zelto/ruduza.db" << "";
        QTest::newRow("banco local relativo") << s + "bancoLocal=ruduza.db\n" << "bancoLocal" << "=padrão"
                                              << "não é o caminho completo de um arquivo";
        QTest::newRow("banco local que é uma pasta") << s + "bancoLocal=/srv/zelto/\n" << "bancoLocal" << "=padrão"
                                                   << "não é o caminho completo de um arquivo";
        QTest::newRow("site") << s + "site=https://igreja.example/inicio\n" << "site" << "https://igreja.example/inicio" << "";
        QTest::newRow("site sem http") << s + "site=www.igreja.example\n" << "site" << "=padrão" << "não é um endereço http:// ou https://";
        QTest::newRow("e-mail") << s + "suporteEmail=ti@igreja.example\n" << "suporteEmail" << "ti@igreja.example" << "";
        QTest::newRow("e-mail sem arroba") << s + "suporteEmail=ti.igreja.example\n" << "suporteEmail" << "=padrão"
                                           << "não é um endereço de e-mail";
        QTest::newRow("chave desconhecida") << s + "servidr=10.0.0.9\n" << "servidor" << "=padrão" << "chave desconhecida \"servidr\"";
        QTest::newRow("fora da seção") << QByteArray("servidor=10.0.0.9\n") << "servidor" << "=padrão" << "fora da seção [Implantacao]";
        QTest::newRow("outra seção") << QByteArray("[Cliente]\nservidor=10.0.0.9\n") << "servidor" << "=padrão"
                                     << "seção desconhecida [Cliente]";
        QTest::newRow("linha sem igual") << s + "servidor 10.0.0.9\n" << "servidor" << "=padrão" << "linha 2: não é \"chave=valor\"";
        QTest::newRow("repetida") << s + "servidor=10.0.0.1\nservidor=10.0.0.2\n" << "servidor" << "10.0.0.2" << "mais de uma vez";
        QTest::newRow("comentários") << s + "; servidor=10.0.0.1\n# servidor=10.0.0.2\n" << "servidor" << "=padrão" << "";
        const QByteArray hex = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
        QTest::newRow("certificado em hex") << s + "certificado=" + hex + "\n" << "certificado" << QString::fromLatin1(hex) << "";
        QTest::newRow("certificado com dois-pontos") << s + "certificado=" + QByteArray::fromHex(hex).toHex(':').toUpper() + "\n"
                                                     << "certificado" << QString::fromLatin1(hex) << "";
        QTest::newRow("certificado curto") << s + "certificado=" + hex.left(62) + "\n" << "certificado" << ""
                                           << "não é uma impressão digital SHA-256";
        QTest::newRow("certificado com dois-pontos no meio do par") << s + "certificado=0:" + hex.mid(1) + "\n" << "certificado" << ""
                                                                     << "não é uma impressão digital SHA-256";
        QTest::newRow("tls exigir") << s + "tls=exigir\n" << "tls" << "exigir" << "";
        QTest::newRow("tls nunca") << s + "tls=nunca\n" << "tls" << "nunca" << "";
        QTest::newRow("tls padrão") << s << "tls" << "preferir" << "";
        QTest::newRow("tls inválido") << s + "tls=sim\n" << "tls" << "preferir" << "\"sim\" não é exigir, preferir nem nunca; vale o padrão \"preferir\"";
        QTest::newRow("desconectado padrão") << s << "trabalhoDesconectado" << "nao" << "";
        QTest::newRow("desconectado ligado") << s + "trabalhoDesconectado=sim\n" << "trabalhoDesconectado" << "sim" << "";
        QTest::newRow("desconectado inválido") << s + "trabalhoDesconectado=1\n" << "trabalhoDesconectado" << "nao"
                                              << "\"1\" não é sim nem nao; vale o padrão \"nao\"";
        QTest::newRow("dias padrão") << s << "diasSemServidor" << "7" << "";
        QTest::newRow("dias") << s + "diasSemServidor=30\n" << "diasSemServidor" << "30" << "";
        QTest::newRow("dias zero") << s + "diasSemServidor=0\n" << "diasSemServidor" << "7" << "não é um número de dias de 1 a 365";
        QTest::newRow("dias demais") << s + "diasSemServidor=366\n" << "diasSemServidor" << "7" << "não é um número de dias";
        QTest::newRow("dias com texto") << s + "diasSemServidor=7d\n" << "diasSemServidor" << "7" << "não é um número de dias";
    }
    void valores()
    {
        QFETCH(QByteArray, conteudo);
        QFETCH(QString, chave);
        QFETCH(QString, esperado);
        QFETCH(QString, problema);
        const QString arquivo = escreve(QStringLiteral("implantacao.ini"), conteudo);
        const QStringList problemas = Implantacao::carrega(arquivo);

        const QHash<QString, std::function<QString()>> valor = {
            {"servidor", Implantacao::servidor}, {"organizacao", Implantacao::organizacao},
            {"versiculo", Implantacao::versiculo}, {"suporteFone3", Implantacao::suporteFone3},
            {"bancoLocal", Implantacao::bancoLocal}, {"site", Implantacao::site},
            {"suporteEmail", Implantacao::suporteEmail}, {"certificado", Implantacao::certificado},
            {"tls", [] {
                 const Implantacao::PoliticaTls p = Implantacao::tls();
                 return QString::fromLatin1(p == Implantacao::PoliticaTls::Exigir ? "exigir" : p == Implantacao::PoliticaTls::Nunca ? "nunca" : "preferir");
             }},
            {"trabalhoDesconectado", [] { return QString::fromLatin1(Implantacao::trabalhoDesconectado() ? "sim" : "nao"); }},
            {"diasSemServidor", [] { return QString::number(Implantacao::diasSemServidor()); }}};
        const QHash<QString, const char*> padrao = {
            {"servidor", ImplantacaoPadrao::servidor}, {"organizacao", ImplantacaoPadrao::organizacao},
            {"versiculo", ImplantacaoPadrao::versiculo}, {"suporteFone3", ImplantacaoPadrao::suporteFone3},
            {"bancoLocal", ImplantacaoPadrao::bancoLocal}, {"site", ImplantacaoPadrao::site},
            {"suporteEmail", ImplantacaoPadrao::suporteEmail}};
        QCOMPARE(valor[chave](), esperado == u"=padrão" ? QString::fromUtf8(padrao[chave]) : esperado);
        if (problema.isEmpty()) {
            QCOMPARE(problemas, QStringList());
        } else {
            QCOMPARE(problemas.size(), 1);
            QVERIFY2(problemas[0].contains(problema), qPrintable(problemas[0]));
        }
        // Every other value keeps its default.
        if (chave != u"site")
            QCOMPARE(Implantacao::site(), QString::fromUtf8(ImplantacaoPadrao::site));
        QCOMPARE(Implantacao::porta(), u"9998");
    }

    void semArquivo()
    {
        QCOMPARE(Implantacao::carrega(m_pasta.filePath(QStringLiteral("nao-existe.ini"))), QStringList());
        QCOMPARE(Implantacao::servidor(), QString::fromUtf8(ImplantacaoPadrao::servidor));
        QCOMPARE(Implantacao::bancoLocal(), QString::fromUtf8(ImplantacaoPadrao::bancoLocal));
    }

    void arquivoIlegivel()
    {
        if (::geteuid() == 0)
            QSKIP("root reads any file");
        const QString arquivo = escreve(QStringLiteral("trancado.ini"), "[Implantacao]\nservidor=10.0.0.1\n");
        QFile::setPermissions(arquivo, QFile::WriteOwner);
        const QStringList problemas = Implantacao::carrega(arquivo);
        QCOMPARE(problemas.size(), 1);
        QVERIFY(problemas[0].contains(u"não pôde ser lido"));
        QCOMPARE(Implantacao::servidor(), QString::fromUtf8(ImplantacaoPadrao::servidor));
    }

    void raiz_data()
    {
        const QString instalada = QString::fromUtf8(ImplantacaoPadrao::pastaDoPrograma);
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<bool>("instalado");
        QTest::addColumn<QString>("raiz");
        QTest::newRow("instalado") << instalada << true << "";
        QTest::newRow("instalado com barra") << instalada + u'/' << true << "";
        QTest::newRow("desempacotado") << QStringLiteral("/tmp/raiz") + instalada << true << "/tmp/raiz";
        QTest::newRow("nome que só termina igual") << QStringLiteral("/tmp/raiz") + instalada.mid(1) << false << "";
        QTest::newRow("pasta de build") << QStringLiteral("/home/ana/zelto/build") << false << "";
    }
    void raiz()
    {
        QFETCH(QString, pasta);
        QFETCH(bool, instalado);
        QFETCH(QString, raiz);
        const std::optional<QString> r = Implantacao::raizDaInstalacao(pasta);
        QCOMPARE(r.has_value(), instalado);
        if (instalado) {
            QCOMPARE(*r, raiz);
            QCOMPARE(Implantacao::arquivo(pasta), raiz + QString::fromUtf8(ImplantacaoPadrao::arquivoImplantacao));
        } else {
            QCOMPARE(Implantacao::arquivo(pasta), QString::fromUtf8(ImplantacaoPadrao::arquivoImplantacao));
        }
    }

    // An unpacked copy reads its own lookup file unless the deployment file names one.
    void bancoLocalDaRaiz()
    {
        Implantacao::carrega(m_pasta.filePath(QStringLiteral("nao-existe.ini")), QStringLiteral("/tmp/raiz"));
        QCOMPARE(Implantacao::bancoLocal(), QStringLiteral("/tmp/raiz") + QString::fromUtf8(ImplantacaoPadrao::bancoLocal));
        const QString arquivo = escreve(QStringLiteral("implantacao.ini"), "[Implantacao]\nbancoLocal=/srv/ruduza.db\n");
        Implantacao::carrega(arquivo, QStringLiteral("/tmp/raiz"));
        QCOMPARE(Implantacao::bancoLocal(), u"/srv/ruduza.db");
    }

    // Installed: the operator's own config.ini, first copied from the packaged default.
    void configuracaoDoUsuario()
    {
        const QString pasta = pastaInstalada();
        QVERIFY(QDir().mkpath(pasta));
        const QString padrao = escreve(QString::fromUtf8(ImplantacaoPadrao::configuracaoPadrao).mid(1),
                                       "[Cliente]\r\nhostRemoto=10.9.9.9\r\nportaRemota=9998\r\ntimeOutSegundos=12\r\nkeepAliveSegundos=20\r\n");
        QVERIFY(!padrao.isEmpty());
        QFile::setPermissions(padrao, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        definePastaDoProgramaParaTeste(pasta);
        defineArquivoDeImplantacaoParaTeste(m_pasta.filePath(QStringLiteral("nao-existe.ini")));

        Caixas::Gravador caixas;
        CarregaConfiguracao();
        const QString doUsuario = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/zelto/config.ini");
        QCOMPARE(titulosETextos(caixas), QStringList());
        QCOMPARE(globais().arquivoConfiguracao, doUsuario);
        QCOMPARE(globais().caminhoAplicacao, pasta + u'/');
        QCOMPARE(globais().timeOutSegundos, qint16(12));
        QCOMPARE(globais().hostRemoto, u"10.9.9.9");
        QVERIFY(QFileInfo(doUsuario).isWritable());

        // The copy is the operator's from now on: a later start reads it, not the default.
        QVERIFY(GravaINI(doUsuario, QStringLiteral("Cliente"), QStringLiteral("timeOutSegundos"), QStringLiteral("7")).isEmpty());
        CarregaConfiguracao();
        QCOMPARE(globais().timeOutSegundos, qint16(7));
        QCOMPARE(titulosETextos(caixas), QStringList());
    }

    void configuracaoPadraoAusente()
    {
        const QString pasta = m_pasta.filePath(QStringLiteral("vazia")) + QString::fromUtf8(ImplantacaoPadrao::pastaDoPrograma);
        QVERIFY(QDir().mkpath(pasta));
        definePastaDoProgramaParaTeste(pasta);
        defineArquivoDeImplantacaoParaTeste(m_pasta.filePath(QStringLiteral("nao-existe.ini")));
        Caixas::Gravador caixas;
        CarregaConfiguracao();
        const QStringList vistas = titulosETextos(caixas);
        QVERIFY2(!vistas.isEmpty() && vistas[0].contains(u"não existe"), qPrintable(vistas.join(u'\n')));
        // The time values still get their defaults and the program goes on.
        QCOMPARE(globais().timeOutSegundos, qint16(10));
        QVERIFY(globais().impressora);
        // The login's write-back can still make the operator's file.
        QVERIFY(GravaINI(globais().arquivoConfiguracao, QStringLiteral("Cliente"), QStringLiteral("hostRemoto"),
                         QStringLiteral("10.0.0.1")).isEmpty());
    }

    // A deployment file with a bad value: one box at start naming the file and the value.
    void implantacaoComProblema()
    {
        definePastaDoProgramaParaTeste(m_pasta.path());
        escreve(QStringLiteral("config.ini"), "[Cliente]\r\ntimeOutSegundos=10\r\nkeepAliveSegundos=30\r\n");
        const QString arquivo = escreve(QStringLiteral("implantacao.ini"),
                                        "[Implantacao]\nservidor=10.0.0.5\nsite=zelto\norganizacao=Igreja Nova\n");
        defineArquivoDeImplantacaoParaTeste(arquivo);
        Caixas::Gravador caixas;
        CarregaConfiguracao();
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas()[0].titulo, u"Erro no Aplicativo");
        QVERIFY(caixas.caixas()[0].texto.contains(arquivo));
        QVERIFY(caixas.caixas()[0].texto.contains(u"site \"zelto\" não é um endereço http:// ou https://"));
        QCOMPARE(Implantacao::servidor(), u"10.0.0.5");
        QCOMPARE(Implantacao::organizacao(), u"Igreja Nova");
        QCOMPARE(Implantacao::site(), QString::fromUtf8(ImplantacaoPadrao::site));
        // A portable copy keeps config.ini beside the program.
        QCOMPARE(globais().arquivoConfiguracao, m_pasta.filePath(QStringLiteral("config.ini")));
    }

    // A card layout that cannot be saved says why and what to ask for.
    void gravacaoNegadaDoBancoLocal()
    {
        const QString arquivo = escreve(QStringLiteral("ruduza.db"), QByteArray());
        BancoLocal::defineCaminhoParaTeste(arquivo);
        const QString motivo = BancoLocal::motivoDaGravacaoNegada(QStringLiteral("attempt to write a readonly database"));
        QVERIFY2(motivo.contains(arquivo) && motivo.contains(u"grupo \"zelto\""), qPrintable(motivo));
        // Another failure of a file the operator can write is not a permission matter.
        QCOMPARE(BancoLocal::motivoDaGravacaoNegada(QStringLiteral("database is locked")), QString());
        if (::geteuid() != 0) {
            QFile::setPermissions(arquivo, QFile::ReadOwner);
            QVERIFY(!BancoLocal::motivoDaGravacaoNegada(QStringLiteral("disk I/O error")).isEmpty());
        }
        BancoLocal::defineCaminhoParaTeste(QString());
    }

    // The login succeeds; the operator is told the server could not be written back.
    void gravacaoDoLoginQueFalha()
    {
        ServidorReal servidor;
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        EntradaDeTeste entrada;
        QVERIFY(QDir().mkpath(entrada.pasta.filePath(QStringLiteral("config.ini"))));   // a folder: no file can go there
        Caixas::Gravador caixas;
        frmPrincipal* janela = entrada.preparaEEntra(servidor.host(), servidor.porta(), servidor.conta().usuario,
                                                     servidor.conta().senha);
        QVERIFY2(janela, qPrintable(entrada.erro));
        QVERIFY(entrada.login->menuPrincipal());
        const QStringList vistas = titulosETextos(caixas);
        QCOMPARE(vistas.size(), 1);
        QVERIFY2(vistas[0].startsWith(u"Erro no Aplicativo: frmLogin.GravaServidorNaConfiguracao\r\nNão foi possível gravar o servidor em "),
                 qPrintable(vistas[0]));
    }
};

QTEST_MAIN(tst_Implantacao)
#include "tst_implantacao.moc"
