#include "cards/FrmConfig.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "cards/CamposDaCarteira.h"
#include "cards/Calibracao.h"

#include <QDataWidgetMapper>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QVBoxLayout>

namespace {

const QString tituloDaJanela = QStringLiteral(" Configurações da Carteirinha de Membros");
const QString tituloDaCalibracao = QStringLiteral("Calibração da Impressora");

// Every loaded layout window, so that one writing the table can refresh the others.
QList<FrmConfig*>& carregadas()
{
    static QList<FrmConfig*> lista;
    return lista;
}

// The window the print commands read (VB-style "default instance").
QPointer<FrmConfig>& padrao()
{
    static QPointer<FrmConfig> janela;
    return janela;
}

QFont arial(int pontos, bool negrito = false)
{
    QFont f(QStringLiteral("Arial"), pontos);
    f.setStyleHint(QFont::SansSerif);
    f.setBold(negrito);
    return f;
}

} // namespace

FrmConfig::FrmConfig(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tituloDaJanela);
    setModal(true);
    m_conexao = QStringLiteral("configcredencial-%1").arg(quintptr(this), 0, 16);
    montaTela();
    abreTabela();
    // The calibration boxes are read like the layout's, but bound to their own table.
    for (auto it = m_calibracao->caixas().cbegin(); it != m_calibracao->caixas().cend(); ++it)
        m_caixas.insert(it.key(), it.value());
    // The calibration may not move the layout's texts off the page.
    if (m_carregado) {
        m_calibracao->defineLayout([this](const QString& nome) { return valor(nome); });
        m_aviso = m_calibracao->confereGravados();
    }
    carregadas().append(this);
    if (!padrao())
        padrao() = this;
}

FrmConfig::~FrmConfig()
{
    carregadas().removeAll(this);
    delete m_mapa;
    delete m_modelo;
    m_mapa = nullptr;
    m_modelo = nullptr;
    BancoLocal::fecha(m_conexao);
}

void FrmConfig::montaTela()
{
    auto* principal = new QVBoxLayout(this);
    auto* grade = new QGridLayout;
    grade->setSpacing(10);
    principal->addLayout(grade);

    auto& caixas = m_caixas;
    for (int carteira = 1; carteira <= carteirasPorFolha; ++carteira) {
        auto* grupo = new QFrame(this);
        grupo->setObjectName(QStringLiteral("frameCarteira%1").arg(carteira));
        grupo->setFrameShape(QFrame::Box);
        grupo->setFrameShadow(QFrame::Sunken);
        auto* vertical = new QVBoxLayout(grupo);
        vertical->setContentsMargins(8, 4, 8, 8);
        auto* cabecalho = new QLabel(QStringLiteral("%1").arg(carteira, 2, 10, QLatin1Char('0')), grupo);
        cabecalho->setObjectName(QStringLiteral("lblCarteira%1").arg(carteira));
        cabecalho->setFont(arial(12, true));
        vertical->addWidget(cabecalho);
        auto* linhas = new QGridLayout;
        linhas->setHorizontalSpacing(6);
        linhas->setVerticalSpacing(3);
        vertical->addLayout(linhas);

        auto novaCaixa = [&](const QString& coluna) {
            auto* caixa = new QLineEdit(grupo);
            caixa->setObjectName(QStringLiteral("txt") + coluna);
            caixa->setFixedWidth(62);
            caixa->setAlignment(Qt::AlignRight);
            caixas.insert(coluna, caixa);
            return caixa;
        };
        int linha = 0;
        for (const CampoDaCarteira& campo : camposDaCarteira()) {
            linhas->addWidget(new QLabel(QString::fromUtf8(campo.legenda), grupo), linha, 0);
            linhas->addWidget(new QLabel(QStringLiteral("Coluna :"), grupo), linha, 1, Qt::AlignRight);
            linhas->addWidget(novaCaixa(colunaDoCampo(campo, carteira)), linha, 2);
            linhas->addWidget(new QLabel(QStringLiteral("Linha :"), grupo), linha, 3, Qt::AlignRight);
            linhas->addWidget(novaCaixa(linhaDoCampo(campo, carteira)), linha, 4);
            if (linha == 0) {
                linhas->addWidget(new QLabel(QStringLiteral("Fonte :"), grupo), linha, 5, Qt::AlignRight);
                linhas->addWidget(novaCaixa(fonteDaCarteira(carteira)), linha, 6);
            }
            ++linha;
        }
        linhas->setColumnStretch(7, 1);
        // Two groups a row: 01 02 / 03 04 / 05.
        grade->addWidget(grupo, (carteira - 1) / 2, (carteira - 1) % 2, Qt::AlignTop);
    }

    m_calibracao = new PainelCalibracao(this);
    principal->addWidget(m_calibracao);

    auto* rodape = new QHBoxLayout;
    rodape->addStretch();
    // The test page of what the boxes hold now, edits not yet written included.
    const auto leCaixas = [this](const QString& nome) { return valor(nome); };
    auto* teste = new QPushButton(QStringLiteral("Página de Teste"), this);
    teste->setObjectName(QStringLiteral("btnPaginaDeTeste"));
    teste->setAutoDefault(false);
    teste->setToolTip(QStringLiteral("Imprime na impressora padrão o contorno de cada carteirinha e uma marca em cada "
                                     "posição, para conferir contra a folha de carteirinhas"));
    connect(teste, &QPushButton::clicked, this, [this, leCaixas] { PaginaDeTeste::imprime(this, leCaixas); });
    rodape->addWidget(teste);
    auto* verTeste = new QPushButton(QStringLiteral("Visualizar Página de Teste"), this);
    verTeste->setObjectName(QStringLiteral("btnVisualizarPaginaDeTeste"));
    verTeste->setAutoDefault(false);
    verTeste->setToolTip(QStringLiteral("Mostra a Página de Teste antes de imprimir; de lá imprime-se em qualquer "
                                        "impressora ou salva-se em PDF"));
    connect(verTeste, &QPushButton::clicked, this, [this, leCaixas] { PaginaDeTeste::visualiza(this, leCaixas); });
    rodape->addWidget(verTeste);
    auto* fechar = new QPushButton(QStringLiteral("Fechar"), this);
    fechar->setObjectName(QStringLiteral("btnFechar"));
    fechar->setAutoDefault(false);
    connect(fechar, &QPushButton::clicked, this, &QDialog::accept);
    rodape->addWidget(fechar);
    // The cell beside group 05 holds the close button.
    grade->addLayout(rodape, 2, 1, Qt::AlignBottom | Qt::AlignRight);
}

