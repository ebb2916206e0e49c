#include "cards/Calibracao.h"
#include "cards/FaixaDaCalibracao.h"

#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/TrabalhoDeImpressao.h"
#include "app/Visualizacao.h"
#include "app/modGlobais.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"

#include <QDataWidgetMapper>
#include <QFont>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlTableModel>

using ImpressaoCarteiras::ConfiguracaoInvalida;
using ImpressaoCarteiras::LeConfiguracao;

namespace {

const QString origem = QStringLiteral("Calibração da Impressora");
const QString tabela = QStringLiteral("calibracaocarteira");
constexpr double mmPorPolegada = 25.4;
constexpr double twipsPorPolegada = 1440.0;

} // namespace

std::optional<double> Calibracao::numero(const QString& texto)
{
    try {
        return FormatoBR::converteValor(texto, origem);
    } catch (const ErroDeExecucao&) {
        return std::nullopt;
    }
}

std::optional<Calibracao> Calibracao::le(const LeConfiguracao& configuracao, ConfiguracaoInvalida* invalida)
{
    Calibracao c;
    struct Item {
        QString nome;
        double* destino;
        double padrao;
    };
    for (const Item& item : {Item{nomeX(), &c.deslocamentoX, 0.0}, Item{nomeY(), &c.deslocamentoY, 0.0},
                             Item{nomeEscala(), &c.escala, 1.0}}) {
        const QString valor = configuracao(item.nome);
        if (valor.trimmed().isEmpty()) {
            *item.destino = item.padrao;
            continue;
        }
        const std::optional<double> n = numero(valor.trimmed());
        const bool escalaRuim = n && item.nome == nomeEscala() && (*n < Calibracao::escalaMinima || *n > Calibracao::escalaMaxima);
        if (!n || escalaRuim) {
            if (invalida) {
                *invalida = ConfiguracaoInvalida{
                    0, item.nome, valor,
                    QStringLiteral("A calibração \"%1\" tem o valor \"%2\", que não é %3.\nCorrija-a em "
                                   "Configurações da Carteirinha de Membros. Nada foi impresso.")
                        .arg(item.nome, valor,
                             escalaRuim ? QStringLiteral("uma escala entre 0,5 e 2") : QStringLiteral("um número"))};
            }
            return std::nullopt;
        }
        *item.destino = *n;
    }
    return c;
}

void Calibracao::aplica(QPainter& pintor, double pontosPorPolegada) const
{
    const double porMm = pontosPorPolegada / mmPorPolegada;
    pintor.translate(deslocamentoX * porMm, deslocamentoY * porMm);
    pintor.scale(escala, escala);
}

QString Calibracao::garanteTabela(QSqlDatabase db)
{
    if (!db.isOpen())
        return QStringLiteral("o arquivo não está aberto");
    if (db.tables().contains(tabela, Qt::CaseInsensitive))
        return QString();
    // The same statements as the seed file data/local/30-calibracaocarteira.sql.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS calibracaocarteira (id INTEGER PRIMARY KEY, "
                               "deslocamentox TEXT, deslocamentoy TEXT, escala TEXT)"))
        || !q.exec(QStringLiteral("INSERT OR IGNORE INTO calibracaocarteira (id, deslocamentox, deslocamentoy, escala) "
                                  "VALUES (1, '0', '0', '1')")))
        return q.lastError().text();
    return QString();
}

QStringList ligaCaixas(QDataWidgetMapper& mapa, const QSqlTableModel& modelo, const QHash<QString, QLineEdit*>& caixas)
{
    QStringList faltando;
    for (auto it = caixas.cbegin(); it != caixas.cend(); ++it) {
        const int coluna = modelo.fieldIndex(it.key());
        if (coluna < 0) {
            faltando.append(it.key());
            it.value()->setEnabled(false);
            continue;
        }
        mapa.addMapping(it.value(), coluna);
    }
    mapa.toFirst();
    return faltando;
}

// ---------------------------------------------------------------------------------------------

