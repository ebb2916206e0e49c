// The window of changes the server did not apply (see frmConflitos.h).
#include "desconectado/frmConflitos.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "desconectado/CopiaSelada.h"
#include "protocol/FormatoBR.h"
#include "protocol/modCommands.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString valorDoCampo(const clsAgenda& f, const CampoDaFicha& c)
{
    switch (c.tipo) {
    case CampoDaFicha::Tipo::Inteiro:
        return QString::number(f.numeroFicha);
    case CampoDaFicha::Tipo::Data:
        return f.Data.toString(QStringLiteral("dd/MM/yyyy"));
    case CampoDaFicha::Tipo::Valor:
        return QString::number(f.Valor, 'f', 2);
    case CampoDaFicha::Tipo::Texto:
        return f.*c.texto;
    }
    return {};
}

void copiaCampo(clsAgenda& para, const clsAgenda& de, const CampoDaFicha& c)
{
    switch (c.tipo) {
    case CampoDaFicha::Tipo::Inteiro:
        break;   // the number is the registry's
    case CampoDaFicha::Tipo::Data:
        para.Data = de.Data;
        break;
    case CampoDaFicha::Tipo::Valor:
        para.Valor = de.Valor;
        break;
    case CampoDaFicha::Tipo::Texto:
        para.*c.texto = de.*c.texto;
        break;
    }
}

} // namespace

QStringList frmConflitos::camposDiferentes(const clsAgenda& escritorio, const clsAgenda& registro)
{
    QStringList nomes;
    for (const CampoDaFicha& c : clsAgenda::campos())
        if (c.tipo != CampoDaFicha::Tipo::Inteiro && valorDoCampo(escritorio, c) != valorDoCampo(registro, c))
            nomes << QString::fromLatin1(c.nome);
    return nomes;
}

clsAgenda frmConflitos::combina(const clsAgenda& escritorio, const clsAgenda& registro, const QStringList& escolhidos)
{
    clsAgenda f = registro;
    for (const CampoDaFicha& c : clsAgenda::campos())
        if (escolhidos.contains(QString::fromLatin1(c.nome)))
            copiaCampo(f, escritorio, c);
    return f;
}

frmConflitos::frmConflitos(CopiaSelada& copia, QWidget* parent) : QDialog(parent), m_copia(copia)
{
    setObjectName(QStringLiteral("frmConflitos"));
    setWindowTitle(QStringLiteral("Mudanças feitas sem conexão que não foram aplicadas"));
    resize(760, 520);
    lstConflitos = new QListWidget(this);
    lstConflitos->setObjectName(QStringLiteral("lstConflitos"));
    lblConflito = new QLabel(this);
    lblConflito->setObjectName(QStringLiteral("lblConflito"));
    lblConflito->setWordWrap(true);
    tblCampos = new QTableWidget(0, 3, this);
    tblCampos->setObjectName(QStringLiteral("tblCampos"));
    tblCampos->setHorizontalHeaderLabels(
        {QStringLiteral("Campo"), QStringLiteral("Digitado no escritório (marque para ficar)"), QStringLiteral("No registro")});
    tblCampos->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblCampos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    btnGravar = new QPushButton(QStringLiteral("Gravar"), this);
    btnGravar->setObjectName(QStringLiteral("btnGravar"));
    btnManterRegistro = new QPushButton(QStringLiteral("Manter o registro"), this);
    btnManterRegistro->setObjectName(QStringLiteral("btnManterRegistro"));
    timerTimeOut = new QTimer(this);
    timerTimeOut->setObjectName(QStringLiteral("timerTimeOut"));

    auto* botoes = new QHBoxLayout;
    botoes->addStretch(1);
    botoes->addWidget(btnManterRegistro);
    botoes->addWidget(btnGravar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lstConflitos, 1);
    layout->addWidget(lblConflito);
    layout->addWidget(tblCampos, 3);
    layout->addLayout(botoes);

    connect(lstConflitos, &QListWidget::currentRowChanged, this, &frmConflitos::mostra);
    connect(btnGravar, &QPushButton::clicked, this, [this] { protegido(this, QStringLiteral("frmConflitos.Gravar"), [this] { grava(); }); });
    connect(btnManterRegistro, &QPushButton::clicked, this, &frmConflitos::mantemRegistro);
    recarrega();
}

void frmConflitos::recarrega()
{
    m_conflitos = Diario(m_copia).conflitos();
    lstConflitos->clear();
    for (const Conflito& c : std::as_const(m_conflitos)) {
        const QString quando = QDateTime::fromMSecsSinceEpoch(c.mudanca.feitaEmMs).toString(QStringLiteral("dd/MM/yyyy HH:mm"));
        const QString oque = c.mudanca.codigo == Codigo::Exclui ? QStringLiteral("exclusão") : QStringLiteral("alteração");
        lstConflitos->addItem(QStringLiteral("Ficha %1 - %2 feita em %3").arg(c.mudanca.numero).arg(oque, quando));
    }
    if (!m_conflitos.isEmpty())
        lstConflitos->setCurrentRow(0);
    else
        mostra(-1);
}

