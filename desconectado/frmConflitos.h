#pragma once
// The window of changes made while disconnected that the server did not apply because the
// sheet had changed there since (another desk, another office). One conflict at a time:
// field by field what the office typed and what the registry holds now, the registry's value
// chosen unless the operator ticks the office's; "Gravar" sends the sheet so made as a
// save, "Manter o registro" drops the office's change. A deletion of a sheet someone changed
// asks before it deletes.
#include "desconectado/Diario.h"

#include <QDialog>
#include <QList>

class CopiaSelada;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTimer;

class frmConflitos : public QDialog {
    Q_OBJECT
public:
    frmConflitos(CopiaSelada& copia, QWidget* parent = nullptr);

    // The fields (their wire names) in which the office's sheet and the registry's differ.
    static QStringList camposDiferentes(const clsAgenda& escritorio, const clsAgenda& registro);
    // The registry's sheet with the office's value in each of `escolhidos`.
    static clsAgenda combina(const clsAgenda& escritorio, const clsAgenda& registro, const QStringList& escolhidos);

    QListWidget* lstConflitos;
    QLabel* lblConflito;
    QTableWidget* tblCampos;   // campo | digitado no escritório (tick to keep it) | no registro
    QPushButton* btnGravar;
    QPushButton* btnManterRegistro;
    QTimer* timerTimeOut;

private:
    void recarrega();
    void mostra(int linha);
    void grava();
    void mantemRegistro();
    const Conflito* atual() const;

    CopiaSelada& m_copia;
    QList<Conflito> m_conflitos;
};
