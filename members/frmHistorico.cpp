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

// The caption the member window shows beside a field ("Endereço" for "endereco"); the
// record's own name where the window has none.
QString rotuloDoCampo(const QString& nome)
{
    static const QHash<QString, QString> rotulos = [] {
        QHash<QString, QString> r;
        const QList<ControleDaFicha> controles = CamposDaFicha::padrao();
        for (const CampoDaFicha& c : clsAgenda::campos()) {
            if (!c.texto)
                continue;
            for (const ControleDaFicha& k : controles) {
                QString rotulo = k.rotulo.trimmed();
                while (rotulo.endsWith(u':') || rotulo.endsWith(u'*'))
                    rotulo = rotulo.chopped(1).trimmed();
                const bool temLetra = std::any_of(rotulo.cbegin(), rotulo.cend(), [](QChar ch) { return ch.isLetter(); });
                if (!temLetra
                    || (k.mostra != c.texto && k.grava[0] != c.texto && k.grava[1] != c.texto))
                    continue;
                r.insert(QString::fromLatin1(c.nome), rotulo);
                break;
            }
        }
        return r;
    }();
    return rotulos.value(nome, nome);
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
