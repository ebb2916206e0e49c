#pragma once
#include "protocol/ErroDeExecucao.h"

#include <QString>
#include <QStringView>

// Walks a record text piece by piece, as a split at every "|" would number them, without
// building the whole list of pieces. Reading past the last piece raises the index error.
class Pecas {
public:
    // The split of an empty text has no pieces at all: its first read is already an index error.
    Pecas(QStringView texto, QString origem)
        : m_texto(texto), m_origem(std::move(origem)), m_fim(texto.isEmpty()) {}

    // The next piece; `nomeCampo` names it in the error when the text has run out.
    QStringView proxima(const char* nomeCampo)
    {
        if (m_fim)
            throw faltaParte(m_origem, m_indice, nomeCampo);
        const qsizetype barra = m_texto.indexOf(u'|', m_pos);
        QStringView peca;
        if (barra < 0) {
            peca = m_texto.mid(m_pos);
            m_fim = true;
        } else {
            peca = m_texto.mid(m_pos, barra - m_pos);
            m_pos = barra + 1;
        }
        ++m_indice;
        return peca;
    }

    // Everything not read yet, "|" and all: the tail a nested record parses. An exhausted
    // text gives the empty text, which the nested record then finds empty.
    QStringView resto() const { return m_fim ? QStringView() : m_texto.mid(m_pos); }

    const QString& origem() const { return m_origem; }

    // The index error for reading piece `indice` (counted from 0) of a text that has fewer.
    static ErroDeExecucao faltaParte(const QString& origem, int indice, const char* nomeCampo)
    {
        return ErroDeExecucao(origem, QStringLiteral("Subscrito fora do intervalo: falta a parte %1 (%2)")
                                          .arg(indice)
                                          .arg(QString::fromLatin1(nomeCampo)));
    }

private:
    QStringView m_texto;
    QString m_origem;
    qsizetype m_pos = 0;
    int m_indice = 0;
    bool m_fim;
};

