#pragma once
#include <QDialog>
#include <QHash>
#include <QString>
#include <utility>

class QDataWidgetMapper;
class QLineEdit;
class QSqlTableModel;
class PainelCalibracao;

// " Configurações da Carteirinha de Membros": the card layout (positions and font size of the
// ten texts of each of the five cards) bound to the single record of `configcredencial` in
// the local lookup file. The operator may type anything; printing converts the values.
// Pending changes are written back when the window closes.
//
// Entry points:
//   FrmConfig::mostra(dono)   the "Config" button: shows the window modally, owned by `dono`;
//                             on close it writes the record back and is unloaded.
//   FrmConfig::instancia()    what card printing reads: the loaded window, loaded hidden from
//                             the table when none is; with a window, a calibration that had
//                             to be set back to its default is told there once.
// `new FrmConfig(parent)` + exec() also works; closing it writes the record back.
class FrmConfig : public QDialog {
    Q_OBJECT
public:
    explicit FrmConfig(QWidget* parent = nullptr);
    ~FrmConfig() override;

    static void mostra(QWidget* dono);
    static FrmConfig* instancia(QWidget* avisarEm = nullptr);

    // The current text of the box bound to `coluna` ("nomex2", "fonte4"), as typed.
    QString valor(const QString& coluna) const;
    QLineEdit* caixa(const QString& coluna) const;

    // Whether the record could be read; when not, `erro()` says why.
    bool carregado() const { return m_carregado; }
    QString erro() const { return m_erro; }
    // A stored calibration that put card texts off the page and was set back to its default:
    // the message for the operator, handed out once (empty afterwards).
    QString tomaAviso() { return std::exchange(m_aviso, QString()); }

    // Writes pending edits into the table. Shows a message and returns false on failure.
    bool gravaRegistro();
    // Reads the record again from the table, dropping unsaved edits.
    void recarrega();

public slots:
    void done(int resultado) override;

private:
    void montaTela();
    void abreTabela();

    QString m_conexao;
    QHash<QString, QLineEdit*> m_caixas;   // by column name
    QSqlTableModel* m_modelo = nullptr;
    QDataWidgetMapper* m_mapa = nullptr;
    bool m_carregado = false;
    QString m_erro;
    QString m_aviso;
    // This machine's card-stock calibration, bound to its own table; its boxes are read
    // through valor() like the layout's.
    PainelCalibracao* m_calibracao = nullptr;
};
