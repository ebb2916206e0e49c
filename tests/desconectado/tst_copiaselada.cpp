// A desk's sealed copy and its journal on their own: what opens it, what the file shows to
// someone who copies it, what a tampered value gives, what survives a reopening.
#include "desconectado/CopiaSelada.h"
#include "desconectado/Diario.h"
#include "desconectado/Selo.h"
#include "protocol/Sincronia.h"
#include "protocol/modCommands.h"

#include <QFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qint64 umDia = 24LL * 60 * 60 * 1000;
constexpr qint64 agora = 1'765'000'000'000;

clsUsuario operador()
{
    clsUsuario u;
    u.usuario = QStringLiteral("secretaria");
    u.departamento.idDepartamento = 1;
    u.departamento.dsDepartamento = QStringLiteral("Secretaria");
    return u;
}

clsAgenda ficha(qint32 numero, const QString& nome, const QString& cpf = QString())
{
    clsAgenda f;
    f.numeroFicha = numero;
    f.nome = nome;
    f.cic = cpf;
    f.departamento = operador().departamento;
    return f;
}

// Runs one statement on the copy's file behind its back (a thief's editor).
bool mexeNoArquivo(const QString& arquivo, const QString& sql)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mexe"));
        db.setDatabaseName(arquivo);
        ok = db.open() && QSqlQuery(db).exec(sql);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mexe"));
    return ok;
}

} // namespace

class tst_CopiaSelada : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_pasta.isValid());
        Selo::defineCustoBaixo(true);
    }
    void init()
    {
        CopiaSelada::definePastaParaTeste(m_pasta.filePath(QString::fromLatin1(QTest::currentTestFunction())
                                                           + QString::fromLatin1(QTest::currentDataTag())));
    }

    void abertura_data();
    void abertura();
    void copiaDeOutroUsuarioRenomeada();
    void arquivoSemDadosEmClaro_data();
    void arquivoSemDadosEmClaro();
    void valorMexidoNaoAbre_data();
    void valorMexidoNaoAbre();
    void diarioSobreviveEmOrdem();
    void novaFichaProvisoriaEExclusao();
    void buscaNaCopia_data();
    void buscaNaCopia();

private:
    QTemporaryDir m_pasta;
};

void tst_CopiaSelada::abertura_data()
{
    QTest::addColumn<QString>("usuario");
    QTest::addColumn<QString>("senha");
    QTest::addColumn<qint64>("passados");   // ms since the last contact
    QTest::addColumn<int>("dias");
    QTest::addColumn<int>("esperado");      // CopiaSelada::Estado
    using E = CopiaSelada::Estado;
    QTest::newRow("a senha certa") << "secretaria" << "senha123" << qint64(0) << 7 << int(E::Aberta);
    QTest::newRow("o nome em outra caixa") << "SECRETARIA" << "senha123" << qint64(0) << 7 << int(E::Aberta);
    QTest::newRow("senha errada") << "secretaria" << "senha124" << qint64(0) << 7 << int(E::SenhaErrada);
    QTest::newRow("senha vazia") << "secretaria" << "" << qint64(0) << 7 << int(E::SenhaErrada);
    QTest::newRow("outro usuário") << "tesoureiro" << "senha123" << qint64(0) << 7 << int(E::Inexistente);
    QTest::newRow("seis dias sem servidor") << "secretaria" << "senha123" << 6 * umDia << 7 << int(E::Aberta);
    QTest::newRow("oito dias sem servidor") << "secretaria" << "senha123" << 8 * umDia << 7 << int(E::Vencida);
    QTest::newRow("oito dias com trinta de prazo") << "secretaria" << "senha123" << 8 * umDia << 30 << int(E::Aberta);
    QTest::newRow("um dia e um minuto com um de prazo") << "secretaria" << "senha123" << umDia + 60'000 << 1 << int(E::Vencida);
}

