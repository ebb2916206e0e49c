#pragma once
#include <QMainWindow>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTimer;

// The main menu after login: who is logged in, the organisation's banner scrolling, the
// way to the member window and out of the program. Closing it ends the program.
class Frminicial : public QMainWindow {
    Q_OBJECT
public:
    explicit Frminicial(QWidget* parent = nullptr);

    // The banner: asterisk, organisation, address and phone, asterisk, verse, asterisk and
    // blanks, always exactly this long.
    static constexpr int tamanhoDoLetreiro = 355;
    static QString textoDoLetreiro();

    QMenu* mnuSecretaria;
    QAction* mnumembros;
    QAction* mnusair;
    QAction* mnuconflitos;   // changes made disconnected the server did not apply; shown only when there are some
    QLabel* sbStatusBarPainel1;   // first panel of sbStatusBar
    QLabel* lblDesconectado;      // "working disconnected since ...", shown only then
    QLabel* Label3;
    QTimer* Timer3;
    QFrame* Frame1;
    QLabel* Label1;
    QLabel* Image1;

protected:
    void closeEvent(QCloseEvent* evento) override;

private:
    void Timer3_Timer();
    // The status line and the banner: connected, or working disconnected and since when.
    void mostraFaixa();
    void mnumembros_Click();
    void mnusair_Click();
    void mnuconflitos_Click();

    int m_tiques = 0;   // of Timer3
};
