#pragma once
// The card window opened on the registry server with four members stored, and the operator's
// moves on it, shared by the card window's tests.
#include "ServidorReal.h"
#include "cards/FrmConfig.h"
#include "cards/frmPrincipal3.h"
#include "cards/frmlocalizarcarteira2.h"
#include "connection/Requisicao.h"
#include "members/FormularioFicha.h"
#include "search/ListaDeResultados.h"
#include "search/PainelFiltroBusca.h"
#include "support/AmbienteDeTeste.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

struct Membro {
    const char* nome;
    const char* sistema;
    const char* rg;
};
// Stored in this order, so the server numbers them 1..4.
inline const Membro cadastrados[] = {
    {"ANA CARDOSO", "S101", "11.111.111-1"},
    {"BRUNO ALVES", "S102", "22.222.222-2"},
    {"CARLA ANDRADE", "S103", "33.333.333-3"},
    {"DANIEL ALVES", "S104", "44.444.444-4"},
};

inline void clicaNaLinha(ListaDeResultados* lista, int linha, bool duplo = false)
{
    const QRect r = lista->retanguloDaLinha(linha);
    QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, r.center());
    if (duplo)
        QTest::mouseDClick(lista->viewport(), Qt::LeftButton, {}, r.center());
}

// The tests' fixture: their init() opens it with abreComMembros(), their cleanup() ends it with fechaTudo().
class JanelaDeCarteiras : public QObject {
protected:
    std::unique_ptr<ServidorReal> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    QPointer<frmPrincipal> membrosJanela;
    QPointer<frmPrincipal3> janela;
    QTemporaryDir pdfs;

    QString texto(const char* nome) { return janela->ficha->texto(QString::fromLatin1(nome)); }
    QLineEdit* caixa(const char* nome) { return janela->findChild<QLineEdit*>(QString::fromLatin1(nome)); }
    void digita(const char* nome, const QString& t)
    {
        QLineEdit* e = caixa(nome);
        QVERIFY2(e, nome);
        e->clear();
        QTest::keyClicks(e, t);
    }
    void comando(const char* chave) { QVERIFY2(disparaComando(janela->toolMenu, QLatin1String(chave)), chave); }
    QStringList titulos() const { return titulosETextos(*caixas); }
    int pedidosNoDiario() const { return servidor->diario().count(QStringLiteral("\n")); }

    // A member on the server, stored with code 6 on the program's connection.
    void cadastra(const Membro& m)
    {
        clsAgenda a;
        a.nome = QString::fromLatin1(m.nome);
        a.sistema = QString::fromLatin1(m.sistema);
        a.rg = QString::fromLatin1(m.rg);
        a.civil = QStringLiteral("CASADO");
        a.dataadmissao = QStringLiteral("10/02/2015");
        a.validade = QStringLiteral("31/12/2027");
        a.IGREJA = QStringLiteral("SEDE");
        a.ufcong = QStringLiteral("SP");
        a.setornome = QStringLiteral("SETOR-") + QString::fromLatin1(m.sistema);
        a.Data = QDate(2024, 3, 15);
        a.departamento = globais().usuarioLogado->departamento;
        const auto r = Requisita(nullptr, membrosJanela->timerTimeOut, a.toPipeStringWithCommand(6), {7});
        QVERIFY(r);
    }

    // The search dialog as the "Membros" button opens it, but left open for the test to drive.
    std::unique_ptr<frmlocalizarcarteira2> abreBusca()
    {
        auto d = std::make_unique<frmlocalizarcarteira2>(janela);
        d->show();
        return d;
    }
    void busca(frmlocalizarcarteira2& d, int slot, const QString& nome)
    {
        d.frameFiltroPesquisa->txtNome->clear();
        QTest::keyClicks(d.frameFiltroPesquisa->txtNome, nome);
        QTest::mouseClick(d.btnLocalizar[size_t(slot - 1)], Qt::LeftButton);
    }

    // Cards 1 (OK button), 2 and 4 (a click on the line) filled from the search dialog.
    void preencheCarteiras124()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("ANA"));
        d->lstResultados[0]->setCurrentRow(0);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        busca(*d, 2, QStringLiteral("BRUNO"));
        clicaNaLinha(d->lstResultados[1], 0);
        d = abreBusca();
        busca(*d, 4, QStringLiteral("DANIEL"));
        clicaNaLinha(d->lstResultados[3], 0);
    }

    // The card window's texts of card k.
    QStringList carteira(int k)
    {
        QStringList t;
        for (const QString& s : janela->textosDaCarteira(k))
            t << s;
        return t;
    }

    // Runs `acao` inside the layout window the "Config" button shows, then closes it.
    void naJanelaDeConfiguracao(const std::function<void(FrmConfig&)>& acao)
    {
        bool rodou = false;
        QTimer::singleShot(0, this, [&] {
            auto* f = qobject_cast<FrmConfig*>(QApplication::activeModalWidget());
            if (f) {
                acao(*f);
                rodou = true;
                f->close();
            }
        });
        FrmConfig::mostra(membrosJanela);
        QVERIFY(rodou);
    }

    void abreComMembros()
    {
        servidor = std::make_unique<ServidorReal>();
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        membrosJanela = entrada->entraNoServidor(*servidor);
        QVERIFY2(membrosJanela, qPrintable(entrada->erro + u'\n' + titulos().join(u'\n')));
        for (const Membro& m : cadastrados)
            cadastra(m);
        // "Imprimir Carteira": the member window closes and the card window opens.
        membrosJanela->close();
        frmPrincipal3::abre();
        janela = frmPrincipal3::existente();
        QVERIFY(janela && janela->isVisible());
        caixas->limpa();
    }
    void fechaTudo()
    {
        delete janela.data();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<FrmConfig*>(w))
                delete w;
        entrada.reset();
        caixas.reset();
        servidor.reset();
    }
};
