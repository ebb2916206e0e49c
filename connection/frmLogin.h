#pragma once
// The login window: the first window of the run, and the owner of the connection.
#include <QPointer>
#include <QWidget>

class Conexao;
class Figura;
class Frminicial;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTcpSocket;
class QTimer;
class frmPrincipal;
class clsUsuario;

// The login window: the first window of the run, hidden (never destroyed) after login. It
// owns the one connection to the registry server (connection/Conexao.h), tells it where to
// connect and shows what goes wrong with it; it polls the server until it accepts.
//
// Other windows talk to the server only through Requisita (connection/Requisicao.h), handing
// it their own `timerTimeOut` (a plain disabled QTimer: the wait arms and stops it).
class frmLogin : public QWidget {
    Q_OBJECT
public:
    explicit frmLogin(QWidget* parent = nullptr);
    ~frmLogin() override;

    // Creates the one login window of the run (its load steps run) and shows it.
    static frmLogin* abre();
    // The login window of the run, created hidden (and polling) when there is none yet.
    static frmLogin* instancia();
    // The login window when it exists, else null.
    static frmLogin* existente();

    // Makes sure the connection is up: when it is not, opens a new one and waits for the
    // server's acceptance (code 2). Reports its own failures; the caller tests conectado().
    // Does nothing while a request is waiting.
    void ConectaNoServidor();
    // Closes the connection (and stops the keep-alive) when it is not closed.
    void EncerraConexaoNoServidor();
    bool conectado() const;
    Conexao* conexao() const;

    // What the connection agreed on with the server (see Conexao).
    bool enquadrada() const;
    const QString& segredoDaSessao() const;
    // Forgets which servers were found not to take part in the agreement (tests).
    static void esqueceServidoresSimples();

    // Log-off, for the windows' "Logoff" button: ends the session on the server, forgets the
    // logged-in operator, shows this window again, closes the connection, and discards the main menu and the member window
    // of that login (deleted later, without their close handling), so the next login opens
    // fresh ones. The caller should return right after it.
    void Logoff();

    // The member window created by the last successful login (hidden until the menu's
    // "Membros" shows it), null before a login and after log-off.
    frmPrincipal* janelaMembros() const;
    Frminicial* menuPrincipal() const;

    // Test hook: the address and port the window takes as its built-in ones (empty host =
    // back to the deployment values). Applies to the boxes at once when the window exists.
    static void defineServidorParaTeste(const QString& host, quint16 porta);

    // Controls (named as the window has them; tests drive them).
    QGroupBox* frameLogin;
    QLabel* lblUsuario;
    QLineEdit* txtUsuario;
    QLabel* lblSenha;
    QLineEdit* txtSenha;
    QPushButton* btnEfetuarLogin;
    Figura* Image2;
    QGroupBox* frameConexao;
    QLabel* Label1;
    QLineEdit* txtIpServidor;
    QLabel* lblPortaServidor;
    QLineEdit* txtPortaServidor;
    QPushButton* btnTestarConexao;
    QLabel* Label2;
    QPushButton* Command1;
    Figura* Image3;
    QLabel* lblSite;
    Figura* Image5;
    QLabel* Image1;
    QLabel* Image4;
    QTimer* Timer1;
    QTimer* timerTimeOut;
    QTimer* timerKeepAlive;   // the connection's keep-alive
    QTcpSocket* wskClient;    // the connection's socket

protected:
    void closeEvent(QCloseEvent* evento) override;

private:
    void VerificaServidor();
    void EfetuaLogin();
    void GravaServidorNaConfiguracao();
    void ExibeServidorDaConfiguracao();
    void MostraServidorPadrao();
    void Timer1_Timer();
    void wskClient_Error(const QString& origem, const QString& descricao, bool avisar);
    void MostraSuporte();
    void AbreSite();
    void abreJanelasDoLogin();
    // Working disconnected (desconectado/TrabalhoDesconectado.h): the copy after a connected
    // login, and the login into the copy when the server cannot be reached.
    void AtualizaCopiaDesconectada(const clsUsuario& logado, const QString& senha);
    bool EntraSemConexao(const QString& usuario, const QString& senha);

    Conexao* m_conexao;
    bool m_verificando = false;   // a VerificaServidor run is under way
    QString m_recusaMostrada;     // the untrusted-server box last shown (the poll repeats it not)
    QPointer<frmPrincipal> m_janelaMembros;
    QPointer<Frminicial> m_menu;
};