PainelCalibracao::PainelCalibracao(QWidget* parent)
    : QGroupBox(QStringLiteral("Calibração desta impressora (vale para todas as carteirinhas)"), parent)
{
    setObjectName(QStringLiteral("frameCalibracao"));
    m_conexao = QStringLiteral("calibracaocarteira-%1").arg(quintptr(this), 0, 16);

    auto* grade = new QGridLayout(this);
    struct Linha {
        QString nome, legenda, unidade, dica;
    };
    const Linha linhas[] = {
        {Calibracao::nomeX(), QStringLiteral("Deslocamento horizontal :"), QStringLiteral("mm"),
         QStringLiteral("Milímetros para a direita (negativo: para a esquerda)")},
        {Calibracao::nomeY(), QStringLiteral("Deslocamento vertical :"), QStringLiteral("mm"),
         QStringLiteral("Milímetros para baixo (negativo: para cima)")},
        {Calibracao::nomeEscala(), QStringLiteral("Escala :"), QStringLiteral("(1 = sem escala)"),
         QStringLiteral("Multiplica posições e tamanhos de fonte, de 0,5 a 2")},
    };
    int coluna = 0;
    for (const Linha& l : linhas) {
        auto* caixa = new QLineEdit(this);
        caixa->setObjectName(QStringLiteral("txt") + l.nome);
        caixa->setFixedWidth(62);
        caixa->setAlignment(Qt::AlignRight);
        caixa->setToolTip(l.dica);
        auto* rotulo = new QLabel(l.legenda, this);
        rotulo->setBuddy(caixa);
        grade->addWidget(rotulo, 0, coluna);
        grade->addWidget(caixa, 0, coluna + 1);
        grade->addWidget(new QLabel(l.unidade, this), 0, coluna + 2);
        coluna += 3;
        m_caixas.insert(l.nome, caixa);
        connect(caixa, &QLineEdit::editingFinished, this, [this, nome = l.nome] { confereDigitado(nome); });
    }
    grade->setColumnStretch(coluna, 1);

    QSqlDatabase db = BancoLocal::abre(m_conexao);
    if (!db.isOpen()) {
        m_erro = QStringLiteral("Não foi possível abrir o arquivo de configurações %1").arg(BancoLocal::caminho());
        setEnabled(false);
        return;
    }
    if (const QString e = Calibracao::garanteTabela(db); !e.isEmpty()) {
        m_erro = QStringLiteral("Não foi possível criar a tabela %1 em %2: %3\n%4")
                     .arg(tabela, BancoLocal::caminho(), e, BancoLocal::motivoDaGravacaoNegada(e))
                     .trimmed();
        setEnabled(false);
        return;
    }
    m_modelo = new QSqlTableModel(nullptr, db);
    m_modelo->setTable(tabela);
    m_modelo->setEditStrategy(QSqlTableModel::OnManualSubmit);
    m_modelo->setSort(m_modelo->fieldIndex(QStringLiteral("id")), Qt::AscendingOrder);
    if (!m_modelo->select()) {
        m_erro = QStringLiteral("Não foi possível ler a tabela %1: %2").arg(tabela, m_modelo->lastError().text());
        setEnabled(false);
        return;
    }
    if (m_modelo->rowCount() == 0)
        m_modelo->insertRow(0);
    m_mapa = new QDataWidgetMapper;
    m_mapa->setModel(m_modelo);
    m_mapa->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    ligaCaixas(*m_mapa, *m_modelo, m_caixas);
    aceitaCaixas();
}

PainelCalibracao::~PainelCalibracao()
{
    delete m_mapa;
    delete m_modelo;
    m_mapa = nullptr;
    m_modelo = nullptr;
    BancoLocal::fecha(m_conexao);
}

bool PainelCalibracao::grava()
{
    if (!m_mapa)
        return true;
    // A box still being edited (the window closed from the keyboard) is judged first.
    for (auto it = m_caixas.cbegin(); it != m_caixas.cend(); ++it)
        confereDigitado(it.key());
    m_mapa->submit();
    if (!m_modelo->isDirty())
        return true;
    if (!m_modelo->submitAll()) {
        // As the layout window says it: the driver's words, then why, when it is a permission.
        const QString erro = m_modelo->lastError().text();
        m_erro = QStringLiteral("Não foi possível gravar a calibração:\n%1\n%2")
                     .arg(erro, BancoLocal::motivoDaGravacaoNegada(erro))
                     .trimmed();
        return false;
    }
    m_mapa->toFirst();
    return true;
}

