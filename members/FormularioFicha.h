#pragma once
// The member sheet widget shared by the three sheet windows (member registration, card
// renewal, card printing). It is built from a table of rows (members/CamposDaFicha.h) and
// everything it does walks that table:
//
//   - the controls, each named after its row (`txtNome`, `txtData`, ...) so a window or a
//     test finds them with `controle<QLineEdit>("txtNome")` or findChild;
//   - `atualiza(registro, modo)`: the refreshes AtualizaGUI / AtualizaGUI2 / AtualizaGUISalVar
//     (record to controls; the record first receives the logged-in operator's department);
//   - `escreveMarcadores(acao)`: the placeholders an include writes into empty controls;
//   - `ValidaFormulario()`: the two mandatory fields and their error labels;
//   - `verificaSeparadores(acao, dono)`: refuses a text that would break the wire record;
//   - `copiaPara(registro, acao)`: controls to record for one action.
//
// A window embeds it like this (see CamposDaFicha.h for changing rows):
//
//     m_ficha = new FormularioFicha(CamposDaFicha::padrao(), OpcoesDaFicha{}, this);
//     m_ficha->setObjectName("frameFicha");
//     m_ficha->adicionaApos("txtNFicha2", botaoCommand1);   // a window's own widget on a line
//     ...
//     if (m_ficha->atualiza(membros))                        // AtualizaGUI
//         barraDeStatus->setText("Usuario: " + login);
//
//     // "Incluir Cadastro" (the number typed by the operator)
//     m_ficha->escreveMarcadores(AcaoDaFicha::IncluiCadastro);
//     if (!m_ficha->ValidaFormulario()) return;
//     if (!m_ficha->verificaSeparadores(AcaoDaFicha::IncluiCadastro, this)) return;
//     m_ficha->copiaPara(membros, AcaoDaFicha::IncluiCadastro);
//
// The form shows no boxes of its own except the separator refusal and refresh errors
// (ExibeErro); the workflow and the requests belong to the window ("Incluir Novo" and
// "Alterar Cadastro" go through PedidosDaFicha::salvaDoFormulario).
#include "members/CamposDaFicha.h"

#include <QFrame>
#include <QHash>
#include <optional>

class QLabel;
class QHBoxLayout;

class FormularioFicha : public QFrame {
    Q_OBJECT
public:
    enum class Atualizacao {
        Completa,      // AtualizaGUI
        MantemNumero,  // AtualizaGUI2: the sheet-number box keeps its text
        SalVar,        // AtualizaGUISalVar: number, TXTSISTEMA and txtficha untouched
    };

    explicit FormularioFicha(QList<ControleDaFicha> controles, OpcoesDaFicha opcoes = {},
                             QWidget* parent = nullptr);

    const QList<ControleDaFicha>& controles() const { return m_controles; }
    const OpcoesDaFicha& opcoes() const { return m_opcoes; }

    // The control of a row (nullptr when this form has no such row).
    QWidget* controle(const QString& nome) const { return m_widgets.value(nome); }
    template <class W>
    W* controle(const QString& nome) const { return qobject_cast<W*>(controle(nome)); }
    // The label beside a row's control (nullptr when it has none).
    QLabel* rotulo(const QString& nome) const { return m_rotulos.value(nome); }

    // The text of a row's control, whatever its kind; empty for an absent row.
    QString texto(const QString& nome) const;
    void defineTexto(const QString& nome, const QString& texto);

    // Puts a window's own widget on the line of a row, right after that row's control.
    void adicionaApos(const QString& nome, QWidget* widget);

    // Record to controls. First sets the record's department to the logged-in operator's.
    // Returns false when the refresh failed; the error has then been shown (ExibeErro) and
    // the failure clearing done.
    bool atualiza(clsAgenda& registro, Atualizacao modo = Atualizacao::Completa);

    // Writes the placeholders of the rows marked for `acao` into their empty controls.
    void escreveMarcadores(unsigned acao);

    // txtData mandatory and a valid dd/mm/yyyy date; txtValor mandatory and numeric.
    bool ValidaFormulario();

    // A text with "|" or "@@@" would split or shift the record on the wire: shows which field
    // holds it and returns false. Only the rows copied by `acao` are checked.
    bool verificaSeparadores(unsigned acao, QWidget* dono);

    // Controls to record, for the rows copied by `acao`. Raises ErroDeExecucao when a
    // number or date cannot be read (the caller's handler reports it).
    void copiaPara(clsAgenda& registro, unsigned acao);

    // The whole number typed in a row's box; nothing when it is not one (or too large).
    std::optional<qint32> numeroDe(const QString& nome) const;

    // Rewrites txtnascido as dd/mm/yyyy when it reads as a date (done when the focus
    // enters txtnascidade).
    void reformataNascido();

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    void constroi();
    QWidget* criaControle(const ControleDaFicha& c);
    void mostraDatas(const clsAgenda& registro);
    void limpaNaFalha(Atualizacao modo);
    const ControleDaFicha* linha(const QString& nome) const;

    QList<ControleDaFicha> m_controles;
    OpcoesDaFicha m_opcoes;
    QHash<QString, QWidget*> m_widgets;
    QHash<QString, QLabel*> m_rotulos;
    QHash<int, QHBoxLayout*> m_linhas;
};
