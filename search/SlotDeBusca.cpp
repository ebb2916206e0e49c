#include "search/SlotDeBusca.h"
#include "app/Caixas.h"
#include "app/MemoriaLivre.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "members/UtilFicha.h"
#include "protocol/FormatoBR.h"
#include "protocol/modCommands.h"
#include "search/PainelFiltroBusca.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include "search/ListaDeResultados.h"
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QTimer>

namespace {

bool mostraAoChegar = true;
// How often a list that arrives grows on screen.
constexpr qint64 intervaloDeAndamentoMs = 100;
// How long after a list is shown the memory its arrival used goes back.
constexpr int devolucaoDepoisMs = 250;

// Draws the result lines with their tabs as column stops (number, date, name).
class ItemComTabulacao : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString texto = opt.text;
        opt.text.clear();
        const QWidget* w = opt.widget;
        QStyle* estilo = w ? w->style() : QApplication::style();
        estilo->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);

        const QRect area = estilo->subElementRect(QStyle::SE_ItemViewItemText, &opt, w).adjusted(2, 0, -2, 0);
        QTextOption to(Qt::AlignLeft | Qt::AlignVCenter);
        to.setWrapMode(QTextOption::NoWrap);
        const int zero = opt.fontMetrics.horizontalAdvance(QLatin1Char('0'));
        to.setTabArray({double(zero * 9), double(zero * 21)});
        painter->save();
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                             : QPalette::Text));
        painter->drawText(area, texto, to);
        painter->restore();
    }
};

} // namespace

SlotDeBusca::SlotDeBusca(QWidget* dono, PainelFiltroBusca* filtro, QPushButton* botao, ListaDeResultados* lista,
                         std::function<QTimer*()> timerTimeOut, std::function<qint32()> idDepartamento)
    : QObject(dono), m_dono(dono), m_filtro(filtro), m_botao(botao), m_lista(lista),
      m_timer(std::move(timerTimeOut)), m_idDepartamento(std::move(idDepartamento))
{
    m_lista->setUniformItemSizes(true);
    m_lista->setItemDelegate(new ItemComTabulacao(m_lista));
    connect(m_botao, &QPushButton::clicked, this, &SlotDeBusca::Localiza);
}

void SlotDeBusca::defineLinhaDeStatus(QLabel* linha)
{
    m_linhaDeStatus = linha;
}

void SlotDeBusca::defineMostraAoChegar(bool sim)
{
    mostraAoChegar = sim;
}

SlotDeBusca::~SlotDeBusca()
{
    if (m_lista)
        m_lista->modelo()->mostra(nullptr);
}

int SlotDeBusca::quantas() const
{
    return m_lista->count();
}

QString SlotDeBusca::linha(int i) const
{
    return m_lista->linha(i);
}

QStringList SlotDeBusca::linhas() const
{
    return m_lista->linhas();
}

void SlotDeBusca::Localiza()
{
    // One request at a time: a click while this slot's list still arrives is not a new search.
    if (m_chegando)
        return;
    const QString origem = m_dono->objectName() + QStringLiteral(".") + m_botao->objectName() + QStringLiteral("_Click");
    bool validou = false;
    protegido(m_dono, origem, [&] {
        if (antesDeBuscar)
            antesDeBuscar();
        if (!m_filtro->ValidaFiltro())
            return;
        validou = true;
        const clsFiltroBusca filtro = m_filtro->montaFiltro(m_idDepartamento());
        // The list box lets go of the old list before it goes.
        m_lista->modelo()->mostra(nullptr);
        m_escolhido.reset();
        membrosEncontrados.reset();
        mostraStatus(QString());
        if (!mostraAoChegar) {
            membrosEncontrados = EnviaBusca(m_dono, m_timer(), filtro);
            return;
        }
        // However the request ends (a box, an error raised), the lines of a list that did
        // not come whole are gone before anything else is shown.
        struct Chegada {
            SlotDeBusca* slot;
            ~Chegada() { slot->esqueceChegada(); }
        } chegada{this};
        m_chegando.emplace();
        const QPointer<SlotDeBusca> eu = this;
        membrosEncontrados = EnviaBusca(m_dono, m_timer(), filtro, &*m_chegando, [eu](QByteArrayView ateAgora) {
            if (eu)
                eu->acompanha(ateAgora);
        });
        // The lines shown while it came are the list's first: they stay where they are.
        if (membrosEncontrados && m_lista->modelo()->mostrando() == &*m_chegando)
            m_lista->modelo()->cresce(&*membrosEncontrados);
    });
    if (validou) {
        PreencheLista();
        // What the reply's arrival used besides the list itself goes back to the system once
        // the list is on screen (walking the heap takes a few milliseconds).
        if (membrosEncontrados) {
            const qint64 bytes = membrosEncontrados->bytesGuardados();
            QTimer::singleShot(devolucaoDepoisMs, this, [bytes] { MemoriaLivre::devolve(bytes); });
        }
    }
}

