#include "search/ListaDeResultados.h"
#include "search/ListaDeFichas.h"

#include <QItemSelectionModel>

void ModeloDeFichas::mostra(const ListaDeFichas* fichas)
{
    beginResetModel();
    m_fichas = fichas;
    endResetModel();
}

void ModeloDeFichas::cresce(const ListaDeFichas* fichas)
{
    const int antes = rowCount();
    const int depois = fichas ? int(fichas->size()) : 0;
    if (depois < antes) {
        mostra(fichas);
        return;
    }
    if (depois == antes) {
        m_fichas = fichas;
        return;
    }
    beginInsertRows(QModelIndex(), antes, depois - 1);
    m_fichas = fichas;
    endInsertRows();
}

int ModeloDeFichas::rowCount(const QModelIndex& pai) const
{
    if (pai.isValid() || !m_fichas)
        return 0;
    return int(m_fichas->size());
}

QVariant ModeloDeFichas::data(const QModelIndex& indice, int papel) const
{
    if (papel != Qt::DisplayRole || !m_fichas || !indice.isValid() || indice.row() >= m_fichas->size())
        return {};
    return m_fichas->linha(indice.row());
}

ListaDeResultados::ListaDeResultados(QWidget* pai) : QListView(pai), m_modelo(new ModeloDeFichas(this))
{
    setModel(m_modelo);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

int ListaDeResultados::count() const
{
    return m_modelo->rowCount();
}

QString ListaDeResultados::linha(int i) const
{
    return m_modelo->index(i, 0).data().toString();
}

QStringList ListaDeResultados::linhas() const
{
    QStringList r;
    for (int i = 0, n = count(); i < n; ++i)
        r << linha(i);
    return r;
}

int ListaDeResultados::currentRow() const
{
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

void ListaDeResultados::setCurrentRow(int i)
{
    selectionModel()->setCurrentIndex(m_modelo->index(i, 0), QItemSelectionModel::ClearAndSelect);
}

QRect ListaDeResultados::retanguloDaLinha(int i) const
{
    return visualRect(m_modelo->index(i, 0));
}
