// The sheet history window: asks for one sheet's history and lists it.
#include "members/frmHistorico.h"
#include "connection/Requisicao.h"
#include "members/CamposDaFicha.h"
#include "members/JanelaDeFicha.h"
#include "protocol/clsAgenda.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"
#include "reports/JanelaDeRelatorio.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString origem = QStringLiteral("frmHistorico");

// A caption as the history writes it: without its trailing ":" or "*"; empty when it names
// nothing (no caption, or only "/" or "-").
QString rotuloLimpo(const QString& rotulo)
{
    QString r = rotulo.trimmed();
    while (r.endsWith(u':') || r.endsWith(u'*'))
        r = r.chopped(1).trimmed();
    const bool temLetra = std::any_of(r.cbegin(), r.cend(), [](QChar ch) { return ch.isLetter(); });
    return temLetra ? r : QString();
}

// The caption of the nearest captioned control beside row `i` on its line (before it, else
// after it) that differs from its own; empty when there is none.
QString rotuloAoLado(const QList<ControleDaFicha>& controles, qsizetype i)
{
    const QString proprio = rotuloLimpo(controles[i].rotulo);
    QString antes, depois;
    for (qsizetype j = 0; j < controles.size(); ++j) {
        const QString r = rotuloLimpo(controles[j].rotulo);
        if (j == i || controles[j].linha != controles[i].linha || r.isEmpty() || r == proprio)
            continue;
        if (j < i)
            antes = r;
        else if (depois.isEmpty())
            depois = r;
    }
    return antes.isEmpty() ? depois : antes;
}

// The name the history gives each record field: the caption the member window shows beside
// it ("Endereço" for "endereco"), or the record's own name where the window has none. A
// caption several fields share would hide which one changed, so there each is qualified by
// the caption beside its control ("Cidade (Nascido em)"), or by the record's name where that
// too is shared, as by two fields of one control ("Nascido em (niver)").
QHash<QString, QString> nomesDosCampos()
{
    struct Nome {
        QString campo;
        QString rotulo;
        QString aoLado;
    };
    const QList<ControleDaFicha> controles = CamposDaFicha::padrao();
    QList<Nome> nomes;
    for (const CampoDaFicha& c : clsAgenda::campos()) {
        Nome n{QString::fromLatin1(c.nome), QString(), QString()};
        for (qsizetype i = 0; c.texto && i < controles.size() && n.rotulo.isEmpty(); ++i) {
            const ControleDaFicha& k = controles[i];
            if (k.mostra != c.texto && k.grava[0] != c.texto && k.grava[1] != c.texto)
                continue;
            n.rotulo = rotuloLimpo(k.rotulo);
            if (!n.rotulo.isEmpty())
                n.aoLado = rotuloAoLado(controles, i);
        }
        nomes << n;
    }
    const auto quantos = [&nomes](const QString& rotulo, const QString* aoLado) {
        return std::count_if(nomes.cbegin(), nomes.cend(), [&](const Nome& o) {
            return o.rotulo.compare(rotulo, Qt::CaseInsensitive) == 0 && (!aoLado || o.aoLado == *aoLado);
        });
    };
    QHash<QString, QString> r;
    for (const Nome& n : nomes) {
        if (n.rotulo.isEmpty() || quantos(n.rotulo, nullptr) == 1)
            r.insert(n.campo, n.rotulo.isEmpty() ? n.campo : n.rotulo);
        else
            r.insert(n.campo, QStringLiteral("%1 (%2)").arg(
                                  n.rotulo, n.aoLado.isEmpty() || quantos(n.rotulo, &n.aoLado) > 1 ? n.campo : n.aoLado));
    }
    return r;
}

QString rotuloDoCampo(const QString& nome)
{
    static const QHash<QString, QString> nomes = nomesDosCampos();
    return nomes.value(nome, nome);
}

QString ouVazio(const QString& valor)
{
    return valor.isEmpty() ? QStringLiteral("(vazio)") : valor;
}

} // namespace