void PainelCalibracao::recarrega()
{
    if (!m_mapa)
        return;
    m_modelo->revertAll();
    m_modelo->select();
    if (m_modelo->rowCount() == 0)
        m_modelo->insertRow(0);
    m_mapa->toFirst();
    aceitaCaixas();
}

void PainelCalibracao::aceitaCaixas()
{
    for (auto it = m_caixas.cbegin(); it != m_caixas.cend(); ++it)
        m_aceitos.insert(it.key(), it.value()->text());
}

// The calibration the boxes hold; nothing while one is not a number (printing says so).
std::optional<Calibracao> PainelCalibracao::lidaDasCaixas() const
{
    Calibracao c;
    for (const auto& [nome, destino] : {std::pair{Calibracao::nomeX(), &c.deslocamentoX},
                                        std::pair{Calibracao::nomeY(), &c.deslocamentoY},
                                        std::pair{Calibracao::nomeEscala(), &c.escala}}) {
        const QString texto = m_caixas.value(nome)->text().trimmed();
        if (texto.isEmpty())
            continue;
        const std::optional<double> n = Calibracao::numero(texto);
        if (!n)
            return std::nullopt;
        *destino = *n;
    }
    return c;
}

bool PainelCalibracao::confereDigitado(const QString& nome)
{
    QLineEdit* caixa = m_caixas.value(nome);
    if (!m_layout || !m_mapa || !caixa || caixa->text() == m_aceitos.value(nome))
        return true;
    const std::optional<Calibracao> c = lidaDasCaixas();
    if (!c || c->neutra()) {
        m_aceitos.insert(nome, caixa->text());
        return true;
    }
    const QList<QPointF> posicoes = FaixaDaCalibracao::posicoes(m_layout, carteirasPorFolha);
    const FaixaDaCalibracao::Faixa faixa =
        FaixaDaCalibracao::faixa(nome, *c, posicoes, FaixaDaCalibracao::areaDaImpressoraPadrao());
    const double valor = nome == Calibracao::nomeX() ? c->deslocamentoX
                         : nome == Calibracao::nomeY() ? c->deslocamentoY
                                                       : c->escala;
    if (faixa.contem(valor)) {
        m_aceitos.insert(nome, caixa->text());
        return true;
    }
    const QString digitado = caixa->text();
    caixa->setText(m_aceitos.value(nome));
    Caixas::mostra(window(),
                   QStringLiteral("O valor \"%1\" de %2 põe textos das carteirinhas fora da área imprimível da "
                                  "página; %3.\nO valor anterior foi mantido.")
                       .arg(digitado, FaixaDaCalibracao::legenda(nome), FaixaDaCalibracao::emTexto(nome, faixa)),
                   origem, Caixas::Icone::Aviso);
    return false;
}

QString PainelCalibracao::confereGravados()
{
    if (!m_layout || !m_mapa)
        return QString();
    QStringList fora;
    std::optional<QList<QPointF>> posicoes;
    QSizeF area;
    // Each value that does not fit goes back to its default; the others are judged again.
    for (int i = 0; i < 3; ++i) {
        const std::optional<Calibracao> c = lidaDasCaixas();
        if (!c || c->neutra())
            break;
        if (!posicoes) {
            posicoes = FaixaDaCalibracao::posicoes(m_layout, carteirasPorFolha);
            area = FaixaDaCalibracao::areaDaImpressoraPadrao();
        }
        const std::optional<QString> nome = FaixaDaCalibracao::primeiraFora(*c, *posicoes, area);
        if (!nome)
            break;
        QLineEdit* caixa = m_caixas.value(*nome);
        fora << QStringLiteral("%1 \"%2\" (%3)")
                    .arg(FaixaDaCalibracao::legenda(*nome), caixa->text(),
                         FaixaDaCalibracao::emTexto(*nome, FaixaDaCalibracao::faixa(*nome, *c, *posicoes, area)));
        caixa->setText(FaixaDaCalibracao::padrao(*nome));
    }
    aceitaCaixas();
    if (fora.isEmpty())
        return QString();
    return QStringLiteral("A calibração desta impressora gravada em %1 põe textos das carteirinhas fora da área "
                          "imprimível da página: %2.\nFoi usado o valor padrão; confira a calibração em Configurações "
                          "da Carteirinha de Membros.")
        .arg(BancoLocal::caminho(), fora.join(QStringLiteral("; ")));
}

