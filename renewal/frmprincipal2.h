#pragma once
#include "protocol/clsAgenda.h"

#include <QMainWindow>

class QAction;
class FormularioFicha;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QTimer;
class QToolBar;

// " Renovação de Carteira de Membro": the card renewal window. A second member-sheet window
// (the shared sheet form, with `txtNFicha` showing the system number `sistema`) plus the card
// strip `frameFicha` at the top, which shows the card data of a member chosen in the second
// slot of the renewal search (frmlocalizarcarteira). Include, alter and delete work on
// `membros`, the member whose sheet is on screen.
//
// How to open it (the member window's "Renovar Carteira" closes itself, then):
//
//     frmprincipal2::abre();                    // shows the window of the run, created on first use;
//                                               // every showing after a close runs the load steps
//
//   frmprincipal2::instancia()   the window of the run, created hidden when there is none
//                                (the renewal search uses it for `membros` and `timerTimeOut`);
//   frmprincipal2::existente()   the window when it exists, else null.
//
// "Sair" closes it (no question) and shows the member window again; "Logoff" discards it, so
// the next opening starts with an empty sheet. Closed through the close box it asks
// "Deseja realmente encerrar o programa ?" and, on Yes, ends the program.
class frmprincipal2 : public QMainWindow {
    Q_OBJECT
public:
    // "Visualizar Impressão" on the toolbar, beside "Imprimir".
    QAction* acaoVisualizar = nullptr;
    explicit frmprincipal2(QWidget* parent = nullptr);
    ~frmprincipal2() override;

    static void abre();
    static frmprincipal2* instancia();
    static frmprincipal2* existente();

    clsAgenda membros;     // the sheet on screen
    QTimer* timerTimeOut;  // reply time-out of this window, lent to the renewal search

    // The whole window from `membros` (the record first takes the operator's department).
    void AtualizaGUI();
    // Only the card strip, from the member chosen in the renewal search's second slot;
    // `membros` and the sheet stay as they are.
    void AtualizaGUI2(const clsAgenda& carteira);

    // The toolbar command of `chave` (exact text; an unknown key does nothing).
    void executaComando(const QString& chave);

    // Card strip (top of the window; "Imprimir" prints it).
    QGroupBox* frameFicha;
    QLineEdit* txtNFicha2;
    QLineEdit* txtIGREJA2;
    QLineEdit* txtvalidade2;
    QLineEdit* txtcidadecong2;
    QLineEdit* txtufcong2;

    FormularioFicha* ficha;   // the sheet controls (txtNFicha, txtNome, ... txtdatausuario)
    QToolBar* toolMenu;
    QLabel* sbStatusBar;      // first panel of the status bar
    QPushButton* btnLimparFormulario;
    QPushButton* btnExportarCSV;

    // The card strip's size and the heights of the window around "Imprimir", in twips: the
    // strip alone while printing, then the height the window is left with.
    static constexpr int larguraDaFaixaTwips = 11895;
    static constexpr int alturaDaFaixaTwips = 1695;
    static constexpr int alturaAposImprimirTwips = 3405;

protected:
    void showEvent(QShowEvent* evento) override;
    void closeEvent(QCloseEvent* evento) override;

private:
    void montaTela();
    QGroupBox* montaFaixa();
    void carregaJanela();
    void mostraStatus();
    void limpaFormulario();
    void IncluiNovo();
    void AlteraCadastro();
    void ExcluiCadastro();
    void ImprimeFaixa();
    // "Visualizar Impressão": the page "Imprimir" would print, in a preview.
    void VisualizaFaixa();
    void ExportaCSV();
    void abreBuscaDeRenovacao(QWidget* dono);
    void Logoff();
    void Sair();
    void fechaPorCodigo();
    int twipsParaPixels(int twips) const;

    bool m_fechandoPorCodigo = false;
    bool m_precisaCarregar = true;   // the next showing runs the load steps
};