void tst_CopiaSelada::abertura()
{
    QFETCH(QString, usuario);
    QFETCH(QString, senha);
    QFETCH(qint64, passados);
    QFETCH(int, dias);
    QFETCH(int, esperado);
    {
        CopiaSelada c;
        QCOMPARE(c.abreNoLogin(operador(), QStringLiteral("senha123"), agora), CopiaSelada::Estado::Aberta);
        QVERIFY(c.grava(ficha(7, QStringLiteral("Maria")), 3));
    }
    CopiaSelada c;
    QCOMPARE(int(c.abre(usuario, senha, dias, agora + passados)), esperado);
    QCOMPARE(c.aberta(), esperado == int(CopiaSelada::Estado::Aberta));
    if (c.aberta()) {
        QCOMPARE(c.ficha(7)->nome, QStringLiteral("Maria"));
        QCOMPARE(c.operador().departamento.dsDepartamento, QStringLiteral("Secretaria"));
        QCOMPARE(c.ultimoContatoMs(), agora);
    } else {
        QVERIFY(!c.ficha(7));
        QVERIFY(!CopiaSelada::mensagem(CopiaSelada::Estado(esperado)).isEmpty());
    }
}

// A copy is its operator's: another's file put under this one's name opens nothing, even
// with the password it was sealed with.
void tst_CopiaSelada::copiaDeOutroUsuarioRenomeada()
{
    clsUsuario outro = operador();
    outro.usuario = QStringLiteral("tesoureiro");
    {
        CopiaSelada c;
        QCOMPARE(c.abreNoLogin(outro, QStringLiteral("senha123"), agora), CopiaSelada::Estado::Aberta);
        QVERIFY(c.grava(ficha(7, QStringLiteral("Maria")), 3));
    }
    QVERIFY(QFile::rename(CopiaSelada::arquivoDe(QStringLiteral("tesoureiro")), CopiaSelada::arquivoDe(QStringLiteral("secretaria"))));
    CopiaSelada c;
    QCOMPARE(c.abre(QStringLiteral("secretaria"), QStringLiteral("senha123"), 7, agora), CopiaSelada::Estado::SenhaErrada);
    QVERIFY(!c.ficha(7));
}

void tst_CopiaSelada::arquivoSemDadosEmClaro_data()
{
    QTest::addColumn<QString>("texto");
    QTest::newRow("nome") << "Josefina Quaresma Albuquerque";
    QTest::newRow("sobrenome") << "Quaresma";
    QTest::newRow("CPF") << "123.456.789-09";
    QTest::newRow("CPF só dígitos") << "12345678909";
    QTest::newRow("RG") << "MG-12.345.678";
    QTest::newRow("nome mudado sem conexão") << "Josefina Quaresma de Souza";
    QTest::newRow("nome acentuado") << "Conceição Araújo";
    QTest::newRow("departamento") << "Secretaria";
    QTest::newRow("operador") << "secretaria";
}

void tst_CopiaSelada::arquivoSemDadosEmClaro()
{
    QFETCH(QString, texto);
    QString arquivo;
    {
        CopiaSelada c;
        QCOMPARE(c.abreNoLogin(operador(), QStringLiteral("senha123"), agora), CopiaSelada::Estado::Aberta);
        arquivo = CopiaSelada::arquivoDe(QStringLiteral("secretaria"));
        clsAgenda f = ficha(41, QStringLiteral("Josefina Quaresma Albuquerque"), QStringLiteral("123.456.789-09"));
        f.rg = QStringLiteral("MG-12.345.678");
        f.obs = QStringLiteral("12345678909");
        QVERIFY(c.grava(f, 9));
        QVERIFY(c.grava(ficha(42, QStringLiteral("Conceição Araújo")), 9));
        f.nome = QStringLiteral("Josefina Quaresma de Souza");
        Diario d(c);
        QVERIFY(d.registra(Codigo::Salva, f, agora));
        QVERIFY(d.registraLeitura(42, agora));
    }
    QVERIFY(QFile::exists(arquivo));
    for (const QString& nome : {arquivo, arquivo + QStringLiteral("-journal"), arquivo + QStringLiteral("-wal")}) {
        QFile f(nome);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = f.readAll();
        for (const QByteArray& forma : {texto.toUtf8(), texto.toLatin1(), texto.toLower().toUtf8(),
                                         QByteArray(reinterpret_cast<const char*>(texto.utf16()), texto.size() * 2)})
            QVERIFY2(!bytes.contains(forma), qPrintable(nome + QStringLiteral(": ") + texto));
    }
}