// ---------------------------------------------------------------------------------------------

namespace PaginaDeTeste {

namespace {

std::optional<double> lido(const LeConfiguracao& configuracao, const QString& nome)
{
    return Calibracao::numero(configuracao(nome));
}

} // namespace

std::optional<QPointF> cantoDaFace(int carteira, bool verso, const LeConfiguracao& configuracao)
{
    double x = 0, y = 0;
    bool primeiro = true;
    for (int i = verso ? 5 : 0; i < (verso ? camposPorCarteira : 5); ++i) {
        const CampoDaCarteira& campo = camposDaCarteira()[size_t(i)];
        const auto cx = lido(configuracao, colunaDoCampo(campo, carteira));
        const auto cy = lido(configuracao, linhaDoCampo(campo, carteira));
        if (!cx || !cy)
            return std::nullopt;
        x = primeiro ? *cx : std::min(x, *cx);
        y = primeiro ? *cy : std::min(y, *cy);
        primeiro = false;
    }
    return QPointF(x - margemXTwips, y - margemYTwips);
}

bool pinta(QPrinter& impressora, const LeConfiguracao& configuracao, ConfiguracaoInvalida* invalida)
{
    if (const auto ruim = ImpressaoCarteiras::verificaConfiguracao(carteirasPorFolha, configuracao)) {
        if (invalida)
            *invalida = *ruim;
        return false;
    }
    ConfiguracaoInvalida ruimCalibracao;
    const std::optional<Calibracao> calibracao = Calibracao::le(configuracao, &ruimCalibracao);
    if (!calibracao) {
        if (invalida)
            *invalida = ruimCalibracao;
        return false;
    }
    // Marks moved off the page would leave only the note at its foot.
    const QSizeF area = impressora.pageLayout().paintRect(QPageLayout::Point).size() * 20.0;
    if (const auto fora = FaixaDaCalibracao::confere(configuracao, carteirasPorFolha, area)) {
        if (invalida)
            *invalida = *fora;
        return false;
    }

    QPainter pintor;
    if (!pintor.begin(&impressora))
        throw ErroDeExecucao(origem, QStringLiteral("Não foi possível iniciar a impressão na impressora"));
    const double resolucao = impressora.resolution();
    const double porTwip = resolucao / twipsPorPolegada;
    const double porMm = resolucao / mmPorPolegada;

    // The note at the foot of the page is not calibrated: it says what was applied.
    QFont nota(QStringLiteral("Arial"));
    nota.setStyleHint(QFont::SansSerif);
    nota.setPointSizeF(8);
    pintor.setFont(nota);
    const QRectF pagina = QRectF(QPointF(0, 0), impressora.pageRect(QPrinter::DevicePixel).size());
    pintor.drawText(QRectF(0, pagina.bottom() - 12 * porMm, pagina.width(), 12 * porMm), Qt::AlignLeft | Qt::AlignBottom,
                    QStringLiteral("Página de Teste das carteirinhas - deslocamento horizontal %1 mm, vertical %2 mm, "
                                   "escala %3")
                        .arg(FormatoBR::formataValor(calibracao->deslocamentoX),
                             FormatoBR::formataValor(calibracao->deslocamentoY),
                             QLocale(QLocale::Portuguese, QLocale::Brazil).toString(calibracao->escala, 'f', 3)));

    if (!calibracao->neutra())
        calibracao->aplica(pintor, resolucao);

    QPen linha(Qt::black);
    linha.setWidthF(0.25 * porMm);
    QFont rotulo(QStringLiteral("Arial"));
    rotulo.setStyleHint(QFont::SansSerif);
    rotulo.setPointSizeF(6);
    pintor.setFont(rotulo);
    const double ascendente = QFontMetricsF(rotulo, &impressora).ascent();
    const double braco = 2 * porMm;

    for (int carteira = 1; carteira <= carteirasPorFolha; ++carteira) {
        for (const bool verso : {false, true}) {
            const QPointF canto = *cantoDaFace(carteira, verso, configuracao) * porTwip;
            pintor.setPen(linha);
            pintor.setBrush(Qt::NoBrush);
            pintor.drawRect(QRectF(canto, QSizeF(larguraMm * porMm, alturaMm * porMm)));
            pintor.drawText(QPointF(canto.x() + 1.5 * porMm, canto.y() + (alturaMm - 1.5) * porMm),
                            QStringLiteral("%1 %2").arg(carteira, 2, 10, QLatin1Char('0'))
                                .arg(verso ? QStringLiteral("verso") : QStringLiteral("frente")));
        }
        for (const CampoDaCarteira& campo : camposDaCarteira()) {
            const QPointF p(*lido(configuracao, colunaDoCampo(campo, carteira)) * porTwip,
                            *lido(configuracao, linhaDoCampo(campo, carteira)) * porTwip);
            pintor.drawLine(QPointF(p.x() - braco, p.y()), QPointF(p.x() + braco, p.y()));
            pintor.drawLine(QPointF(p.x(), p.y() - braco), QPointF(p.x(), p.y() + braco));
            // The setting's name starts where the field's text would.
            pintor.drawText(QPointF(p.x(), p.y() + ascendente), QLatin1String(campo.campo) + QString::number(carteira));
        }
    }
    return pintor.end();
}

bool imprime(QWidget* dono, const LeConfiguracao& configuracao, const QPrinter* escolhida)
{
    ConfiguracaoInvalida invalida;
    invalida.carteira = -1;
    TrabalhoDeImpressao trabalho(QStringLiteral("Página de Teste das Carteirinhas"), escolhida);
    QPrinter* const impressora = trabalho.impressoraOuAvisa(dono);
    if (!impressora)
        return false;
    bool desenhada = false;
    try {
        desenhada = pinta(*impressora, configuracao, &invalida);
    } catch (const ErroDeExecucao& e) {
        ExibeErro(e, dono);
        return false;
    }
    if (!desenhada) {
        if (invalida.carteira >= 0)
            Caixas::mostra(dono, invalida.mensagem, QStringLiteral("Configuração Inválida"), Caixas::Icone::Aviso);
        else
            ExibeErro(origem, QStringLiteral("Não foi possível desenhar a Página de Teste"), dono);
        return false;
    }
    if (const QString recusa = trabalho.envia(dono); !recusa.isEmpty()) {
        ExibeErro(origem, QStringLiteral("A impressora padrão não aceitou a página (%1)").arg(recusa), dono);
        return false;
    }
    return true;
}

void visualiza(QWidget* dono, const LeConfiguracao& configuracao)
{
    ConfiguracaoInvalida invalida;
    if (const auto ruim = ImpressaoCarteiras::verificaConfiguracao(carteirasPorFolha, configuracao)) {
        Caixas::mostra(dono, ruim->mensagem, QStringLiteral("Configuração Inválida"), Caixas::Icone::Aviso);
        return;
    }
    if (!Calibracao::le(configuracao, &invalida)) {
        Caixas::mostra(dono, invalida.mensagem, QStringLiteral("Configuração Inválida"), Caixas::Icone::Aviso);
        return;
    }
    const QSizeF area = FaixaDaCalibracao::areaDaImpressoraPadrao();
    if (const auto fora = FaixaDaCalibracao::confere(configuracao, carteirasPorFolha, area)) {
        Caixas::mostra(dono, fora->mensagem, QStringLiteral("Configuração Inválida"), Caixas::Icone::Aviso);
        return;
    }
    Visualizacao::mostra(
        dono, QStringLiteral("Página de Teste"), [&](QPrinter& p) { return pinta(p, configuracao, nullptr); },
        [&](const QPrinter* escolhida) { return imprime(dono, configuracao, escolhida); });
}

} // namespace PaginaDeTeste
