// Packed pieces of framed replies: what the reader with unpacking takes, and what it refuses
// (a broken stream, never a crash nor an unbounded allocation).
#include "protocol/Compressao.h"
#include "protocol/Quadros.h"

#include <QRandomGenerator>
#include <QTest>

#include <zstd.h>

namespace {

QByteArray lista(int fichas)
{
    QByteArray r = "13|";
    for (int i = 1; i <= fichas; ++i)
        r += QByteArray::number(i) + "|Maria da Silva " + QByteArray::number(i * 7919) + "|Rua Um|Centro|Goi\xe2nia|GO|1|Secretaria@@@";
    return r;
}

// A frame as zstd makes it, with or without its unpacked size in front.
QByteArray frame(const QByteArray& dados, bool comTamanho)
{
    ZSTD_CCtx* c = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
    QByteArray saida(qsizetype(ZSTD_compressBound(size_t(dados.size()))), Qt::Uninitialized);
    ZSTD_outBuffer out{saida.data(), size_t(saida.size()), 0};
    ZSTD_inBuffer in{dados.data(), size_t(dados.size()), 0};
    if (comTamanho)
        ZSTD_CCtx_setPledgedSrcSize(c, dados.size());
    else   // a stream fed in two goes names no size
        ZSTD_compressStream2(c, &out, &in, ZSTD_e_flush);
    ZSTD_compressStream2(c, &out, &in, ZSTD_e_end);
    ZSTD_freeCCtx(c);
    saida.truncate(qsizetype(out.pos));
    return saida;
}

QByteArray marcado(const QByteArray& empacotado)
{
    return "z" + QByteArray::number(empacotado.size()) + ":" + empacotado;
}

struct Lido {
    QList<QByteArray> mensagens;
    bool ok = true;
};

Lido le(const QByteArray& fio, qsizetype corte)
{
    Quadros::Leitor leitor;
    Compressao::Desempacotador d;
    Lido l;
    QByteArray corrente;
    for (qsizetype i = 0; i < fio.size() && l.ok; i += corte)
        l.ok = leitor.le(
            QByteArrayView(fio).sliced(i, qMin(corte, fio.size() - i)), [&](QByteArrayView v) { corrente += v; },
            [&] { l.mensagens.append(std::exchange(corrente, QByteArray())); },
            [&](QByteArrayView parte, bool ultima) {
                if (!d.acrescenta(parte, ultima))
                    return false;
                corrente += d.pronto();
                return true;
            });
    return l;
}

} // namespace

class tst_compressao : public QObject {
    Q_OBJECT
private slots:
    // A long list goes packed and shorter; a short reply, or one that would not shrink, goes
    // as a plain piece.
    void quadro()
    {
        const QByteArray longa = lista(500);
        const QByteArray empacotada = Compressao::quadro(longa);
        QVERIFY(empacotada.startsWith('z'));
        QVERIFY(empacotada.size() * 2 < longa.size());
        QCOMPARE(Compressao::quadro("7|1|ana"), Quadros::quadro("7|1|ana"));
        QByteArray ruido(4096, Qt::Uninitialized);
        QRandomGenerator sorteio(23);
        sorteio.fillRange(reinterpret_cast<quint32*>(ruido.data()), ruido.size() / 4);
        QCOMPARE(Compressao::quadro(ruido), Quadros::quadro(ruido));
    }

    void leitura_data()
    {
        QTest::addColumn<QByteArray>("fio");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("mensagem");   // the first message, when ok
        const QByteArray l = lista(300);
        const QByteArray z = Compressao::quadro(l);
        QTest::newRow("empacotada") << z + Quadros::fim() << true << l;
        QTest::newRow("entre pedaços simples") << Quadros::quadro("ab") + z + Quadros::quadro("cd") + Quadros::fim() << true
                                               << "ab" + l + "cd";
        QByteArray estragada = z;
        estragada[estragada.size() / 2] = char(estragada[estragada.size() / 2] ^ 0x40);
        QTest::newRow("byte trocado") << estragada + Quadros::fim() << false << QByteArray();
        QTest::newRow("cortada no meio do frame") << marcado(frame(l, true).chopped(9)) + Quadros::fim() << false << QByteArray();
        QTest::newRow("sobra depois do frame") << marcado(frame(l, true) + "xx") + Quadros::fim() << false << QByteArray();
        QTest::newRow("sem tamanho dito") << marcado(frame(l, false)) + Quadros::fim() << false << QByteArray();
        // 64 MiB of zeros pack into a few KiB: refused by what the frame says, before any room is made.
        QTest::newRow("bomba") << marcado(frame(QByteArray(64 << 20, '\0'), true)) + Quadros::fim() << false << QByteArray();
        QTest::newRow("marcada vazia") << QByteArray("z0:0:") << false << QByteArray();
        QTest::newRow("duas marcas") << "z" + z + Quadros::fim() << false << QByteArray();
        QTest::newRow("não é zstd") << marcado(QByteArray(2000, 'x')) + Quadros::fim() << false << QByteArray();
    }

    // Whole or cut into tiny reads, the same messages, or the same refusal.
    void leitura()
    {
        QFETCH(QByteArray, fio);
        QFETCH(bool, ok);
        QFETCH(QByteArray, mensagem);
        for (const qsizetype corte : {fio.size(), qsizetype(7), qsizetype(1)}) {
            const Lido lido = le(fio, corte);
            QCOMPARE(lido.ok, ok);
            if (ok)
                QCOMPARE(lido.mensagens, QList<QByteArray>{mensagem});
        }
    }

    // A reader that did not agree on packing takes the mark as a broken stream.
    void semCombinar()
    {
        Quadros::Leitor leitor;
        QVERIFY(!leitor.le(Compressao::quadro(lista(300)), [](QByteArrayView) {}, [] {}));
    }
};

QTEST_MAIN(tst_compressao)
#include "tst_compressao.moc"
