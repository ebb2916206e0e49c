#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The real registry server for tests: a temporary folder with a fresh SQLite database
// holding one department and one operator (and, if asked, demo member sheets), and the
// built zelto-server program serving it on 127.0.0.1 (or an address of the test's) at a free port.
//
//     ServidorReal servidor;                       // department 1 "Secretaria", operator "operador" / "senha123"
//     QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
//     socket.connectToHost(servidor.host(), servidor.porta());
//
// The operator's password hash is made at libsodium's lowest cost, so logins are fast.
// The program is the environment's ZELTO_SERVIDOR_BINARIO when set (a benchmark comparing two
// builds), else the compile definition ZELTO_SERVIDOR_BINARIO or, failing that,
// $ZELTO_BINARY_DIR/server/zelto-server. Its standard error (one line per connection
// and per request) goes to servidor.log in the temporary folder; `diario()` returns it.
// Nothing here uses Qt Test: benchmarks use the same class.
//
// The store is SQLite unless ZELTO_TESTE_BANCO=postgresql: then each server gets a new
// database in the program's private PostgreSQL cluster (ClusterPostgres), so the same tests
// run against both stores. A second server on the same database (as several instances of
// an office run) is made with `outraInstancia()`.
class ServidorReal {
public:
    struct Conta {
        qint32 idDepartamento = 1;
        QString dsDepartamento = QStringLiteral("Secretaria");
        QString usuario = QStringLiteral("operador");
        QString senha = QStringLiteral("senha123");
    };

    // `fichasDemo` demo sheets (numbers 1..N) are added to the account's department.
    ServidorReal();
    explicit ServidorReal(int fichasDemo);
    explicit ServidorReal(Conta conta, int fichasDemo = 0);
    enum class Banco { SQLite, PostgreSQL };
    ServidorReal(Conta conta, int fichasDemo, Banco banco);
    // A server on an existing database (the connection text as zelto-server takes it).
    static std::unique_ptr<ServidorReal> naConexao(const QString& conexao, Conta conta);
    static std::unique_ptr<ServidorReal> naConexao(const QString& conexao);
    // A server on an existing, empty database: the tables, the account and the demo sheets
    // are made there on the first start.
    static std::unique_ptr<ServidorReal> novoNaConexao(const QString& conexao, Conta conta, int fichasDemo);
    // Another server on this one's database (its database must exist: after `inicia()`).
    std::unique_ptr<ServidorReal> outraInstancia() const { return naConexao(conexaoDoBanco(), m_conta); }
    // The store chosen by ZELTO_TESTE_BANCO.
    static Banco bancoDoAmbiente();
    ~ServidorReal();   // stops the server; the temporary folder goes with the object
    ServidorReal(const ServidorReal&) = delete;
    ServidorReal& operator=(const ServidorReal&) = delete;

    // Extra options for the server, from the next start on (e.g. {"--sessao-horas", "0.001"}).
    void defineArgumentos(const QStringList& extras) { m_extras = extras; }
    // From the next start on, the server runs under this limit of open files (soft and
    // hard, as `ulimit -n` sets it); 0 = the test's own.
    void defineLimiteDeArquivos(int arquivos) { m_limiteDeArquivos = arquivos; }
    // From the next start on, the server listens on this address instead of 127.0.0.1.
    void defineEndereco(const QString& endereco) { m_endereco = endereco; }
    // From the next start on, the server's environment has this variable too.
    void defineAmbiente(const QString& nome, const QString& valor) { m_ambiente.insert(nome, valor); }
    // Runs this program instead of the built one, for serving and for the administration
    // commands (a benchmark comparing two builds, each on a database it made).
    void definePrograma(const QString& programa) { m_programa = programa; }
    QString programa() const { return m_programa.isEmpty() ? binario() : m_programa; }

    // Creates the database the first time, then starts the server and waits until it
    // listens. False (with `erro()`) when anything fails.
    bool inicia();
    // SIGTERM and wait; SIGKILL if it does not end within 5 s.
    void para();
    // SIGKILL at once, as a crash would.
    void mata();
    // Stops (gently) and starts again on the same database; the port changes.
    bool reinicia();
    // The same on the port it had, as an office's server comes back (clients keep their
    // address and port). The port is free again once the server stopped.
    bool reiniciaNaMesmaPorta();
    bool rodando() const;

    // Another department and operator in the same database (also while the server runs).
    bool adicionaConta(const Conta& conta);
    // Runs zelto-server with `argumentos` (the --db option is added); `entrada` goes to its stdin.
    bool administra(const QStringList& argumentos, const QByteArray& entrada = QByteArray());

    QString host() const { return m_endereco; }
    quint16 porta() const { return m_porta; }
    qint64 pid() const { return m_processo ? m_processo->processId() : 0; }
    const Conta& conta() const { return m_conta; }
    QString caminhoDoBanco() const;
    QString conexaoDoBanco() const;
    bool ehPostgres() const { return m_banco == Banco::PostgreSQL; }
    // Runs statements on the database directly; `ultimo` gets the first column of the last
    // statement's first row.
    bool executaNoBanco(const QStringList& comandos, QVariant* ultimo = nullptr);
    qint64 fichasNoBanco();
    QString pasta() const { return m_pasta.path(); }
    QString diario() const;
    const QString& erro() const { return m_erro; }

    static QString binario();

private:
    bool criaBanco();

    Conta m_conta;
    int m_fichasDemo;
    Banco m_banco = Banco::SQLite;
    QString m_conexao;   // set for PostgreSQL and for servers on an existing database
    QTemporaryDir m_pasta;
    QStringList m_extras;
    QString m_programa;   // empty: binario()
    QString m_endereco = QStringLiteral("127.0.0.1");
    int m_limiteDeArquivos = 0;
    QProcessEnvironment m_ambiente = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<QProcess> m_processo;
    quint16 m_porta = 0;
    quint16 m_portaFixa = 0;   // the port to listen on (0: a free one)
    bool m_bancoCriado = false;
    qint64 m_inicioDoDiario = 0;
    QString m_erro;
};