frmHistorico* frmHistorico::consulta(QWidget* dono, QTimer* timerTimeOut, qint32 nficha, const QString& nome)
{
    // Whatever this request brings, another sheet's history is no longer the one to show.
    if (dono)
        for (frmHistorico* anterior : dono->findChildren<frmHistorico*>(QString(), Qt::FindDirectChildrenOnly))
            anterior->close();
    const QPointer<QWidget> guarda = dono;
    const std::optional<RespostaDoServidor> resposta =
        Requisita(dono, timerTimeOut, Historico::pedido(nficha), {Historico::codigoDaResposta});
    if (!resposta || (dono && !guarda))
        return nullptr;
    QList<Historico::Entrada> entradas;
    if (!Historico::leResposta(resposta->texto, entradas))
        throw ErroDeExecucao(origem, QStringLiteral("O servidor enviou um histórico que não pôde ser lido"));
    auto* janela = new frmHistorico(dono);
    janela->mostra(nficha, nome, entradas);
    janela->show();
    janela->raise();
    janela->activateWindow();
    return janela;
}

QString frmHistorico::formataQuando(const QDateTime& quando)
{
    const QDateTime local = quando.toLocalTime();
    return FormatoBR::formataData(local.date()) + u' ' + local.time().toString(QStringLiteral("HH:mm:ss"));
}

QString frmHistorico::formataAlteracoes(const QList<Historico::Alteracao>& alteracoes)
{
    QStringList linhas;
    for (const Historico::Alteracao& a : alteracoes)
        linhas << rotuloDoCampo(a.campo) + QStringLiteral(": ") + ouVazio(a.antes) + QStringLiteral(" → ") + ouVazio(a.depois);
    return linhas.join(u'\n');
}

frmHistorico::frmHistorico(QWidget* dono) : QWidget(dono, Qt::Window)
{
    JanelaDeRelatorio::prepara(this, "frmHistorico", QStringLiteral("Histórico da Ficha"));
    // It shows a member's data: it goes at log off with the member window.
    JanelaDeFicha::guardaFichas(this);

    lblFicha = new QLabel(this);
    lblFicha->setObjectName(QStringLiteral("lblFicha"));
    lstHistorico = new QTreeWidget(this);
    lstHistorico->setObjectName(QStringLiteral("lstHistorico"));
    lstHistorico->setRootIsDecorated(false);
    lstHistorico->setUniformRowHeights(false);   // a row has a line per field changed
    lstHistorico->setAlternatingRowColors(true);
    lstHistorico->setSelectionMode(QAbstractItemView::SingleSelection);
    lstHistorico->setHeaderLabels({QStringLiteral("Data e Hora"), QStringLiteral("Operador"), QStringLiteral("Ação"),
                                   QStringLiteral("Alterações")});
    lstHistorico->header()->setStretchLastSection(true);
    lblVazio = new QLabel(QStringLiteral("Não há registros no histórico desta ficha."), this);
    lblVazio->setObjectName(QStringLiteral("lblVazio"));
    lblVazio->setAlignment(Qt::AlignCenter);
    btnFechar = JanelaDeRelatorio::botao(this, QStringLiteral("&Fechar"), "btnFechar");

    auto* botoes = new QHBoxLayout;
    botoes->addStretch(1);
    botoes->addWidget(btnFechar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblFicha);
    layout->addWidget(lstHistorico, 1);
    layout->addWidget(lblVazio, 1);
    layout->addLayout(botoes);

    connect(btnFechar, &QPushButton::clicked, this, &QWidget::close);
    resize(760, 420);
}

void frmHistorico::mostra(qint32 nficha, const QString& nome, const QList<Historico::Entrada>& entradas)
{
    setWindowTitle(QStringLiteral("Histórico da Ficha %1").arg(nficha));
    lblFicha->setText(nome.isEmpty() ? QStringLiteral("Ficha %1").arg(nficha)
                                     : QStringLiteral("Ficha %1 — %2").arg(nficha).arg(nome));
    lstHistorico->clear();
    QList<QTreeWidgetItem*> itens;
    for (const Historico::Entrada& e : entradas) {
        auto* item = new QTreeWidgetItem(
            QStringList{formataQuando(e.quando), e.operador, e.acao.left(1).toUpper() + e.acao.mid(1), formataAlteracoes(e.alteracoes)});
        // The time, operator and action stand on the line of the first field changed.
        for (int c = 0; c < item->columnCount(); ++c)
            item->setTextAlignment(c, Qt::AlignLeft | Qt::AlignTop);
        itens << item;
    }
    lstHistorico->addTopLevelItems(itens);
    for (int c = 0; c < lstHistorico->columnCount() - 1; ++c)
        lstHistorico->resizeColumnToContents(c);
    lstHistorico->setVisible(!entradas.isEmpty());
    lblVazio->setVisible(entradas.isEmpty());
}
