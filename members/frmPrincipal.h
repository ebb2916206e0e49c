#pragma once
#include "members/FormularioFicha.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"

#include <QMainWindow>
#include <optional>

class QLabel;
class QPushButton;
class QTimer;
class QToolBar;

// "Cadastro de Membros": the member registration window. One sheet at a time, held in
// `membros`; include (number from the server or typed), alter, delete, the sheet-number
// check, the searches, and the switches to the renewal and card windows.
//
// One member window per login: the login creates it hidden (its load steps run), the main
// menu shows it; other windows read `instancia()->membros.departamento` (the operator's
// department) and wait on `instancia()->timerTimeOut`.
class frmPrincipal : public QMainWindow {
    Q_OBJECT
public:
    explicit frmPrincipal(QWidget* parent = nullptr);
    ~frmPrincipal() override;

    // The member window of the run; created hidden (load steps run) when there is none.
    static frmPrincipal* instancia();
    // The member window when it exists, else null.
    static frmPrincipal* existente();

    clsAgenda membros;     // the sheet on screen
    QTimer* timerTimeOut;  // reply time-out of this window, lent to the search and report windows

    // Record to controls (see FormularioFicha::Atualizacao), then the status bar.
    void AtualizaGUI();
    void AtualizaGUI2();
    void AtualizaGUISalVar();
    // Opens the lookup file once and lets it go (nothing in the program needs more).
    void AbreDB();

    // The toolbar command of `chave` (exact text; an unknown key does nothing).
    void executaComando(const QString& chave);

    // The windows this one switches to. Each creates (or reuses) its window and shows it.
    void mostraJanelaDeRenovacao();
    void mostraJanelaDeCarteiras();

    // Result of the last sheet-number check.
    std::optional<QList<clsAgenda>> fichasEncontradas;

    FormularioFicha* ficha;          // frameFicha: the sheet controls, txtNFicha ... txtNFicha2
    QToolBar* toolMenu;
    QLabel* sbStatusBar;             // first panel of the status bar
    QPushButton* btnLimparFormulario;
    QPushButton* Command1;
    QPushButton* Command2;
    // "Histórico" of the sheet on screen, beside Command2: shown only when the server keeps
    // histories, enabled while the sheet on screen has a number.
    QPushButton* btnHistorico;

protected:
    void showEvent(QShowEvent* evento) override;
    void closeEvent(QCloseEvent* evento) override;

private:
    void montaTela();
    void carregaJanela();
    void mostraStatus();
    void atualizaHistorico();
    void abreHistorico();
    void limpaFormulario();
    void limpaComStatus();
    void IncluiNovo();
    void IncluiCadastro();
    void AlteraCadastro();
    void ExcluiCadastro();
    void VerificaFicha();
    void EnviaIncluir();
    std::optional<QList<clsAgenda>> EnviaBuscaFicha(const clsFiltroBusca& filtro);
    void abreLocalizar();
    void abreLocalizarIgreja();
    void abreConfig();
    void abreRelatorio();
    void trocaDeJanela(bool renovacao);
    void Logoff();
    void fechaPorCodigo();
    void listaCongregacoes();
    void escolheCongregacao(const QString& nome);
    void listaStatus();
    void escolheStatus(const QString& descricao);
    void avisaNumeroInvalido();

    bool m_precisaCarregar = false;   // closed by code: the next showing runs the load steps
    bool m_avisouBanco = false;
    QString m_conexaoBanco;
};
