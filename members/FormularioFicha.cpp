#include "members/FormularioFicha.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "members/CaixaDeLista.h"
#include "members/UtilFicha.h"
#include "protocol/FormatoBR.h"

#include <QDateTimeEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <limits>

using T = ControleDaFicha::Tipo;
using V = ControleDaFicha::Conversao;

namespace {

const QString formatoHora = QStringLiteral("HH:mm:ss");

// Today's date as the sheet shows it.
QString hoje()
{
    return FormatoBR::formataData(QDate::currentDate());
}

// A date kept as text, rewritten dd/MM/yyyy when it reads as a date; any other text as it is.
QString reformataSeData(const QString& texto)
{
    if (const std::optional<QDate> d = UtilFicha::leData(texto))
        return FormatoBR::formataData(*d);
    return texto;
}

// The field's name for a message: its label without the trailing colon, or the control's name.
QString nomeParaMensagem(const ControleDaFicha& c)
{
    QString r = c.rotulo.trimmed();
    while (r.endsWith(u':') || r.endsWith(u'*'))
        r.chop(1);
    r = r.trimmed();
    return r.isEmpty() || r == QStringLiteral("-") || r == QStringLiteral("/") ? c.nome : r;
}

} // namespace

FormularioFicha::FormularioFicha(QList<ControleDaFicha> controles, OpcoesDaFicha opcoes, QWidget* parent)
    : QFrame(parent), m_controles(std::move(controles)), m_opcoes(std::move(opcoes))
{
    constroi();
}

const ControleDaFicha* FormularioFicha::linha(const QString& nome) const
{
    for (const ControleDaFicha& c : m_controles)
        if (c.nome == nome)
            return &c;
    return nullptr;
}

QWidget* FormularioFicha::criaControle(const ControleDaFicha& c)
{
    QWidget* w = nullptr;
    switch (c.tipo) {
    case T::Texto: {
        auto* e = new QLineEdit(this);
        if (c.maximo > 0)
            e->setMaxLength(c.maximo);
        e->setReadOnly(c.somenteLeitura);
        e->setFrame(!c.semBorda);
        if (c.centralizado)
            e->setAlignment(Qt::AlignCenter);
        else if (c.alinhadoADireita)
            e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (m_opcoes.filtrosDeTecla && c.filtro != ControleDaFicha::Filtro::Nenhum)
            UtilFicha::instalaFiltro(e, c.filtro);
        w = e;
        break;
    }
    case T::Memo: {
        auto* e = new QPlainTextEdit(this);
        e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        e->setTabChangesFocus(true);
        e->setReadOnly(c.somenteLeitura);
        e->setFixedHeight(e->fontMetrics().lineSpacing() * 3 + 12);
        w = e;
        break;
    }
    case T::Lista: {
        auto* e = new CaixaDeLista(this);
        e->addItems(c.itens);
        e->setCurrentIndex(-1);
        e->setEditText(QString());
        if (c.maximo > 0)
            e->lineEdit()->setMaxLength(c.maximo);
        w = e;
        break;
    }
    case T::Rotulo: {
        auto* l = new QLabel(QStringLiteral("MEMBRO"), this);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        w = l;
        break;
    }
    case T::Titulo: {
        auto* l = new QLabel(c.rotulo, this);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        w = l;
        break;
    }
    case T::Erro: {
        auto* l = new QLabel(this);
        l->setStyleSheet(QStringLiteral("color: #c00000;"));
        UtilFicha::marcaComoLabelDeErro(l);
        w = l;
        break;
    }
    case T::Calendario:
    case T::Relogio: {
        auto* e = new QDateTimeEdit(QDateTime::currentDateTime(), this);
        e->setDisplayFormat(c.tipo == T::Calendario ? QStringLiteral("dd/MM/yyyy") : formatoHora);
        e->setCalendarPopup(c.tipo == T::Calendario);
        w = e;
        break;
    }
    }
    w->setObjectName(c.nome);
    if (c.semTab)
        w->setFocusPolicy(Qt::ClickFocus);
    if (c.largura > 0) {
        const int extra = c.tipo == T::Lista || c.tipo == T::Calendario || c.tipo == T::Relogio ? 34 : 14;
        w->setFixedWidth(w->fontMetrics().horizontalAdvance(QLatin1Char('0')) * c.largura + extra);
    }
    return w;
}

