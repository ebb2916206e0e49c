#include "app/modGlobais.h"
#include "app/Seams.h"
#include "app/modBibArquivoINI.h"
#include "protocol/FormatoBR.h"
#include "reports/clsImpressora.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QWidget>

namespace {

QString& pastaDeTeste()
{
    static QString pasta;
    return pasta;
}

bool& encerrando()
{
    static bool valor = false;
    return valor;
}

constexpr qint16 timeOutPadrao = 10;
constexpr qint16 keepAlivePadrao = 30;
// Longer intervals do not fit the 16-bit millisecond timers the client was built around.
constexpr qint16 maximoSegundos = 64;

QString pastaDoPrograma()
{
    if (!pastaDeTeste().isEmpty())
        return pastaDeTeste();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

} // namespace

void definePastaDoProgramaParaTeste(const QString& pasta)
{
    pastaDeTeste() = pasta;
}

void CarregaConfiguracao()
{
    EstadoGlobal& g = globais();
    const QString origem = QStringLiteral("CarregaConfiguracao");
    std::optional<ErroDeExecucao> primeiroErro;

    // A folder that already ends in the separator is a root ("/", "C:\"): no second one.
    QString pasta = QDir::toNativeSeparators(pastaDoPrograma());
    if (!pasta.endsWith(QDir::separator()))
        pasta += QDir::separator();
    g.caminhoAplicacao = pasta;
    g.arquivoConfiguracao = pasta + QStringLiteral("config.ini");

    const QString secao = QStringLiteral("Cliente");
    g.hostRemoto = LeINI(g.arquivoConfiguracao, secao, QStringLiteral("hostRemoto"));
    g.portaRemota = LeINI(g.arquivoConfiguracao, secao, QStringLiteral("portaRemota"));

    auto leSegundos = [&](const QString& chave) -> std::optional<qint16> {
        try {
            return FormatoBR::converteInteiro16(LeINI(g.arquivoConfiguracao, secao, chave), origem);
        } catch (const ErroDeExecucao& erro) {
            if (!primeiroErro)
                primeiroErro = erro;
            return std::nullopt;
        }
    };

    // Without a time-out the reply wait would never end: always one between 1 and 64 s.
    const std::optional<qint16> timeOut = leSegundos(QStringLiteral("timeOutSegundos"));
    g.timeOutSegundos = timeOut ? qBound<qint16>(1, *timeOut, maximoSegundos) : timeOutPadrao;

    const std::optional<qint16> keepAlive = leSegundos(QStringLiteral("keepAliveSegundos"));
    if (!keepAlive || *keepAlive < 0)
        g.keepAliveSegundos = keepAlivePadrao;
    else
        g.keepAliveSegundos = qMin<qint16>(*keepAlive, maximoSegundos);

    // The reports need it whatever the file said.
    g.impressora = std::make_shared<clsImpressora>();

    if (primeiroErro)
        ExibeErro(*primeiroErro);
}

void EncerraAplicacao()
{
    encerrando() = true;
    const QWidgetList janelas = QApplication::topLevelWidgets();
    QList<QPointer<QWidget>> vivas;
    for (QWidget* w : janelas)
        vivas.append(w);
    for (const QPointer<QWidget>& w : vivas) {
        // A window closed by another's close handling may be gone already.
        if (w)
            w->close();
    }
    encerrando() = false;
    Encerramento::encerraAgora();
}

bool encerrandoAplicacao()
{
    return encerrando();
}

void LimpaLabelsDeErro(QWidget* janela)
{
    if (!janela)
        return;
    const QList<QLabel*> labels = janela->findChildren<QLabel*>();
    for (QLabel* l : labels) {
        const QVariant tag = l->property("tag");
        if (tag.typeId() == QMetaType::QString && tag.toString() == u"labelDeErro")
            l->clear();
    }
}

void marcaComoLabelDeErro(QLabel* label)
{
    if (label)
        label->setProperty("tag", QStringLiteral("labelDeErro"));
}
