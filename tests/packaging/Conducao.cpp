// Drives a Zelto client from inside its own process, as an operator would, for the tests of the
// installed program and for the screenshots: loaded with LD_PRELOAD, so the client itself stays
// exactly as shipped (no options, no test code). Controls are found by their object names.
//
//   ZELTO_CONDUCAO_SAIDA     file that receives "key=value" lines of what was seen (required)
//   ZELTO_CONDUCAO_USUARIO   operator to log in with; ZELTO_CONDUCAO_SENHA, its password
//   ZELTO_CONDUCAO_CAPTURAS  folder for PNG screenshots of the windows (optional)
//   ZELTO_CONDUCAO_ATE       last step to run (default: all of them)
//   ZELTO_CONDUCAO_FICA_MS   how long the program stays open after the last step (default 0),
//                            for a screenshot of the whole screen taken from outside
//
// On Windows, where nothing is preloaded, the same code is a Qt generic plugin
// (ConducaoNoWindows.cpp) named in QT_QPA_GENERIC_PLUGINS.
// Every message box that shows up is written down ("caixa=title: text") and closed. The program
// ends with 0 when every step was done, 3 when one did not happen within a minute.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>
#include <QToolBar>

#include <functional>
#include <memory>

namespace {

struct Passo {
    const char* nome;
    std::function<bool()> feito;   // true when the step is done; called every 100 ms until then
};

struct Conducao {
    QFile saida;
    QString capturas;
    QList<Passo> passos;
    qsizetype atual = 0;
    QElapsedTimer relogio;
    QTimer timer;

    void anota(const QString& chave, const QString& valor)
    {
        QTextStream(&saida) << chave << u'=' << QString(valor).replace(u'\n', QLatin1String("\\n")) << '\n';
        saida.flush();
    }

    void captura(QWidget* w, const QString& nome)
    {
        if (capturas.isEmpty() || !w)
            return;
        const QString arquivo = capturas + u'/' + nome + QStringLiteral(".png");
        anota(QStringLiteral("captura"), w->grab().save(arquivo) ? arquivo : QStringLiteral("falhou ") + arquivo);
    }

    template <typename T>
    static T* visivel(const QString& nome)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == nome && w->isVisible())
                if (auto* t = qobject_cast<T*>(w))
                    return t;
        return nullptr;
    }

    template <typename T>
    static T* filho(QWidget* janela, const QString& nome)
    {
        return janela ? janela->findChild<T*>(nome) : nullptr;
    }

    // Boxes are written down and answered with their default button.
    void fechaCaixas()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* caixa = qobject_cast<QMessageBox*>(w);
            if (!caixa || !caixa->isVisible() || caixa->property("conducao.vista").toBool())
                continue;
            caixa->setProperty("conducao.vista", true);
            anota(QStringLiteral("caixa"), caixa->windowTitle() + QStringLiteral(": ") + caixa->text());
            QPointer<QMessageBox> c = caixa;
            QTimer::singleShot(0, caixa, [c] {
                if (!c)
                    return;
                if (QPushButton* b = c->defaultButton())
                    b->click();
                else
                    c->accept();
            });
        }
    }

    void passo()
    {
        fechaCaixas();
        if (atual >= passos.size())
            return;
        if (passos[atual].feito()) {
            anota(QStringLiteral("passo"), QString::fromLatin1(passos[atual].nome));
            ++atual;
            relogio.restart();
            if (atual == passos.size()) {
                anota(QStringLiteral("fim"), QStringLiteral("ok"));
                timer.stop();
                QTimer::singleShot(qEnvironmentVariableIntValue("ZELTO_CONDUCAO_FICA_MS"), [] { QCoreApplication::exit(0); });
            }
            return;
        }
        if (relogio.elapsed() > 60'000) {
            anota(QStringLiteral("falhou"), QString::fromLatin1(passos[atual].nome));
            timer.stop();
            QCoreApplication::exit(3);
        }
    }

    void monta();
};