void tst_CopiaSelada::valorMexidoNaoAbre_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("abreACopia");
    QTest::newRow("um byte da ficha trocado") << "UPDATE fichas SET dados = substr(dados, 1, 30) || x'00' || substr(dados, 32) WHERE numero = 1"
                                              << true;
    QTest::newRow("fichas trocadas de número") << "UPDATE fichas SET dados = (SELECT dados FROM fichas WHERE numero = 2) WHERE numero = 1"
                                               << true;
    QTest::newRow("nome de outra ficha") << "UPDATE fichas SET nome = (SELECT nome FROM fichas WHERE numero = 2) WHERE numero = 1"
                                         << true;
    QTest::newRow("verificador trocado pelo contato") << "UPDATE selo SET valor = (SELECT valor FROM selo WHERE chave = 'contato') WHERE chave = 'verificador'"
                                                      << false;
    QTest::newRow("contato de outra cópia") << "UPDATE selo SET valor = x'00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff0011223344556677' WHERE chave = 'contato'"
                                            << false;
    QTest::newRow("sal trocado") << "UPDATE selo SET valor = zeroblob(16) WHERE chave = 'sal'" << false;
}

void tst_CopiaSelada::valorMexidoNaoAbre()
{
    QFETCH(QString, sql);
    QFETCH(bool, abreACopia);
    {
        CopiaSelada c;
        QCOMPARE(c.abreNoLogin(operador(), QStringLiteral("senha123"), agora), CopiaSelada::Estado::Aberta);
        QVERIFY(c.grava(ficha(1, QStringLiteral("Ana")), 1) && c.grava(ficha(2, QStringLiteral("Bia")), 1));
    }
    QVERIFY(mexeNoArquivo(CopiaSelada::arquivoDe(QStringLiteral("secretaria")), sql));
    CopiaSelada c;
    const CopiaSelada::Estado estado = c.abre(QStringLiteral("secretaria"), QStringLiteral("senha123"), 7, agora);
    if (!abreACopia) {
        QVERIFY(estado != CopiaSelada::Estado::Aberta);
        return;
    }
    // A name that does not open keeps the whole copy shut: the index of names is read at once.
    QVERIFY(estado != CopiaSelada::Estado::Aberta || !c.ficha(1));
}

void tst_CopiaSelada::diarioSobreviveEmOrdem()
{
    {
        CopiaSelada c;
        QCOMPARE(c.abreNoLogin(operador(), QStringLiteral("senha123"), agora), CopiaSelada::Estado::Aberta);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(c.grava(ficha(n, QStringLiteral("Membro %1").arg(n)), 10 + n));
        Diario d(c);
        for (int vez = 0; vez < 30; ++vez) {
            clsAgenda f = ficha(vez % 3 + 1, QStringLiteral("Mudança %1").arg(vez));
            QVERIFY(d.registra(Codigo::Salva, f, agora + vez));
        }
    }
    CopiaSelada c;
    QCOMPARE(c.abre(QStringLiteral("secretaria"), QStringLiteral("senha123"), 7, agora), CopiaSelada::Estado::Aberta);
    const QList<EntradaDoDiario> pendentes = Diario(c).pendentes();
    QCOMPARE(pendentes.size(), 30);
    QSet<QString> ids;
    for (int vez = 0; vez < 30; ++vez) {
        const EntradaDoDiario& e = pendentes[vez];
        QVERIFY2(Sincronia::idValido(e.id), qPrintable(e.id));
        ids.insert(e.id);
        QCOMPARE(e.ficha.nome, QStringLiteral("Mudança %1").arg(vez));
        QCOMPARE(e.numero, vez % 3 + 1);
        QCOMPARE(e.base, qint64(10 + vez % 3 + 1));   // the version the copy had
        QCOMPARE(e.feitaEmMs, agora + vez);
        QVERIFY(e.pedido().startsWith(QStringLiteral("6|%1|").arg(vez % 3 + 1)));
    }
    QCOMPARE(ids.size(), 30);
    // The copy shows the last change of each sheet.
    QCOMPARE(c.ficha(1)->nome, QStringLiteral("Mudança 27"));
}

