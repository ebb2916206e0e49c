#pragma once
#include <QDialog>
#include <array>

class PainelFiltroBusca;
class QFontMetrics;
class ListaDeResultados;
class QPushButton;
class SlotDeBusca;

// "Localizar Membros para Carteirinha": one filter and five search slots, one per card.
// Slot 1's member becomes the card window's sheet (and card 1); slot k's fills card k.
// Opened modally by the card window's "Membros" button; every opening starts empty.
class frmlocalizarcarteira2 : public QDialog {
    Q_OBJECT
public:
    explicit frmlocalizarcarteira2(QWidget* parent = nullptr);

    PainelFiltroBusca* frameFiltroPesquisa;
    std::array<QPushButton*, 5> btnLocalizar;     // btnLocalizar, btnLocalizar2 ... btnLocalizar5
    std::array<ListaDeResultados*, 5> lstResultados;    // lstResultados, lstResultados2 ... lstResultados5
    std::array<SlotDeBusca*, 5> busca;             // slot k at [k-1]
    QPushButton* btnOk;
    QPushButton* btnCancelar;

    // Width a result list needs to show a line with a long full name whole.
    static int larguraParaUmaLinha(const QFontMetrics& medidas);

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    // Hands the member chosen in slot k to the card window; false when a check stopped it.
    bool escolhe(int k);
};
