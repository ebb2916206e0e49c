#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

// Puts together a reply that may reach us in several arrivals. The reply is kept as the bytes
// that came (Windows-1252, one byte per character): nothing is decoded while it arrives. The wire has no end marker,
// so a reply is taken as complete when two things hold:
//  - its shape is whole: the code is known and the text has every "|" piece a message of
//    that code has (for a list of sheets: it ends on a sheet boundary, and, once the
//    operator's department is known, on the whole of its description);
//  - nothing more has arrived for a short quiet interval (the last piece might still be
//    growing). The caller times that interval; `silencioMs` says how long it should be.
class MontadorDeResposta {
public:
    // Quiet intervals, in milliseconds. A record is whole once its pieces are all there, so
    // only its last field can still be growing: a short interval does. A long list crosses
    // many reads and the sender may pause between them, so it waits longer. A text whose
    // shape is not (yet) whole is taken as it stands only after a long silence, so a reply
    // the server cut short is reported as a bad reply instead of a time-out; a list of
    // sheets that stops short never is (a slow line pauses anywhere): only its rest or the
    // time-out ends that wait.
    // A list of several sheets whose text stops where a sheet ends may be whole, or the line
    // may have stalled right there: `entreFichas` is how long to wait then (the caller sets
    // it from the link; never less than `lista`).
    struct Silencios {
        int registro = 2;
        int lista = 25;
        int incompleta = 1000;
        int entreFichas = 25;
    };

    void reinicia();
    void acrescenta(QByteArrayView pedaco);
    // Text already decoded (tests, fuzzing): encoded back to the wire's bytes.
    void acrescenta(QStringView pedaco);

    // The codes the request is waiting for. A reply with any other code is whole as soon as
    // its code is known: the caller only reports that code, so the rest need not arrive.
    // Empty: every code is assembled in full.
    void defineEsperados(QList<int> esperados) { m_esperados = std::move(esperados); }
    // The logged-in operator's department. Every sheet of a list ends with its number and
    // description, so a list whose last sheet has that number and ends on part of the
    // description (or inside the "@@@" after it) is cut short. Not called (before login):
    // only the pieces are counted.
    void defineDepartamento(qint32 id, const QString& descricao);

    // The reply as bytes, and decoded (made on each call).
    const QByteArray& bytes() const { return m_bytes; }
    QString texto() const;
    // Lets go of the bytes: the caller keeps them (the assembler is left as after reinicia()).
    QByteArray tomaBytes();
    qsizetype barras() const { return m_barras; }
    qsizetype tamanho() const { return m_bytes.size(); }
    bool vazio() const { return m_bytes.isEmpty(); }

    // The reply's shape is whole (see above).
    bool formaCompleta() const;
    // How long the stream must stay quiet, from the last arrival, before the text is the
    // whole reply; -1 while nothing has arrived, and for a list of sheets cut short (no quiet
    // interval makes it whole).
    int silencioMs(const Silencios& s) const;

private:
    void leCodigo();
    bool inesperado(int codigo) const { return !m_esperados.isEmpty() && !m_esperados.contains(codigo); }
    bool podeSerInicioDeEsperado(QByteArrayView texto) const;
    bool listaDeFichas() const;
    bool paraAntesDoDepartamento(QByteArrayView ultimaPeca) const;

    QByteArray m_bytes;
    qsizetype m_barras = 0;        // "|" seen so far
    qsizetype m_ultimaBarra = -1;  // position of the last "|"
    bool m_codigoLido = false;     // the text before the first "|" has been examined
    bool m_codigoValido = false;
    int m_codigo = 0;
    QList<int> m_esperados;
    bool m_conheceDepartamento = false;
    QByteArray m_idDoDepartamento;
    QByteArray m_fimDaFicha;   // the description and the "@@@" that may follow it
};