void FormularioFicha::constroi()
{
    auto* vertical = new QVBoxLayout(this);
    vertical->setContentsMargins(8, 6, 8, 6);
    vertical->setSpacing(4);
    QMap<int, QHBoxLayout*> linhas;
    for (const ControleDaFicha& c : m_controles) {
        QHBoxLayout*& h = linhas[c.linha];
        if (!h) {
            h = new QHBoxLayout;
            h->setSpacing(6);
        }
        QLabel* rotulo = nullptr;
        if (!c.rotulo.isEmpty() && c.tipo != T::Titulo) {
            rotulo = new QLabel(c.rotulo, this);
            rotulo->setObjectName(QStringLiteral("lbl_") + c.nome);
            m_rotulos.insert(c.nome, rotulo);
        }
        QWidget* w = criaControle(c);
        if (rotulo)
            rotulo->setBuddy(w);
        m_widgets.insert(c.nome, w);
        if (rotulo && !c.rotuloADireita)
            h->addWidget(rotulo);
        h->addWidget(w, c.largura > 0 || c.tipo == T::Titulo ? 0 : 1);
        if (rotulo && c.rotuloADireita)
            h->addWidget(rotulo);
    }
    for (auto it = linhas.begin(); it != linhas.end(); ++it) {
        // A line whose controls all have a fixed width is kept to the left.
        bool temElastico = false;
        for (int i = 0; i < it.value()->count(); ++i)
            if (it.value()->stretch(i) > 0)
                temElastico = true;
        if (!temElastico)
            it.value()->addStretch(1);
        vertical->addLayout(it.value());
        m_linhas.insert(it.key(), it.value());
    }
    vertical->addStretch(1);

    if (QWidget* cidade = controle(QStringLiteral("txtnascidade")))
        cidade->installEventFilter(this);
}

bool FormularioFicha::eventFilter(QObject* objeto, QEvent* evento)
{
    if (evento->type() == QEvent::FocusIn && objeto == controle(QStringLiteral("txtnascidade")))
        reformataNascido();
    return QFrame::eventFilter(objeto, evento);
}

void FormularioFicha::reformataNascido()
{
    if (controle(QStringLiteral("txtnascido")))
        defineTexto(QStringLiteral("txtnascido"), reformataSeData(texto(QStringLiteral("txtnascido"))));
}

void FormularioFicha::adicionaApos(const QString& nome, QWidget* widget)
{
    const ControleDaFicha* c = linha(nome);
    QWidget* w = controle(nome);
    if (!c || !w) {
        // No such row: the widget goes on a line of its own at the end.
        auto* h = new QHBoxLayout;
        h->addWidget(widget);
        h->addStretch(1);
        static_cast<QVBoxLayout*>(layout())->insertLayout(layout()->count() - 1, h);
        return;
    }
    QHBoxLayout* h = m_linhas.value(c->linha);
    int indice = h->indexOf(w);
    if (c->rotuloADireita && m_rotulos.value(nome))
        indice = h->indexOf(m_rotulos.value(nome));
    widget->setParent(this);
    h->insertWidget(indice + 1, widget);
}

QString FormularioFicha::texto(const QString& nome) const
{
    QWidget* w = controle(nome);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w))
        return e->toPlainText();
    if (auto* e = qobject_cast<QComboBox*>(w))
        return e->currentText();
    if (auto* e = qobject_cast<QLabel*>(w))
        return e->text();
    if (auto* e = qobject_cast<QDateTimeEdit*>(w))
        return e->dateTime().toString(e->displayFormat());
    return QString();
}

