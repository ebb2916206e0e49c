#pragma once
#include "protocol/modCommands.h"

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
        QString texto;
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
        qsizetype inicio = 0;
        for (;;) {
            const qsizetype fim = pipeString.indexOf(separador, inicio);
            Registro r;
            r.fromPipeString(fim < 0 ? pipeString.mid(inicio) : pipeString.mid(inicio, fim - inicio));
            colecao.append(std::move(r));
            if (fim < 0)
                break;
            inicio = fim + separador.size();
        }
        return colecao;
    }

    // The code is not read here: the caller has already taken it with LeComando.
    static QList<Registro> collectionFromPipeStringWithCommand(QStringView pipeString)
    {
        QStringView carga;
        separaComando(pipeString, carga);
        return collectionFromPipeString(carga);
    }
};
