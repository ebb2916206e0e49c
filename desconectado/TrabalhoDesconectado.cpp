// The program's side of working disconnected (see TrabalhoDesconectado.h).
#include "desconectado/TrabalhoDesconectado.h"
#include "app/Implantacao.h"
#include "connection/Conexao.h"
#include "connection/Requisicao.h"
#include "desconectado/Diario.h"
#include "desconectado/RespostasDaCopia.h"
#include "app/Caixas.h"

#include "protocol/modCommands.h"

#include <QApplication>

#include <memory>
#include <utility>

namespace TrabalhoDesconectado {

namespace {

std::unique_ptr<CopiaSelada> aberta;
bool desconectado = false;
std::function<qint64()> relogio;

// The copy's database connection must close while Qt is still there: a program that ends
// without a log-off closes it when the event loop returns.
void fechaNoFim()
{
    static bool ligado = false;
    if (!std::exchange(ligado, true) && QCoreApplication::instance())
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { encerra(); });
}

void respondeDaCopia()
{
    desconectado = true;
    defineRespondenteLocal([](const QString& mensagem) { return RespostasDaCopia::responde(*aberta, mensagem, agoraMs()); });
}

// The link dropped in a connected session: the rest of it works on the copy, as a login
// without the server would.
bool passaASemConexao()
{
    if (!aberta || desconectado)
        return false;
    respondeDaCopia();
    Caixas::mostra(QApplication::activeWindow(),
                   QStringLiteral("A ligação com o servidor caiu. O trabalho segue desconectado, na cópia deste "
                                  "computador: o que for gravado fica guardado e vai ao servidor na próxima entrada "
                                  "com ele de volta."),
                   QStringLiteral("Trabalho Desconectado"), Caixas::Icone::Aviso);
    return true;
}

// A change the server just made for this desk: the copy takes it, and
// whatever else changed since, so that it is current if the link drops next. Quietly: a
// failure only leaves the copy as it was.
void acompanhaMudanca(const QString& mensagem)
{
    // (Not when the link just went: the next request finds that out.)
    const Conexao* conexao = conexaoExistente();
    if (!aberta || desconectado || !conexao || !conexao->conectada())
        return;
    const QStringView c = QStringView(mensagem).left(mensagem.indexOf(u'|'));
    if (c != QString::number(Codigo::Salva) && c != QString::number(Codigo::Inclui) && c != QString::number(Codigo::Exclui))
        return;
    Sincronizador(*aberta, nullptr).atualizaCopia();
}

} // namespace

void defineRelogioParaTeste(std::function<qint64()> r)
{
    relogio = std::move(r);
}

qint64 agoraMs()
{
    return relogio ? relogio() : QDateTime::currentMSecsSinceEpoch();
}

Sincronizador::Resultado aposLogin(const clsUsuario& operador, const QString& senha, QTimer* timerTimeOut)
{
    encerra();
    if (!Implantacao::trabalhoDesconectado())
        return Sincronizador::Resultado::Completo;
    fechaNoFim();
    aberta = std::make_unique<CopiaSelada>();
    if (aberta->abreNoLogin(operador, senha, agoraMs()) != CopiaSelada::Estado::Aberta) {
        aberta.reset();
        return Sincronizador::Resultado::Falhou;
    }
    const Conexao* conexao = conexaoExistente();
    if (!conexao || !conexao->ofereceSincronia())
        return Sincronizador::Resultado::Completo;
    Sincronizador sincronizador(*aberta, timerTimeOut);
    const Sincronizador::Resultado r = sincronizador.sincroniza();
    if (r == Sincronizador::Resultado::Completo)
        aberta->marcaContato(agoraMs());
    // A copy that has been filled can carry the rest of this session if the link drops.
    if (aberta->numero() > 0) {
        defineReservaSemConexao(&passaASemConexao);
        defineAposResposta(&acompanhaMudanca);
    }
    return r;
}

bool aposRecusa(const QString& usuario, const QString& senha)
{
    if (!Implantacao::trabalhoDesconectado() || !CopiaSelada::existe(usuario))
        return false;
    bool apagar = false;
    {
        CopiaSelada c;
        apagar = c.abre(usuario, senha, 36500, agoraMs()) == CopiaSelada::Estado::Aberta;
    }
    return apagar && CopiaSelada::apaga(usuario);
}

CopiaSelada::Estado entraSemConexao(const QString& usuario, const QString& senha)
{
    encerra();
    if (!Implantacao::trabalhoDesconectado())
        return CopiaSelada::Estado::Inexistente;
    auto c = std::make_unique<CopiaSelada>();
    const CopiaSelada::Estado estado = c->abre(usuario, senha, Implantacao::diasSemServidor(), agoraMs());
    if (estado != CopiaSelada::Estado::Aberta)
        return estado;
    fechaNoFim();
    aberta = std::move(c);
    respondeDaCopia();
    return estado;
}

bool semConexao()
{
    return desconectado;
}

QDateTime desde()
{
    return aberta ? QDateTime::fromMSecsSinceEpoch(aberta->ultimoContatoMs()) : QDateTime();
}

QString faixa()
{
    if (!desconectado || !aberta)
        return {};
    const qsizetype pendentes = Diario(*aberta).quantas();
    QString texto = QStringLiteral("TRABALHANDO DESCONECTADO desde %1 - %2 mudança(s) a enviar ao servidor")
                        .arg(desde().toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")))
                        .arg(pendentes);
    // The login window keeps trying the server meanwhile.
    if (const Conexao* c = conexaoExistente(); c && c->conectada())
        texto += QStringLiteral(" - O SERVIDOR VOLTOU: saia e entre de novo para enviá-las");
    return texto;
}

CopiaSelada* copia()
{
    return aberta.get();
}

void encerra()
{
    defineReservaSemConexao({});
    defineAposResposta({});
    if (desconectado)
        defineRespondenteLocal({});
    desconectado = false;
    aberta.reset();
}

} // namespace TrabalhoDesconectado