void FormularioFicha::defineTexto(const QString& nome, const QString& texto)
{
    QWidget* w = controle(nome);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(texto);
    else if (auto* e = qobject_cast<QPlainTextEdit*>(w))
        e->setPlainText(texto);
    else if (auto* e = qobject_cast<QComboBox*>(w))
        e->setEditText(texto);
    else if (auto* e = qobject_cast<QLabel*>(w))
        e->setText(texto);
}

bool FormularioFicha::atualiza(clsAgenda& registro, Atualizacao modo)
{
    const QString origem = m_opcoes.origem + QStringLiteral(".AtualizaGUI");
    try {
        const std::optional<clsUsuario>& usuario = globais().usuarioLogado;
        if (!usuario)
            throw ErroDeExecucao(origem, QStringLiteral("Nenhum operador conectado (usuarioLogado vazio)"));
        registro.departamento = usuario->departamento;

        for (const ControleDaFicha& c : m_controles) {
            switch (c.conversao) {
            case V::NumeroFicha:
                if (modo == Atualizacao::Completa)
                    defineTexto(c.nome, registro.numeroFicha == 0 ? QString() : QString::number(registro.numeroFicha));
                break;
            case V::Registro:
                defineTexto(c.nome, QStringLiteral("MEMBROS"));
                break;
            case V::Departamento:
                defineTexto(c.nome, registro.departamento.dsDepartamento);
                break;
            case V::Texto:
            case V::Cep:
            case V::DataTexto:
                if (c.mostra && !(modo == Atualizacao::SalVar && c.foraDoSalVar))
                    defineTexto(c.nome, registro.*c.mostra);
                break;
            case V::DDD:
                defineTexto(c.nome, UtilFicha::ExtraiDDD(registro.*c.mostra));
                break;
            case V::Telefone:
                defineTexto(c.nome, UtilFicha::ExtraiTelefone(registro.*c.mostra));
                break;
            case V::DataDaFicha:
                defineTexto(c.nome, registro.Data == FormatoBR::dataZero() || !registro.Data.isValid()
                                        ? hoje()
                                        : FormatoBR::formataData(registro.Data));
                break;
            case V::Valor:
                defineTexto(c.nome, FormatoBR::formataValor(registro.Valor));
                break;
            case V::Nenhuma:
            case V::Usuario:
            case V::DataUsuario:
            case V::DataUsuarioComoTexto:
            case V::HoraUsuario:
                break;
            }
        }
        mostraDatas(registro);
        UtilFicha::LimpaLabelsDeErro(this);
        return true;
    } catch (const ErroDeExecucao& erro) {
        ExibeErro(erro, this);
    } catch (const std::exception& erro) {
        ExibeErro(origem, QString::fromLocal8Bit(erro.what()), this);
    }
    limpaNaFalha(modo);
    mostraDatas(registro);
    return false;
}

void FormularioFicha::mostraDatas(const clsAgenda& registro)
{
    if (!m_opcoes.reformataDatas)
        return;
    const bool semData = registro.Data == FormatoBR::dataZero() || !registro.Data.isValid();
    for (const ControleDaFicha& c : m_controles)
        if (c.conversao == V::DataTexto && c.mostra)
            defineTexto(c.nome, semData ? hoje() : reformataSeData(registro.*c.mostra));
}

void FormularioFicha::limpaNaFalha(Atualizacao modo)
{
    if (!m_opcoes.limpaNaFalha)
        return;
    for (const ControleDaFicha& c : m_controles) {
        if (!c.limpaNaFalha)
            continue;
        if (modo == Atualizacao::SalVar && c.conversao == V::Nenhuma)
            continue;   // the display-only boxes keep their text in this refresh
        defineTexto(c.nome, QString());
    }
}

void FormularioFicha::escreveMarcadores(unsigned acao)
{
    for (const ControleDaFicha& c : m_controles)
        if ((c.marcadorEm & acao) && controle(c.nome) && texto(c.nome).isEmpty())
            defineTexto(c.nome, c.marcador);
}

