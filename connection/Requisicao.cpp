// The request cycle: connect if needed, send, wait for the reply, classify it.
#include "connection/Requisicao.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Conexao.h"
#include "connection/Espera.h"
#include "protocol/Wire.h"
#include "protocol/modCommands.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace MensagensDoServidor {
void semResposta(QWidget* dono)
{
    Caixas::mostra(dono, QStringLiteral("O servidor não respondeu a requisição, tente novamente"),
                   QStringLiteral("Sem Resposta"), Caixas::Icone::Erro);
}
void falhaNoComando(QWidget* dono)
{
    Caixas::mostra(dono, QStringLiteral("Ocorreu uma falha no servidor ao efetuar a ação, tente novamente"),
                   QStringLiteral("Falha no Comando"), Caixas::Icone::Erro);
}
void comandoDesconhecido(QWidget* dono)
{
    Caixas::mostra(dono, QStringLiteral("O servidor retornou um comando desconhecido"),
                   QStringLiteral("Comando Desconhecido"), Caixas::Icone::Erro);
}
} // namespace MensagensDoServidor

int AguardaResposta(QTimer* timerTimeOut)
{
    return AguardaResposta(conexaoExistente(), timerTimeOut);
}

int AguardaResposta(QTimer* timerTimeOut, int limiteMs, QList<int> esperados)
{
    return AguardaResposta(conexaoExistente(), timerTimeOut, limiteMs, std::move(esperados));
}

namespace {

RespondenteLocal respondenteLocal;
ReservaSemConexao reservaSemConexao;
AposResposta aposResposta;

std::optional<RespostaDoServidor> classifica(QWidget* dono, int codigo, QString texto, QByteArray bytes,
                                             std::initializer_list<int> esperados)
{
    for (const int esperado : esperados)
        if (codigo == esperado)
            return RespostaDoServidor{codigo, std::move(texto), std::move(bytes)};
    if (codigo == Codigo::Falha)
        MensagensDoServidor::falhaNoComando(dono);
    else
        MensagensDoServidor::comandoDesconhecido(dono);
    return std::nullopt;
}

std::optional<RespostaDoServidor> requisita(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                            std::initializer_list<int> esperados, bool emBytes,
                                            std::function<void(QByteArrayView)> andamento = {})
{
    if (RequisicaoEmCurso())
        return std::nullopt;
    if (respondenteLocal) {
        auto [codigo, texto] = respondenteLocal(mensagem);
        QByteArray bytes;
        if (emBytes)
            bytes = Wire::codifica(std::exchange(texto, QString()));
        if (andamento)
            andamento(bytes);
        globais().respostaServidor = texto;
        return classifica(dono, codigo, std::move(texto), std::move(bytes), esperados);
    }
    const QPointer<QWidget> guarda = dono;
    const bool temDono = dono != nullptr;
    const auto donoSumiu = [&] { return temDono && !guarda; };

    QPointer<Conexao> conexao = &conexaoDoPrograma();
    // A reply that went on after it was taken leaves the connection out of step: the request
    // starts clean on a new one.
    conexao->fechaSeForaDePasso();
    // With a copy to fall back on, a server that cannot be reached is the copy's news, not a box.
    const bool comReserva = bool(reservaSemConexao);
    const bool sondando = conexao->emSondagem();
    conexao->defineSondagem(sondando || comReserva);
    conexao->conectaSePreciso();
    if (conexao)
        conexao->defineSondagem(sondando);
    if (donoSumiu())
        return std::nullopt;
    if (!conexao || !conexao->conectada()) {
        if (comReserva && std::exchange(reservaSemConexao, ReservaSemConexao())())
            return requisita(dono, timerTimeOut, mensagem, esperados, emBytes, std::move(andamento));
        return std::nullopt;
    }

    conexao->envia(mensagem);
    if (emBytes)
        proximaEsperaEmBytes();
    if (andamento)
        proximaEsperaComAndamento(std::move(andamento));
    const int codigo = AguardaResposta(conexao, timerTimeOut, -1, QList<int>(esperados));
    QByteArray bytes = tomaBytesDaResposta();
    if (donoSumiu())
        return std::nullopt;
    if (globais().tempoEsgotado) {
        MensagensDoServidor::semResposta(dono);
        return std::nullopt;
    }
    if (EsperaInterrompida())
        return std::nullopt;
    for (const int esperado : esperados)
        if (codigo == esperado) {
            RespostaDoServidor resposta{codigo, globais().respostaServidor, std::move(bytes)};
            if (aposResposta)
                aposResposta(mensagem);
            return resposta;
        }
    if (codigo == Codigo::Falha) {
        MensagensDoServidor::falhaNoComando(dono);
        return std::nullopt;
    }
    // On the plain wire a code nobody asked for may be the rest of an earlier reply, and is
    // taken as soon as it is read, before its own rest: the next request starts on a new
    // connection.
    if (conexao && !conexao->enquadrada())
        conexao->encerra();
    MensagensDoServidor::comandoDesconhecido(dono);
    return std::nullopt;
}

} // namespace

void defineRespondenteLocal(RespondenteLocal respondente)
{
    respondenteLocal = std::move(respondente);
}

void defineReservaSemConexao(ReservaSemConexao reserva)
{
    reservaSemConexao = std::move(reserva);
}

void defineAposResposta(AposResposta a)
{
    aposResposta = std::move(a);
}

bool respondeLocalmente()
{
    return bool(respondenteLocal);
}

std::optional<RespostaDoServidor> Requisita(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                            std::initializer_list<int> esperados)
{
    return requisita(dono, timerTimeOut, mensagem, esperados, false);
}

std::optional<RespostaDoServidor> RequisitaEmBytes(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                                   std::initializer_list<int> esperados)
{
    return requisita(dono, timerTimeOut, mensagem, esperados, true);
}

std::optional<RespostaDoServidor> RequisitaEmBytes(QWidget* dono, QTimer* timerTimeOut, const QString& mensagem,
                                                   std::initializer_list<int> esperados,
                                                   std::function<void(QByteArrayView)> andamento)
{
    return requisita(dono, timerTimeOut, mensagem, esperados, true, std::move(andamento));
}