void tst_CopiaSelada::novaFichaProvisoriaEExclusao()
{
    CopiaSelada c;
    QCOMPARE(c.abreNoLogin(operador(), QStringLiteral("senha123"), agora), CopiaSelada::Estado::Aberta);
    Diario d(c);
    clsAgenda a = ficha(0, QStringLiteral("Nova A"));
    clsAgenda b = ficha(0, QStringLiteral("Nova B"));
    QVERIFY(d.registra(Codigo::Salva, a, agora) && d.registra(Codigo::Salva, b, agora));
    QCOMPARE(a.numeroFicha, -1);
    QCOMPARE(b.numeroFicha, -2);
    // A provisional sheet goes to the server as new.
    QVERIFY(d.pendentes().first().pedido().startsWith(QStringLiteral("6|0|Nova A|")));
    // Deleting one never sent drops it and its changes; the server never hears of it.
    QVERIFY(d.registra(Codigo::Exclui, a, agora));
    QCOMPARE(d.quantas(), 1);
    QVERIFY(!c.ficha(-1));
    // A number once given is not given again.
    clsAgenda e = ficha(0, QStringLiteral("Nova C"));
    QVERIFY(d.registra(Codigo::Salva, e, agora));
    QCOMPARE(e.numeroFicha, -3);
}

void tst_CopiaSelada::buscaNaCopia_data()
{
    QTest::addColumn<qint32>("numero");
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QList<qint32>>("achadas");
    QTest::newRow("parte do nome") << 0 << "silva" << QList<qint32>{2, 3};
    QTest::newRow("sem acento acha acentuado") << 0 << "joao" << QList<qint32>{1, 3};
    QTest::newRow("com acento acha sem") << 0 << "SÍLVA" << QList<qint32>{2, 3};
    QTest::newRow("número") << 3 << "" << QList<qint32>{3};
    QTest::newRow("número e nome que não casam") << 1 << "silva" << QList<qint32>{};
    QTest::newRow("tudo") << 0 << "" << QList<qint32>{1, 2, 3};
    QTest::newRow("nada") << 0 << "xavier" << QList<qint32>{};
}

void tst_CopiaSelada::buscaNaCopia()
{
    QFETCH(qint32, numero);
    QFETCH(QString, nome);
    QFETCH(QList<qint32>, achadas);
    {
        CopiaSelada c;
        QCOMPARE(c.abreNoLogin(operador(), QStringLiteral("senha123"), agora), CopiaSelada::Estado::Aberta);
        QVERIFY(c.grava(ficha(3, QStringLiteral("João da Silva")), 1));
        QVERIFY(c.grava(ficha(1, QStringLiteral("João Pedro")), 1));
        QVERIFY(c.grava(ficha(2, QStringLiteral("Maria Silva")), 1));
    }
    // The index of names is made again from the sealed file.
    CopiaSelada c;
    QCOMPARE(c.abre(QStringLiteral("secretaria"), QStringLiteral("senha123"), 7, agora), CopiaSelada::Estado::Aberta);
    clsFiltroBusca filtro;
    filtro.numeroFicha = numero;
    filtro.nome = nome;
    QList<qint32> numeros;
    for (const clsAgenda& f : c.busca(filtro))
        numeros << f.numeroFicha;
    QCOMPARE(numeros, achadas);
}

QTEST_GUILESS_MAIN(tst_CopiaSelada)
#include "tst_copiaselada.moc"
