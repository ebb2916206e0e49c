#pragma once
// One search slot of a member search dialog: a "Localizar" button, a result list box and the
// stored result list `membrosEncontrados`, sharing the dialog's filter frame. The member
// search (frmLocalizar) has one slot, the renewal search two, the card search five; each
// dialog only says what happens with a chosen member.
//
// How a dialog uses it:
//
//     m_filtro = new PainelFiltroBusca(true, this);               // frameFiltroPesquisa
//     auto* slot = new SlotDeBusca(this, m_filtro, btnLocalizar2, lstResultados2,
//                                  [] { return frmprincipal2::instancia()->timerTimeOut; },
//                                  [] { return frmprincipal2::instancia()->membros.departamento.idDepartamento; });
//     slot->antesDeBuscar = [] { ... };        // optional, e.g. close the member window first
//     // the button's click runs slot->Localiza() (ValidaFiltro, EnviaBusca, PreencheLista)
//     connect(lstResultados2, &QListView::clicked, this, [=] {
//         if (const clsAgenda* m = slot->escolhido())       // "Lista Vazia" / "Selecione um Registro"
//             janela->AtualizaGUI2(*m);
//         close();
//     });
//
// List lines are never sorted: line n is member n+1 of `membrosEncontrados`. The list box
// (ListaDeResultados) shows them through a model; a line is made when it is drawn.
//
// On a framed connection a long list shows as it arrives: each sheet is listed once its end
// has come, and the slot's status line (defineLinhaDeStatus) counts them. The list is still
// whole or nothing: `membrosEncontrados` is set only once the reply is whole, and a reply that
// breaks off (or brings a broken sheet) takes every line it showed away with it.
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "search/ListaDeFichas.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

class PainelFiltroBusca;
class ListaDeResultados;
class QLabel;
class QPushButton;
class QTimer;
class QWidget;

class SlotDeBusca : public QObject {
    Q_OBJECT
public:
    SlotDeBusca(QWidget* dono, PainelFiltroBusca* filtro, QPushButton* botao, ListaDeResultados* lista,
                std::function<QTimer*()> timerTimeOut, std::function<qint32()> idDepartamento);
    ~SlotDeBusca() override;

    // The slot's last result, in the server's order; absent before the first search and
    // after a search that failed (time-out, 0, unknown code, no connection, broken list).
    // Sheets are parsed one at a time, when chosen.
    std::optional<ListaDeFichas> membrosEncontrados;

    // Runs before every search of this slot (after nothing else), if set.
    std::function<void()> antesDeBuscar;

    // The button's click: validate, build the filter, send, keep the result, fill the list.
    void Localiza();

    // Code 12 with `filtro`; 13 = the list, 14 = "Nenhum Registro" and an empty list, anything
    // else (and no connection) nothing, the shared messages shown by the request cycle.
    // A list with a broken sheet (piece count, number, date) is refused whole with the parser's error.
    static std::optional<ListaDeFichas> EnviaBusca(QWidget* dono, QTimer* timerTimeOut,
                                                      const clsFiltroBusca& filtro);
    // The same, following the reply as it arrives: `andamento` as in RequisitaEmBytes, and the
    // list it was read into (`chegando`, given the same bytes) finished rather than read again.
    static std::optional<ListaDeFichas> EnviaBusca(QWidget* dono, QTimer* timerTimeOut,
                                                      const clsFiltroBusca& filtro, ListaDeFichas* chegando,
                                                      std::function<void(QByteArrayView)> andamento);

    // Where the slot says how many sheets have come while a list arrives, and how many came
    // (nullptr: nowhere).
    void defineLinhaDeStatus(QLabel* linha);
    // Whether lists are shown as they arrive (the default). Benchmarks compare both.
    static void defineMostraAoChegar(bool sim);

    // Sheet number, tab, dd/MM/yyyy, tab, name.
    static QString FormataItemLista(const clsAgenda& membro);

    // Fills the list box from membrosEncontrados, then clears the dialog's error labels.
    void PreencheLista();

    // The member of the selected line, after the two checks with their messages ("Lista
    // Vazia", "Selecione um Registro"); nullptr when a check stopped it. Its sheet is parsed
    // now: a malformed one is reported through ExibeErro, gives nullptr and leaves the list as is.
    // The pointer stays valid until the next call.
    const clsAgenda* escolhido();

    QPushButton* botao() const { return m_botao; }
    ListaDeResultados* lista() const { return m_lista; }

    // The list box's lines, as shown: how many, one, all.
    int quantas() const;
    QString linha(int i) const;
    QStringList linhas() const;

private:
    // One more piece of the reply (empty: the wait ended without it whole).
    void acompanha(QByteArrayView ateAgora);
    // The lines of a list that did not come whole go, and its count.
    void esqueceChegada();
    void mostraStatus(const QString& texto);

    QWidget* m_dono;
    PainelFiltroBusca* m_filtro;
    QPushButton* m_botao;
    QPointer<ListaDeResultados> m_lista;
    std::function<QTimer*()> m_timer;
    std::function<qint32()> m_idDepartamento;
    std::optional<clsAgenda> m_escolhido;
    std::optional<ListaDeFichas> m_chegando;   // the list being received
    QElapsedTimer m_desdeOQueMostrou;          // since it last grew on screen
    QPointer<QLabel> m_linhaDeStatus;
};
