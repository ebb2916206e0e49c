#pragma once
#include "cards/ImpressaoCarteiras.h"

#include <QGroupBox>
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

class QDataWidgetMapper;
class QLineEdit;
class QSqlTableModel;

// Binds each box to the model's column of its name (through `mapa`, already on `modelo`) and
// shows the first row; a box whose column the table lacks is disabled. Returns the names of
// those missing columns.
QStringList ligaCaixas(QDataWidgetMapper& mapa, const QSqlTableModel& modelo, const QHash<QString, QLineEdit*>& caixas);

class QDataWidgetMapper;
class QLineEdit;
class QPainter;
class QPrinter;
class QSqlTableModel;

// Card-stock calibration of this machine: a horizontal and vertical offset in millimetres and
// a scale, applied to every card text at print time so that a layout made for one printer
// lands on the stock in another. Kept in the table `calibracaocarteira` of the local lookup
// file, edited in the layout window beside the layout, read by printing through the same
// setting names as the layout ("deslocamentox", "deslocamentoy", "escala").
struct Calibracao {
    double deslocamentoX = 0;   // mm, to the right
    double deslocamentoY = 0;   // mm, down
    double escala = 1;          // positions and font sizes

    bool neutra() const { return deslocamentoX == 0 && deslocamentoY == 0 && escala == 1; }

    // The names of the three settings.
    static QString nomeX() { return QStringLiteral("deslocamentox"); }
    static QString nomeY() { return QStringLiteral("deslocamentoy"); }
    static QString nomeEscala() { return QStringLiteral("escala"); }

    static constexpr double escalaMinima = 0.5;
    static constexpr double escalaMaxima = 2.0;
    // A setting or layout value in the operator's number format; nothing when it is not one.
    static std::optional<double> numero(const QString& texto);

    // Reads the three settings (empty: no offset, scale 1). A value that is not a number, or a
    // scale outside 0,5..2, comes back as the setting that cannot be used.
    static std::optional<Calibracao> le(const ImpressaoCarteiras::LeConfiguracao& configuracao,
                                        ImpressaoCarteiras::ConfiguracaoInvalida* invalida);

    // Moves and scales `pintor` (whose origin is the printable area's corner) for a device
    // of `pontosPorPolegada`.
    void aplica(QPainter& pintor, double pontosPorPolegada) const;

    // Creates the table with its one neutral record in `db` when missing; never touches
    // anything else in the file. Returns an error text, or empty.
    static QString garanteTabela(QSqlDatabase db);
};

// The calibration boxes of the layout window: a group bound to the record of
// `calibracaocarteira`, written back with the layout.
class PainelCalibracao : public QGroupBox {
    Q_OBJECT
public:
    explicit PainelCalibracao(QWidget* parent = nullptr);
    ~PainelCalibracao() override;

    // The boxes by setting name.
    const QHash<QString, QLineEdit*>& caixas() const { return m_caixas; }
    QString erro() const { return m_erro; }
    // Writes pending edits; false with `erro` set on failure. An edit that puts a text off
    // the page is refused first (see defineLayout).
    bool grava();
    void recarrega();

    // The layout (all five cards) whose texts the calibration must keep on the printable area
    // of the default printer: a typed value that does not is refused, with a box that names
    // the setting and the range that fits, and the box gets its last value back.
    void defineLayout(ImpressaoCarteiras::LeConfiguracao layout) { m_layout = std::move(layout); }
    // The same for the values read from the file: each one that does not fit is replaced by
    // its default. The one message that says so, or empty.
    QString confereGravados();

private:
    std::optional<Calibracao> lidaDasCaixas() const;
    bool confereDigitado(const QString& nome);
    void aceitaCaixas();

    ImpressaoCarteiras::LeConfiguracao m_layout;
    QHash<QString, QString> m_aceitos;   // the last value of each box that fits the page
    QString m_conexao;
    QHash<QString, QLineEdit*> m_caixas;
    QSqlTableModel* m_modelo = nullptr;
    QDataWidgetMapper* m_mapa = nullptr;
    QString m_erro;
};

// "Página de Teste": for each card of the layout, the outline of its front and of its back
// as ID-1 cards (85,60 x 53,98 mm) and, at every field position, a cross and the setting's
// name where the text would start; calibrated like the cards. Held against the stock it
// shows how far the printer is off.
namespace PaginaDeTeste {

inline constexpr double larguraMm = 85.60;
inline constexpr double alturaMm = 53.98;
// A face's corner lies this far left of and above its first text: the inner margins of the
// shipped layout, in twips.
inline constexpr double margemXTwips = 300;
inline constexpr double margemYTwips = 250;

// The top-left corner of the front (verso = false) or back of card `carteira`, in twips from
// the printable area's corner, before calibration; nothing when a setting is not a number.
std::optional<QPointF> cantoDaFace(int carteira, bool verso, const ImpressaoCarteiras::LeConfiguracao& configuracao);

// Paints the page; false (with `invalida`) when a setting cannot be used.
bool pinta(QPrinter& impressora, const ImpressaoCarteiras::LeConfiguracao& configuracao,
           ImpressaoCarteiras::ConfiguracaoInvalida* invalida = nullptr);

// The two buttons of the layout window: print on the default printer (or `escolhida`, picked
// in the preview), or preview.
bool imprime(QWidget* dono, const ImpressaoCarteiras::LeConfiguracao& configuracao,
             const QPrinter* escolhida = nullptr);
void visualiza(QWidget* dono, const ImpressaoCarteiras::LeConfiguracao& configuracao);

} // namespace PaginaDeTeste