// The texts of Qt's own widgets as the operator would read them.
QString textosDoMenuDeContexto(QWidget* dono, QMenu** menu)
{
    auto* caixa = new QLineEdit(dono);
    caixa->setText(QStringLiteral("texto"));
    caixa->selectAll();
    *menu = caixa->createStandardContextMenu();
    QStringList textos;
    for (QAction* a : (*menu)->actions())
        if (!a->isSeparator())
            textos << a->text();
    return textos.join(u'|');
}

QString textosDoDialogo(QFileDialog* dialogo)
{
    QStringList textos;
    for (QLabel* l : dialogo->findChildren<QLabel*>())
        if (!l->text().isEmpty())
            textos << l->text();
    for (QAbstractButton* b : dialogo->findChildren<QAbstractButton*>())
        if (!b->text().isEmpty())
            textos << b->text();
    return textos.join(u'|');
}

void Conducao::monta()
{
    const QString usuario = qEnvironmentVariable("ZELTO_CONDUCAO_USUARIO");
    const QString senha = qEnvironmentVariable("ZELTO_CONDUCAO_SENHA");

    passos << Passo{"aberto", [this] {
        QWidget* login = visivel<QWidget>(QStringLiteral("frmLogin"));
        auto* ip = filho<QLineEdit>(login, QStringLiteral("txtIpServidor"));
        auto* porta = filho<QLineEdit>(login, QStringLiteral("txtPortaServidor"));
        if (!ip || !porta)
            return false;
        anota(QStringLiteral("servidor"), ip->text() + u':' + porta->text());
        if (auto* site = filho<QLabel>(login, QStringLiteral("lblSite")))
            anota(QStringLiteral("site"), site->text());
        return true;
    }};
    passos << Passo{"login", [this] {
        QWidget* login = visivel<QWidget>(QStringLiteral("frmLogin"));
        auto* txtUsuario = filho<QLineEdit>(login, QStringLiteral("txtUsuario"));
        if (!txtUsuario || !txtUsuario->isEnabled())
            return false;   // still waiting for the server's acceptance
        captura(login, QStringLiteral("login"));
        return true;
    }};
    passos << Passo{"entra", [this, usuario, senha] {
        QWidget* login = visivel<QWidget>(QStringLiteral("frmLogin"));
        auto* txtSenha = filho<QLineEdit>(login, QStringLiteral("txtSenha"));
        if (!txtSenha)
            return false;
        filho<QLineEdit>(login, QStringLiteral("txtUsuario"))->setText(usuario);
        txtSenha->setText(senha);
        txtSenha->setFocus();
        // Posted, not sent: the login waits for the server inside its own handler.
        QCoreApplication::postEvent(txtSenha, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")));
        QCoreApplication::postEvent(txtSenha, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")));
        return true;
    }};
    passos << Passo{"menu", [this] {
        auto* menu = visivel<QMainWindow>(QStringLiteral("Frminicial"));
        auto* letreiro = filho<QLabel>(menu, QStringLiteral("Label3"));
        if (!letreiro)
            return false;
        anota(QStringLiteral("letreiro"), letreiro->text());
        if (menu->statusBar())
            for (QLabel* l : menu->statusBar()->findChildren<QLabel*>())
                if (!l->text().isEmpty())
                    anota(QStringLiteral("status"), l->text());
        captura(menu, QStringLiteral("menu-principal"));
        return true;
    }};
    passos << Passo{"membros", [this] {
        auto* menu = visivel<QMainWindow>(QStringLiteral("Frminicial"));
        auto* acao = menu ? menu->findChild<QAction*>(QStringLiteral("mnumembros")) : nullptr;
        if (!acao)
            return false;
        acao->trigger();
        return true;
    }};
    passos << Passo{"janela-membros", [this] {
        QWidget* membros = visivel<QWidget>(QStringLiteral("frmPrincipal"));
        if (!membros)
            return false;
        anota(QStringLiteral("membros"), membros->windowTitle());
        captura(membros, QStringLiteral("membros"));
        return true;
    }};
    passos << Passo{"qt-em-portugues", [this] {
        QWidget* membros = visivel<QWidget>(QStringLiteral("frmPrincipal"));
        QMenu* menu = nullptr;
        anota(QStringLiteral("menu-de-contexto"), textosDoMenuDeContexto(membros, &menu));
        menu->popup(membros->mapToGlobal(QPoint(200, 200)));
        captura(menu, QStringLiteral("menu-de-contexto"));
        menu->close();
        menu->deleteLater();

        // Qt's own save dialog (the one the program uses when the desktop offers none).
        auto* dialogo = new QFileDialog(membros, QStringLiteral("Salvar"));
        dialogo->setOption(QFileDialog::DontUseNativeDialog);
        dialogo->setAcceptMode(QFileDialog::AcceptSave);
        dialogo->setNameFilter(QStringLiteral("Arquivos CSV (*.csv)"));
        dialogo->show();
        anota(QStringLiteral("dialogo-salvar"), textosDoDialogo(dialogo));
        captura(dialogo, QStringLiteral("dialogo-salvar"));
        dialogo->close();
        dialogo->deleteLater();
        return true;
    }};

    // For the screenshots only (the package test's registry has no sheets to list): the member
    // search with the demo department's whole list, its status line saying how many came.
    if (!capturas.isEmpty()) {
        passos << Passo{"abre-localizar", [this] {
            QWidget* membros = visivel<QWidget>(QStringLiteral("frmPrincipal"));
            auto* acao = membros ? membros->findChild<QAction*>(QStringLiteral("btnLocalizar")) : nullptr;
            if (!acao)
                return false;
            // Queued: the search window runs its own loop until it is closed.
            QMetaObject::invokeMethod(acao, &QAction::trigger, Qt::QueuedConnection);
            return true;
        }};
        passos << Passo{"localiza", [this] {
            QWidget* busca = visivel<QWidget>(QStringLiteral("frmLocalizar"));
            auto* botao = filho<QAbstractButton>(busca, QStringLiteral("btnLocalizar"));
            if (!botao)
                return false;
            QMetaObject::invokeMethod(botao, &QAbstractButton::click, Qt::QueuedConnection);
            return true;
        }};
        passos << Passo{"lista", [this] {
            QWidget* busca = visivel<QWidget>(QStringLiteral("frmLocalizar"));
            auto* status = filho<QLabel>(busca, QStringLiteral("lblStatus"));
            if (!status || !status->text().contains(QStringLiteral("fichas na lista")))
                return false;
            anota(QStringLiteral("lista"), status->text());
            captura(busca, QStringLiteral("localizar"));
            busca->close();
            return true;
        }};
    }

    const QString ate = qEnvironmentVariable("ZELTO_CONDUCAO_ATE");
    for (qsizetype i = 0; i < passos.size(); ++i)
        if (QLatin1String(passos[i].nome) == ate)
            passos.resize(i + 1);
}

std::unique_ptr<Conducao>& conducao()
{
    static std::unique_ptr<Conducao> c;
    return c;
}

void inicia()
{
    const QString arquivo = qEnvironmentVariable("ZELTO_CONDUCAO_SAIDA");
    if (arquivo.isEmpty() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    auto c = std::make_unique<Conducao>();
    c->saida.setFileName(arquivo);
    if (!c->saida.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return;
    c->capturas = qEnvironmentVariable("ZELTO_CONDUCAO_CAPTURAS");
    c->monta();
    c->relogio.start();
    Conducao* p = c.get();
    QObject::connect(&c->timer, &QTimer::timeout, [p] { p->passo(); });
    c->timer.start(100);
    conducao() = std::move(c);
}

// Runs when the client constructs its QApplication.
struct Registro {
    Registro() { qAddPreRoutine(inicia); }
} registro;

} // namespace
