#pragma once
#include "protocol/modCommands.h"

#include <QList>
#include <QString>
#include <QStringView>

// The two "...WithCommand" operations every record has, written once: the code, "|", the
// record text; and the reverse, which fills the record first and reads the code after.
template <class Registro>
class ComComando {
public:
    QString toPipeStringWithCommand(int command) const
    {
        return comComando(command, self().toPipeString());
    }

    int fromPipeStringWithCommand(QStringView pipeString)
    {
        QStringView carga;
        const QStringView codigo = separaComando(pipeString, carga);
        self().fromPipeString(carga);
        return codigoDaMensagem(codigo, QString::fromLatin1(Registro::nomeDaClasse));
    }

    // No state of its own: lets the records compare field by field with "= default".
    bool operator==(const ComComando&) const = default;

private:
    const Registro& self() const { return static_cast<const Registro&>(*this); }
    Registro& self() { return static_cast<Registro&>(*this); }
};

// The list operations of the member and congregation records: texts joined by "@@@".
template <class Registro>
struct ListaDoFio {
    static constexpr QStringView separador = u"@@@";

    bool operator==(const ListaDoFio&) const = default;

    static QString collectionToPipeString(const QList<Registro>& colecao)
    {
        qsizetype tamanho = 0;
        for (const Registro& r : colecao)
            tamanho += r.tamanhoNoFio() + separador.size();
        QString texto;
        texto.reserve(tamanho);
        bool primeiro = true;
        for (const Registro& r : colecao) {
            if (!primeiro)
                texto += separador;
            primeiro = false;
            r.escreveEm(texto);
        }
        return texto;
    }

    static QString collectionToPipeStringWithCommand(const QList<Registro>& colecao, int command)
    {
        return comComando(command, collectionToPipeString(colecao));
    }

    static QList<Registro> collectionFromPipeString(QStringView pipeString)
    {
        QList<Registro> colecao;
        if (pipeString.isEmpty())
            return colecao;
        // Room for every record at once: a search reply can hold thousands.
        qsizetype registros = 1;
        for (qsizetype p = proximoSeparador(pipeString, 0); p >= 0; p = proximoSeparador(pipeString, p + 3))
            ++registros;
        colecao.reserve(registros);
        qsizetype inicio = 0;
        for (;;) {
            const qsizetype fim = proximoSeparador(pipeString, inicio);
            // Filled in place; when it fails the whole list is dropped with the error.
            colecao.emplace_back().fromPipeString(fim < 0 ? pipeString.mid(inicio)
                                                          : pipeString.mid(inicio, fim - inicio));
            if (fim < 0)
                break;
            inicio = fim + separador.size();
        }
        return colecao;
    }

    // The first "@@@" from `inicio` on, or -1. Looks for the rare "@" with the fast character
    // search and checks the two after it, which is far quicker than a generic substring search.
    static qsizetype proximoSeparador(QStringView texto, qsizetype inicio)
    {
        for (;;) {
            const qsizetype p = texto.indexOf(u'@', inicio);
            if (p < 0 || p + 3 > texto.size())
                return -1;
            if (texto[p + 1] == u'@' && texto[p + 2] == u'@')
                return p;
            inicio = p + 1;
        }
    }

    // The code is not read here: the caller has already taken it with LeComando.
    static QList<Registro> collectionFromPipeStringWithCommand(QStringView pipeString)
    {
        QStringView carga;
        separaComando(pipeString, carga);
        return collectionFromPipeString(carga);
    }
};