void SlotDeBusca::acompanha(QByteArrayView ateAgora)
{
    if (!m_chegando)
        return;
    if (ateAgora.isEmpty()) {
        esqueceChegada();
        return;
    }
    if (!m_chegando->acompanha(ateAgora))
        return;   // another code, or a broken sheet: the whole reply will say
    if (m_chegando->isEmpty())
        return;
    // The first screen as soon as it is here; then the list and its count a few times a
    // second, not at every piece (each growth lays the list out and paints it again).
    const bool primeira = m_lista->modelo()->mostrando() != &*m_chegando;
    if (!primeira && m_desdeOQueMostrou.isValid() && m_desdeOQueMostrou.elapsed() < intervaloDeAndamentoMs)
        return;
    m_desdeOQueMostrou.start();
    mostraStatus(QStringLiteral("Recebendo a lista: %1 fichas até agora")
                     .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(m_chegando->size())));
    m_lista->modelo()->cresce(&*m_chegando);
}

void SlotDeBusca::esqueceChegada()
{
    if (!m_chegando)
        return;
    if (m_lista && m_lista->modelo()->mostrando() == &*m_chegando) {
        m_lista->modelo()->mostra(nullptr);
        mostraStatus(QString());
    }
    m_chegando.reset();
}

void SlotDeBusca::mostraStatus(const QString& texto)
{
    if (m_linhaDeStatus)
        m_linhaDeStatus->setText(texto);
}

std::optional<ListaDeFichas> SlotDeBusca::EnviaBusca(QWidget* dono, QTimer* timerTimeOut, const clsFiltroBusca& filtro)
{
    return EnviaBusca(dono, timerTimeOut, filtro, nullptr, {});
}

std::optional<ListaDeFichas> SlotDeBusca::EnviaBusca(QWidget* dono, QTimer* timerTimeOut, const clsFiltroBusca& filtro,
                                                     ListaDeFichas* chegando,
                                                     std::function<void(QByteArrayView)> andamento)
{
    // The list stays in the bytes it came in; a line is decoded when it is drawn.
    std::optional<RespostaDoServidor> resposta =
        RequisitaEmBytes(dono, timerTimeOut, filtro.toPipeStringWithCommand(Codigo::Busca),
                         {Codigo::Encontrados, Codigo::NadaEncontrado}, std::move(andamento));
    if (!resposta)
        return std::nullopt;
    if (resposta->codigo == Codigo::Encontrados) {
        if (!chegando)
            return ListaDeFichas(std::move(resposta->bytes));
        // The sheets indexed as they came are not read again.
        chegando->conclui(std::move(resposta->bytes));
        return std::move(*chegando);
    }
    Caixas::mostra(dono, QStringLiteral("Nenhum registro foi encontrado atendendo o critério informado"),
                   QStringLiteral("Nenhum Registro"), Caixas::Icone::Informacao);
    return ListaDeFichas();
}

QString SlotDeBusca::FormataItemLista(const clsAgenda& membro)
{
    QString linha = QString::number(membro.numeroFicha);
    linha += u'\t';
    linha += FormatoBR::formataData(membro.Data);
    linha += u'\t';
    linha += membro.nome;
    return linha;
}

void SlotDeBusca::PreencheLista()
{
    // No line is made here: the view asks for the ones it draws. A list shown as it came is
    // shown already.
    const ListaDeFichas* lista = membrosEncontrados ? &*membrosEncontrados : nullptr;
    if (!lista || m_lista->modelo()->mostrando() != lista)
        m_lista->modelo()->mostra(lista);
    if (lista && !lista->isEmpty())
        mostraStatus(QStringLiteral("%1 fichas na lista")
                         .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(lista->size())));
    else
        mostraStatus(QString());
    UtilFicha::LimpaLabelsDeErro(m_dono);
}

const clsAgenda* SlotDeBusca::escolhido()
{
    if (!membrosEncontrados || membrosEncontrados->isEmpty()) {
        Caixas::mostra(m_dono, QStringLiteral("Não há registros na listagem"), QStringLiteral("Lista Vazia"),
                       Caixas::Icone::Aviso);
        return nullptr;
    }
    const int linha = m_lista->currentRow();
    if (!m_lista->selectionModel()->hasSelection() || linha < 0 || linha >= membrosEncontrados->size()) {
        Caixas::mostra(m_dono, QStringLiteral("Selecione um registro para carregar"),
                       QStringLiteral("Selecione um Registro"), Caixas::Icone::Aviso);
        return nullptr;
    }
    m_escolhido.reset();
    const QString origem = m_dono->objectName() + QStringLiteral(".") + m_lista->objectName() + QStringLiteral("_Click");
    protegido(m_dono, origem, [&] { m_escolhido = membrosEncontrados->at(linha); });
    return m_escolhido ? &*m_escolhido : nullptr;
}
