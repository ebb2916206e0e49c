#include "app/modGlobais.h"
#include "app/Seams.h"
#include "app/modBibArquivoINI.h"
#include "app/Implantacao.h"
#include "app/LugaresDoSistema.h"
#include "protocol/FormatoBR.h"
#include "reports/clsImpressora.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
constexpr qint32 maximoRespostaMiB = 16384;   // 16 GiB: beyond any memory the client could give it

QString& implantacaoDeTeste()
{
    static QString arquivo;
    return arquivo;
}

QString pastaDoPrograma()
{
    if (!pastaDeTeste().isEmpty())
        return pastaDeTeste();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

// The operator's own config.ini, used when the program's folder is not the place for it.
QString configuracaoDoUsuario()
{
    return LugaresDoSistema::configuracaoDoUsuario();
}

// Where config.ini is read and written. Beside the program when its folder can be written and
// it is not an installed copy (a build folder, a portable copy); otherwise the operator's own
// file, made on first use from the one beside the program or, failing that, the packaged
// default. `leitura` is the file to read now (the seed itself when the copy could not be
// made); `problema` says what went wrong, if anything.
struct LocalDaConfiguracao {
    QString arquivo;
    QString leitura;
    QString problema;
};

LocalDaConfiguracao localDaConfiguracao(const QString& pasta)
{
    const QString aoLado = pasta + QStringLiteral("config.ini");
    const bool instalado = Implantacao::raizDaInstalacao(pasta).has_value();
    const QFileInfo infoPasta(pasta);
    const QFileInfo infoArquivo(aoLado);
    if (!instalado && infoPasta.isWritable() && (!infoArquivo.exists() || infoArquivo.isWritable()))
        return {aoLado, aoLado, QString()};

    const QString doUsuario = configuracaoDoUsuario();
    if (doUsuario.isEmpty())
        return {aoLado, aoLado, QStringLiteral("não há pasta de configuração do usuário; usando %1").arg(aoLado)};
    if (QFileInfo::exists(doUsuario))
        return {doUsuario, doUsuario, QString()};

    const QString semente = infoArquivo.isFile() ? aoLado : Implantacao::configuracaoPadrao(pasta);
    const bool pastaPronta = QDir().mkpath(QFileInfo(doUsuario).absolutePath());
    // Without a default the login's write-back still makes the file, with the server in use.
    if (!QFileInfo(semente).isFile())
        return {doUsuario, doUsuario, QStringLiteral("a configuração padrão %1 não existe").arg(semente)};
    if (!pastaPronta)
        return {doUsuario, semente, QStringLiteral("não foi possível criar a pasta de %1").arg(doUsuario)};
    QFile copia(semente);
    if (!copia.copy(doUsuario))
        return {doUsuario, semente, QStringLiteral("não foi possível criar %1 a partir de %2: %3")
                                        .arg(doUsuario, semente, copia.errorString())};
    // The packaged file is read-only; the operator's copy must take the write-back.
    QFile::setPermissions(doUsuario, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return {doUsuario, doUsuario, QString()};
}

} // namespace

void defineArquivoDeImplantacaoParaTeste(const QString& arquivo)
{
    implantacaoDeTeste() = arquivo;
}

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

    // The office's deployment values first: the login window shows them as soon as it opens.
    const QString implantacao =
        implantacaoDeTeste().isEmpty() ? Implantacao::arquivo(pastaDoPrograma()) : implantacaoDeTeste();
    const QStringList problemas = Implantacao::carrega(implantacao, Implantacao::raizDaInstalacao(pastaDoPrograma()));
    if (!problemas.isEmpty())
        ExibeErro(QStringLiteral("Implantacao"),
                  QStringLiteral("O arquivo de implantação %1 tem valores que não puderam ser usados:\n%2")
                      .arg(QDir::toNativeSeparators(implantacao), problemas.join(u'\n')));

    const LocalDaConfiguracao local = localDaConfiguracao(pasta);
    g.arquivoConfiguracao = local.arquivo;
    if (!local.problema.isEmpty())
        ExibeErro(origem, QStringLiteral("Configuração: ") + local.problema);

    const QString secao = QStringLiteral("Cliente");
    const QString leitura = local.leitura;
    g.hostRemoto = LeINI(leitura, secao, QStringLiteral("hostRemoto"));
    g.portaRemota = LeINI(leitura, secao, QStringLiteral("portaRemota"));

    auto leSegundos = [&](const QString& chave) -> std::optional<qint16> {
        try {
            return FormatoBR::converteInteiro16(LeINI(leitura, secao, chave), origem);
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

    // The longest reply the client takes, in MiB; absent: the default (256 MiB, far above the
    // largest list the search can show). A bad value is reported and the default kept.
    g.maximoRespostaBytes = 0;
    const QString maximo = LeINI(leitura, secao, QStringLiteral("maximoRespostaMiB")).trimmed();
    if (!maximo.isEmpty()) {
        const auto recusa = [&](const QString& porque) {
            if (!primeiroErro)
                primeiroErro = ErroDeExecucao(origem, QStringLiteral("maximoRespostaMiB=%1: %2; vale o padrão de 256 MiB")
                                                          .arg(maximo.left(40), porque));
        };
        try {
            const qint32 mib = FormatoBR::converteInteiro(maximo, origem);
            if (mib < 1 || mib > maximoRespostaMiB)
                recusa(QStringLiteral("deve estar entre 1 e %1").arg(maximoRespostaMiB));
            else
                g.maximoRespostaBytes = qint64(mib) << 20;
        } catch (const ErroDeExecucao& erro) {
            recusa(erro.descricao());
        }
    }

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
