#pragma once
// The result list box of a search slot: a list view over the slot's ListaDeFichas whose lines
// are made only when drawn or asked for, so a list of 100,000 sheets costs no more than its
// reply. Never sorted: line n is member n+1. The small accessors read like a list widget's.
#include <QAbstractListModel>
#include <QListView>

class ListaDeFichas;

class ModeloDeFichas : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Shows `fichas` (nullptr: an empty list); the list must outlive its showing.
    void mostra(const ListaDeFichas* fichas);
    // Shows `fichas`, whose first lines are the ones shown now (the same list grown, or the
    // list that took its place whole): the new lines are added below them, and what the
    // operator scrolled to or selected stays.
    void cresce(const ListaDeFichas* fichas);
    const ListaDeFichas* mostrando() const { return m_fichas; }

    int rowCount(const QModelIndex& pai = QModelIndex()) const override;
    QVariant data(const QModelIndex& indice, int papel = Qt::DisplayRole) const override;

private:
    const ListaDeFichas* m_fichas = nullptr;
};

class ListaDeResultados : public QListView {
    Q_OBJECT
public:
    explicit ListaDeResultados(QWidget* pai = nullptr);

    ModeloDeFichas* modelo() const { return m_modelo; }

    int count() const;                     // lines in the list
    QString linha(int i) const;            // the text of line i
    QStringList linhas() const;
    int currentRow() const;                // -1 when none
    void setCurrentRow(int i);             // makes line i current and selected
    QRect retanguloDaLinha(int i) const;   // where line i is drawn, in viewport coordinates

private:
    ModeloDeFichas* m_modelo;
};