bool FormularioFicha::ValidaFormulario()
{
    bool dataValida = true;
    if (auto* erro = controle<QLabel>(QStringLiteral("lblDataErro"))) {
        const QString data = texto(QStringLiteral("txtData"));
        if (data.isEmpty()) {
            erro->setText(QStringLiteral("Campo obrigatório (dd/mm/yyyy)"));
            dataValida = false;
        } else if (UtilFicha::ValidaData(data)) {
            erro->clear();
        } else {
            erro->setText(QStringLiteral("Valor de data inválido"));
            dataValida = false;
        }
    }
    bool valorValido = true;
    if (auto* erro = controle<QLabel>(QStringLiteral("lblValorErro"))) {
        const QString valor = texto(QStringLiteral("txtValor"));
        if (valor.isEmpty()) {
            erro->setText(QStringLiteral("Campo obrigatório"));
            valorValido = false;
        } else if (UtilFicha::ehNumerico(valor)) {
            erro->clear();
        } else {
            erro->setText(QStringLiteral("Valor numérico inválido"));
            valorValido = false;
        }
    }
    return dataValida && valorValido;
}

bool FormularioFicha::verificaSeparadores(unsigned acao, QWidget* dono)
{
    for (const ControleDaFicha& c : m_controles) {
        if (!(c.copia & acao) || !controle(c.nome))
            continue;
        const QString t = texto(c.nome);
        QString proibido;
        if (t.contains(u'|'))
            proibido = QStringLiteral("|");
        else if (t.contains(QStringLiteral("@@@")))
            proibido = QStringLiteral("@@@");
        if (proibido.isEmpty())
            continue;
        Caixas::mostra(dono,
                       QStringLiteral("O campo \"%1\" contém \"%2\", que não pode ser gravado na ficha.\r\n"
                                      "Retire esse texto do campo e tente novamente.")
                           .arg(nomeParaMensagem(c), proibido),
                       QStringLiteral("Campo Inválido"), Caixas::Icone::Aviso);
        if (QWidget* w = controle(c.nome))
            w->setFocus();
        return false;
    }
    return true;
}

void FormularioFicha::copiaPara(clsAgenda& registro, unsigned acao)
{
    const QString origem = m_opcoes.origem;
    for (const ControleDaFicha& c : m_controles) {
        if (!(c.copia & acao) || !controle(c.nome))
            continue;
        const QString t = texto(c.nome);
        auto grava = [&](const QString& valor) {
            for (QString clsAgenda::* p : c.grava)
                if (p)
                    registro.*p = valor;
        };
        switch (c.conversao) {
        case V::NumeroFicha:
            registro.numeroFicha = FormatoBR::converteInteiro(t, origem);
            break;
        case V::Texto:
        case V::DataTexto:
        case V::Departamento:
        case V::Registro:
        case V::Usuario:
            grava(t);
            break;
        case V::Cep:
            grava(QString(t).remove(u'-'));
            break;
        case V::DDD:
            grava(t + texto(c.parceiro));
            break;
        case V::Telefone:
        case V::Nenhuma:
            break;
        case V::DataDaFicha:
            registro.Data = UtilFicha::leDataValidada(t, origem);
            break;
        case V::Valor:
            registro.Valor = FormatoBR::converteValor(t, origem);
            break;
        case V::DataUsuario:
            if (auto* e = controle<QDateTimeEdit>(c.nome))
                grava(FormatoBR::formataData(e->date()));
            break;
        case V::DataUsuarioComoTexto:
            if (auto* e = controle<QDateTimeEdit>(c.nome)) {
                const QDateTime dt = e->dateTime();
                QString s = FormatoBR::formataData(dt.date());
                if (dt.time() != QTime(0, 0))
                    s += u' ' + dt.time().toString(formatoHora);
                grava(s);
            }
            break;
        case V::HoraUsuario:
            if (auto* e = controle<QDateTimeEdit>(c.nome)) {
                e->setDateTime(QDateTime::currentDateTime());
                grava(e->time().toString(formatoHora));
            }
            break;
        }
    }
}

std::optional<qint32> FormularioFicha::numeroDe(const QString& nome) const
{
    return UtilFicha::numeroInteiro(texto(nome));
}