void FrmConfig::abreTabela()
{
    const QString arquivo = BancoLocal::caminho();
    QSqlDatabase db = BancoLocal::abre(m_conexao);
    if (!db.isOpen()) {
        m_erro = QStringLiteral("Não foi possível abrir o arquivo de configurações %1").arg(arquivo);
        return;
    }
    m_modelo = new QSqlTableModel(nullptr, db);
    m_modelo->setTable(QStringLiteral("configcredencial"));
    m_modelo->setEditStrategy(QSqlTableModel::OnManualSubmit);
    const int id = m_modelo->fieldIndex(QStringLiteral("id"));
    if (id >= 0)
        m_modelo->setSort(id, Qt::AscendingOrder);
    if (m_modelo->tableName().isEmpty() || !m_modelo->select()) {
        m_erro = QStringLiteral("Não foi possível ler a tabela configcredencial de %1: %2")
                     .arg(arquivo, m_modelo->lastError().text());
        return;
    }
    // A table without a record gets one, written on close; beyond the first, records are ignored.
    if (m_modelo->rowCount() == 0)
        m_modelo->insertRow(0);

    m_mapa = new QDataWidgetMapper;
    m_mapa->setModel(m_modelo);
    m_mapa->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    QStringList faltando = ligaCaixas(*m_mapa, *m_modelo, m_caixas);
    m_carregado = true;
    if (!m_calibracao->erro().isEmpty())
        m_erro = m_calibracao->erro();
    if (!faltando.isEmpty()) {
        faltando.sort();
        m_erro = QStringLiteral("A tabela configcredencial de %1 não tem as colunas: %2")
                     .arg(arquivo, faltando.join(QStringLiteral(", ")));
    }
}

void FrmConfig::mostra(QWidget* dono)
{
    FrmConfig* janela = padrao() ? padrao().data() : new FrmConfig;
    janela->setParent(dono, janela->windowFlags());
    if (!janela->erro().isEmpty())
        Caixas::mostra(dono, janela->erro(), tituloDaJanela.trimmed(), Caixas::Icone::Erro);
    if (const QString aviso = janela->tomaAviso(); !aviso.isEmpty())
        Caixas::mostra(dono, aviso, tituloDaCalibracao, Caixas::Icone::Aviso);
    janela->exec();
    // Closing unloads the window; the next print loads it again from the table.
    delete janela;
}

FrmConfig* FrmConfig::instancia(QWidget* avisarEm)
{
    if (!padrao())
        new FrmConfig;   // registers itself as the default instance
    if (avisarEm) {
        if (const QString aviso = padrao()->tomaAviso(); !aviso.isEmpty())
            Caixas::mostra(avisarEm, aviso, tituloDaCalibracao, Caixas::Icone::Aviso);
    }
    return padrao();
}

QLineEdit* FrmConfig::caixa(const QString& coluna) const
{
    return m_caixas.value(coluna, nullptr);
}

QString FrmConfig::valor(const QString& coluna) const
{
    const QLineEdit* c = caixa(coluna);
    return c ? c->text() : QString();
}

bool FrmConfig::gravaRegistro()
{
    bool ok = true;
    if (!m_calibracao->grava()) {
        Caixas::mostra(this, m_calibracao->erro(), tituloDaJanela.trimmed(), Caixas::Icone::Erro);
        ok = false;
    }
    if (m_carregado) {
        m_mapa->submit();
        if (m_modelo->isDirty()) {
            if (!m_modelo->submitAll()) {
                Caixas::mostra(this,
                               QStringLiteral("Não foi possível gravar as configurações da carteirinha:\n%1\n%2")
                                   .arg(m_modelo->lastError().text(),
                                        BancoLocal::motivoDaGravacaoNegada(m_modelo->lastError().text()))
                                   .trimmed(),
                               tituloDaJanela.trimmed(), Caixas::Icone::Erro);
                return false;
            }
            m_mapa->toFirst();
        }
    }
    for (FrmConfig* outra : carregadas()) {
        if (outra != this && !outra->isVisible())
            outra->recarrega();
    }
    return ok;
}

void FrmConfig::recarrega()
{
    m_calibracao->recarrega();
    if (!m_carregado)
        return;
    m_modelo->revertAll();
    m_modelo->select();
    if (m_modelo->rowCount() == 0)
        m_modelo->insertRow(0);
    m_mapa->toFirst();
    if (const QString aviso = m_calibracao->confereGravados(); !aviso.isEmpty())
        m_aviso = aviso;
}

void FrmConfig::done(int resultado)
{
    gravaRegistro();
    QDialog::done(resultado);
}