const Conflito* frmConflitos::atual() const
{
    const int linha = lstConflitos->currentRow();
    return linha >= 0 && linha < m_conflitos.size() ? &m_conflitos[linha] : nullptr;
}

void frmConflitos::mostra(int)
{
    tblCampos->setRowCount(0);
    const Conflito* c = atual();
    btnGravar->setEnabled(c);
    btnManterRegistro->setEnabled(c);
    if (!c) {
        lblConflito->setText(QStringLiteral("Nenhuma mudança em conflito."));
        return;
    }
    if (c->mudanca.codigo == Codigo::Exclui) {
        lblConflito->setText(QStringLiteral("A ficha %1 foi excluída aqui, mas outra pessoa a alterou no registro depois da cópia. "
                                            "Gravar exclui a ficha como ela está no registro.")
                                 .arg(c->mudanca.numero));
        btnGravar->setText(QStringLiteral("Excluir"));
    } else if (c->excluidaNoRegistro) {
        lblConflito->setText(QStringLiteral("A ficha %1 foi excluída no registro depois da cópia. Gravar a inclui de novo como digitada aqui.")
                                 .arg(c->mudanca.numero));
        btnGravar->setText(QStringLiteral("Incluir de novo"));
    } else {
        lblConflito->setText(QStringLiteral("A ficha %1 mudou no registro depois da cópia. Marque o que foi digitado aqui e deve ficar; "
                                            "o resto fica como está no registro.")
                                 .arg(c->mudanca.numero));
        btnGravar->setText(QStringLiteral("Gravar"));
        const QStringList campos = camposDiferentes(c->mudanca.ficha, c->doRegistro);
        for (const CampoDaFicha& campo : clsAgenda::campos()) {
            if (!campos.contains(QString::fromLatin1(campo.nome)))
                continue;
            const int linha = tblCampos->rowCount();
            tblCampos->insertRow(linha);
            tblCampos->setItem(linha, 0, new QTableWidgetItem(QString::fromLatin1(campo.nome)));
            auto* escritorio = new QTableWidgetItem(valorDoCampo(c->mudanca.ficha, campo));
            escritorio->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            escritorio->setCheckState(Qt::Unchecked);
            tblCampos->setItem(linha, 1, escritorio);
            tblCampos->setItem(linha, 2, new QTableWidgetItem(valorDoCampo(c->doRegistro, campo)));
        }
    }
}

void frmConflitos::grava()
{
    const Conflito* c = atual();
    if (!c)
        return;
    std::optional<RespostaDoServidor> r;
    if (c->mudanca.codigo == Codigo::Exclui) {
        const auto resposta = Caixas::mostra(this,
                                             QStringLiteral("A ficha %1 foi alterada no registro depois que foi excluída aqui. "
                                                            "Deseja realmente excluí-la ?")
                                                 .arg(c->mudanca.numero),
                                             QStringLiteral("Excluir Ficha Alterada"), Caixas::Icone::Pergunta, true);
        if (resposta != Caixas::Resposta::Sim)
            return;
        r = Requisita(this, timerTimeOut, c->doRegistro.toPipeStringWithCommand(Codigo::Exclui), {Codigo::Excluido});
        if (r)
            m_copia.exclui(c->mudanca.numero);
    } else if (c->excluidaNoRegistro) {
        r = Requisita(this, timerTimeOut, c->mudanca.ficha.toPipeStringWithCommand(Codigo::Inclui), {Codigo::Incluido});
    } else {
        QStringList escolhidos;
        for (int linha = 0; linha < tblCampos->rowCount(); ++linha)
            if (tblCampos->item(linha, 1)->checkState() == Qt::Checked)
                escolhidos << tblCampos->item(linha, 0)->text();
        const clsAgenda ficha = combina(c->mudanca.ficha, c->doRegistro, escolhidos);
        r = Requisita(this, timerTimeOut, ficha.toPipeStringWithCommand(Codigo::Salva), {Codigo::Salvo});
        if (r) {
            clsAgenda gravada;
            gravada.fromPipeStringWithCommand(r->texto);
            // The version comes with the next update of the copy.
            m_copia.grava(gravada, m_copia.versao(gravada.numeroFicha));
        }
    }
    if (!r)
        return;
    Diario(m_copia).resolveConflito(c->id);
    recarrega();
}

void frmConflitos::mantemRegistro()
{
    if (const Conflito* c = atual()) {
        Diario(m_copia).resolveConflito(c->id);
        recarrega();
    }
}
