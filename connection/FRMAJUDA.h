#pragma once
#include <QDialog>

class QLabel;

// The support window: who to call. No behaviour of its own.
class FRMAJUDA : public QDialog {
    Q_OBJECT
public:
    explicit FRMAJUDA(QWidget* parent = nullptr);

    QLabel* lblTitulo;
    QLabel* lblEmail;
    QLabel* lblFone1;
    QLabel* lblFone2;
    QLabel* lblFone3;
};
