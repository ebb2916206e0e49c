#pragma once
#include "protocol/Quadros.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

class Figura;
class Frminicial;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTcpSocket;
class QTimer;
class frmPrincipal;

// The login window: the first window of the run, hidden (never destroyed) after login. It
// owns the one connection to the registry server and what keeps it: the poll of the server
// until it accepts, the keep-alive, the socket handlers feeding the request wait.
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
    // Sends one whole message (Windows-1252), right before the caller's wait.
    void enviaMensagem(const QString& mensagem);

    // The connection agreed on framed messages with the server (protocol/Quadros.h): replies
    // end where their bytes say, with no quiet interval.
    bool enquadrada() const { return m_enquadrada; }
    // Plain wire only: more bytes came after the last reply was taken as whole. That reply
    // was cut short, and what follows would pass for the next request's reply: the
    // connection is closed (the next request reconnects). Returns whether that happened.
    bool fechaSeForaDePasso();
    // The wait took the last reply by the quiet rule (from then on, more bytes are a fault).
    void respostaTomadaPorSilencio();
    // Forgets which servers were found not to take part in the agreement (tests).
    static void esqueceServidoresSimples();

    // The secret of the session agreed with the server (empty when none). It is held in
    // memory only, presented on every reconnect to the same server (so no new login is
    // needed), and ended on the server by Logoff and when the program closes.
    const QString& segredoDaSessao() const { return m_segredo; }

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
    QTimer* timerKeepAlive;
    QTcpSocket* wskClient;

protected:
    void closeEvent(QCloseEvent* evento) override;

private:
    void VerificaServidor();
    void EfetuaLogin();
    void GravaServidorNaConfiguracao();
    void ExibeServidorDaConfiguracao();
    void MostraServidorPadrao();
    void Timer1_Timer();
    void timerKeepAlive_Timer();
    void wskClient_DataArrival();
    void recebeDados();
    void wskClient_Error();
    void MostraSuporte();
    void AbreSite();
    void abreJanelasDoLogin();
    bool negociaEnquadramento(QWidget* dono);
    void encerraSessaoNoServidor();

    bool m_verificando = false;   // a VerificaServidor run is under way
    bool m_sondando = false;      // the poll is connecting: its socket errors are not shown
    bool m_erroTratado = false;   // this connection's failure was already handled
    bool m_enquadrada = false;
    QString m_segredo;              // the session's secret (see segredoDaSessao)
    QString m_servidorDoSegredo;    // "host:port" of the server that gave it
    Quadros::Leitor m_leitor;
    bool m_respostaPorSilencio = false;   // the last reply was taken by the quiet rule
    bool m_foraDePasso = false;           // bytes came after it
    QElapsedTimer m_ultimoKeepAlive;
    QPointer<frmPrincipal> m_janelaMembros;
    QPointer<Frminicial> m_menu;
};
