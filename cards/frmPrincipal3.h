#pragma once
#include "cards/ImpressaoCarteiras.h"
#include "protocol/clsAgenda.h"

#include <QMainWindow>
#include <array>

class FormularioFicha;
class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolBar;

// "Carteirinha de Membros": the card window. The sheet of one member (its ten card texts are
// card 1), four more cards filled through the five-slot search, and the buttons that print
// cards 1..k on one page. Include, alter and delete work on `membros` as in the member window.
//
// Entry points:
//   frmPrincipal3::abre()        "Imprimir Carteira": shows the card window of the run, created
//                                on first use, running its load steps (the caller closes
//                                the member window).
//   frmPrincipal3::instancia()   the card window of the run, created hidden when there is none.
//   frmPrincipal3::existente()   the card window when it exists, else null.
// `new frmPrincipal3(parent)` + show() also works; the load steps run at every show.
class frmPrincipal3 : public QMainWindow {
    Q_OBJECT
public:
    explicit frmPrincipal3(QWidget* parent = nullptr);
    ~frmPrincipal3() override;

    static void abre();
    static frmPrincipal3* instancia();
    static frmPrincipal3* existente();

    clsAgenda membros;     // the member of the sheet and of card 1
    QTimer* timerTimeOut;  // this window's reply time-out (also lent to its search dialog)

    // Sheet and card 1 from `membros`.
    void AtualizaGUI();
    // Card k (2..5) from a member chosen in the five-slot search; nothing else changes.
    void AtualizaGUI2(clsAgenda registro) { AtualizaCarteira(2, std::move(registro)); }
    void AtualizaGUI3(clsAgenda registro) { AtualizaCarteira(3, std::move(registro)); }
    void AtualizaGUI4(clsAgenda registro) { AtualizaCarteira(4, std::move(registro)); }
    void AtualizaGUI5(clsAgenda registro) { AtualizaCarteira(5, std::move(registro)); }
    void AtualizaCarteira(int carteira, clsAgenda registro);

    // The toolbar command of `chave` (exact text; an unknown key does nothing).
    void executaComando(const QString& chave);
    // Prints cards 1..k (the button "IMPRIMIR ..." k).
    void ImprimeCarteiras(int k);
    // "Visualizar Impressão": the page button k would print, in a preview (k = 0: up to the
    // last card with any text).
    void VisualizaCarteiras(int k);
    QAction* acaoVisualizar = nullptr;
    // The texts card k shows, in printing order.
    ImpressaoCarteiras::TextosDaCarteira textosDaCarteira(int carteira) const;
    // The box of one card field (card 1's are the sheet's).
    QLineEdit* caixaDaCarteira(int carteira, int campo) const;

    FormularioFicha* ficha;
    QToolBar* toolMenu;
    QLabel* sbStatusBar;   // panel 1
    QPushButton* btnLimparFormulario;
    std::array<QPushButton*, 5> Command;   // Command1 ... Command5 (Command[k-1])

protected:
    void showEvent(QShowEvent* evento) override;
    void closeEvent(QCloseEvent* evento) override;

private:
    void montaTela();
    QWidget* montaCarteiras();
    void carregaJanela();
    void limpaFormulario();
    void IncluirCadastro();
    void AlterarCadastro();
    void ExcluirCadastro();
    void ImprimeJanela();
    int twipsParaPixelsX(int twips) const;
    int twipsParaPixelsY(int twips) const;
    void Logoff();
    void Sair();
    void fechaPeloPrograma();
    void mostraUsuarioNaBarra();

    std::array<std::array<QLineEdit*, camposPorCarteira>, carteirasPorFolha> m_caixas{};
    // The sheet number each card 2.. was loaded from (card 1 is `membros`'s): a provisional one
    // (negative, made while disconnected) is not printed.
    std::array<qint32, carteirasPorFolha> m_numeros{};
    bool m_fechandoPeloPrograma = false;
};
