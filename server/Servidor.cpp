// The registry server's listener: accepting connections, what one client may take from the others, and the workers.
#include "server/Servidor.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Wire.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "protocol/Historico.h"
#include "protocol/Sincronia.h"
#include "protocol/Quadros.h"
#include "server/AmostrasParaMetricas.h"
#include "server/store/Banco.h"
#include "server/Oficina.h"
#include "server/Senhas.h"
#include "server/network/Tls.h"
#include "server/network/Vazao.h"
#include "server/store/VigiaDoBanco.h"

#include <QDateTime>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <limits>

namespace {

QByteArray codigo(int c)
{
    return QByteArray::number(c);
}

// Back on the loop's thread (from a worker) with the connection, unless its peer has gone meanwhile.
template <class Fazer>
void naConexao(QObject* laco, const QPointer<ConexaoDoCliente>& conexao, Fazer fazer)
{
    QMetaObject::invokeMethod(
        laco,
        [conexao, fazer = std::move(fazer)] {
            if (conexao && !conexao->desconectada())
                fazer(*conexao);
        },
        Qt::QueuedConnection);
}

} // namespace

Servidor::Servidor(Banco& armazem, Opcoes opcoes, QObject* pai)
    : QObject(pai),
      m_armazem(armazem),
      m_opcoes(opcoes),
      m_servidor(new Tls::Ouvinte(this)),
      m_sessoes(opcoes.sessaoMs, true),
      m_tamanhos(opcoes.maiorPedido, opcoes.maiorPedidoSemLogin, opcoes.sessaoPorEndereco, opcoes.sessaoMs),
      m_trabalho(armazem, this),
      m_ambiente{m_trabalho, m_tamanhos, m_opcoes, m_sessoes, m_relogio, m_tls},
      m_filaDeSenhas(std::make_shared<FilaDeSenhas>(opcoes.filaDeSenhas, opcoes.senhasPorEndereco)),
      m_baldes(opcoes.rajadaDeLogins, opcoes.loginsPorMinuto)
{
    m_relogio.start();
    // The store reopens a lost database connection in the background, and says so. (The
    // workers watch their own connections: nothing on this thread waits on the database.)
    m_armazem.defineDiario(registraNoDiario);
    m_conferencias.setMaxThreadCount(2);
    m_sessoes.defineAoEncerrar([this](const QString& usuario, const QString& endereco) {
        registraAcesso(Acao::logoff(), usuario, 0, endereco, QString());
    });
    connect(m_servidor, &QTcpServer::newConnection, this, &Servidor::aceita);
    connect(m_servidor, &QTcpServer::acceptError, this, &Servidor::erroAoAceitar);
}

qint64 Servidor::agoraMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

Servidor::~Servidor()
{
    // A worker waiting for its reply to drain would never be joined.
    for (ConexaoDoCliente* c : std::as_const(m_conexoes))
        c->cancelaVazao();
    m_trabalho.defineOficina(nullptr);
    m_oficina.reset();
    m_conferencias.waitForDone();
    if (m_armazem.ehPostgres())
        VigiaDoBanco::doProcesso().para();
    // Before the sockets go with the listener: a connection's farewell needs what is gone by then.
    qDeleteAll(m_conexoes);
}

bool Servidor::escuta(QString& erro)
{
    if (!m_opcoes.tlsCertificado.isEmpty() || !m_opcoes.tlsChave.isEmpty()) {
        if (!Tls::carrega(m_opcoes.tlsCertificado, m_opcoes.tlsChave, m_tls, erro))
            return false;
        m_servidor->defineConfiguracao(m_tls);
        registraNoDiario(QStringLiteral("TLS oferecido; certificado %1").arg(Tls::impressao(m_tls.localCertificate())));
    }
    if (m_opcoes.exigirTls)
        registraNoDiario(QStringLiteral("--exigir-tls: login sem TLS só deste computador"));
    if (!m_oficina) {
        auto oficina = std::make_unique<Oficina>(m_armazem.conexao(), m_sessoes, m_opcoes.leitores);
        if (!oficina->inicia(erro))
            return false;
        m_oficina = std::move(oficina);
        m_trabalho.defineOficina(m_oficina.get());
        if (m_armazem.ehPostgres())
            VigiaDoBanco::doProcesso().inicia(m_armazem.conexao(), registraNoDiario);
    }
    // Every connection holds an open file: the ceiling leaves room for the database and
    // the log, so the system never refuses us a connection we would want to greet.
    const qint64 arquivos = Limites::elevaLimiteDeArquivos();
    const int peloSistema = arquivos > 0 ? Limites::tetoDeConexoes(arquivos - Limites::arquivosAbertos(), m_opcoes.leitores + 2) : 1 << 24;
    // Never above what the files allow: out of files, QTcpServer (Qt 6.4) retries the accept
    // at every pass of the loop without a word, and nobody is greeted any more.
    m_tetoDeConexoes = m_opcoes.limiteDeConexoes > 0 ? std::min(m_opcoes.limiteDeConexoes, peloSistema) : peloSistema;
    registraNoDiario(QStringLiteral("limite de arquivos abertos %1: até %2 conexões, %3 por endereço")
                         .arg(arquivos)
                         .arg(m_tetoDeConexoes)
                         .arg(m_opcoes.conexoesPorEndereco));
    m_servidor->setListenBacklogSize(m_opcoes.filaDeConexoes);
    if (!m_servidor->listen(m_opcoes.endereco, m_opcoes.porta)) {
        erro = m_servidor->errorString();
        return false;
    }
    if (m_opcoes.metricas)
        new AmostrasParaMetricas({[this] { return qint64(m_conexoes.size()); },
                                  [this](std::function<void(Banco&)> tarefa) { noBanco(nullptr, std::move(tarefa), {}); }},
                                 this);
    return true;
}

QHostAddress Servidor::enderecoOuvindo() const
{
    return m_servidor->serverAddress();
}

quint16 Servidor::portaOuvindo() const
{
    return m_servidor->serverPort();
}

void Servidor::aceita()
{
    while (QTcpSocket* socket = m_servidor->nextPendingConnection()) {
        const QString chave = Sessoes::chave(socket->peerAddress());
        const QString nome = chave + QLatin1Char(':') + QString::number(socket->peerPort());
        const int doEndereco = m_porEndereco.value(chave);
        const bool cheio = doEndereco >= m_opcoes.conexoesPorEndereco;
        if (cheio || (m_conexoes.size() >= m_tetoDeConexoes && !fechaMaisAntigaSemLogin())) {
            avisa(cheio ? QStringLiteral("por endereço") : QStringLiteral("teto"),
                  cheio ? QStringLiteral("%1 recusada: %2 conexões abertas desse endereço (limite)").arg(nome).arg(doEndereco)
                        : QStringLiteral("%1 recusada: %2 conexões abertas (limite), todas com login ou atendendo").arg(nome).arg(m_conexoes.size()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* c = new ConexaoDoCliente(socket, ++m_chegadas, m_ambiente);
        connect(c, &ConexaoDoCliente::aviso, this, &Servidor::avisa);
        connect(c, &ConexaoDoCliente::autenticou, this, [this, c] { autenticou(*c); });
        connect(c, &ConexaoDoCliente::saiu, this, [this, c] { saiu(*c); });
        connect(c, &ConexaoDoCliente::encerrouSessao, this, &Servidor::sessaoEncerrada);
        connect(c, &ConexaoDoCliente::pediu, this, [this, c](int codigoPedido, QByteArray pedido) { atende(*c, codigoPedido, std::move(pedido)); });
        connect(c, &ConexaoDoCliente::fechou, this, [this, c] { fechou(*c); });
        m_conexoes.insert(c);
        ++m_porEndereco[c->chaveDoEndereco()];
        m_semLogin.emplace(c->numero(), c);
        c->cumprimenta();
    }
}

void Servidor::erroAoAceitar()
{
    // The system would not hand over a connection and Qt has stopped accepting. Make room
    // and take up accepting again shortly, never in a tight loop. (Out of open files Qt says
    // nothing; the ceiling keeps us from getting there.)
    m_servidor->pauseAccepting();
    const QString porque = m_servidor->errorString();
    // Room for a few at once: more are surely waiting in the backlog.
    const qsizetype abertas = m_conexoes.size();
    int liberadas = 0;
    while (liberadas < 16 && fechaMaisAntigaSemLogin())
        ++liberadas;
    const bool liberou = liberadas > 0;
    avisa(QStringLiteral("aceitar"), QStringLiteral("o sistema recusou uma conexão (%1) com %2 abertas; %3 sem login encerradas, aceitando de novo em %4 ms")
                                         .arg(porque)
                                         .arg(abertas)
                                         .arg(liberadas)
                                         .arg(liberou ? 50 : 1000));
    if (m_aceitarPausado)
        return;
    m_aceitarPausado = true;
    QTimer::singleShot(liberou ? 50 : 1000, this, [this] {
        m_aceitarPausado = false;
        m_servidor->resumeAccepting();
    });
}

bool Servidor::fechaMaisAntigaSemLogin()
{
    for (const auto& entrada : m_semLogin) {
        ConexaoDoCliente* c = entrada.second;
        if (c->ocupada() || c->fechando())
            continue;   // a login under way: let it finish
        avisa(QStringLiteral("teto"), QStringLiteral("%1 sem login encerrada para dar lugar a outra (%2 conexões abertas, limite)")
                                          .arg(c->nome())
                                          .arg(m_conexoes.size()));
        c->derruba();   // its file is needed now; it leaves this list at once
        return true;
    }
    return false;
}

void Servidor::fechou(ConexaoDoCliente& c)
{
    if (!m_conexoes.remove(&c))
        return;
    const auto it = m_porEndereco.find(c.chaveDoEndereco());
    if (it != m_porEndereco.end() && --*it <= 0)
        m_porEndereco.erase(it);
    m_semLogin.erase(c.numero());
}

void Servidor::autenticou(ConexaoDoCliente& c)
{
    m_semLogin.erase(c.numero());
    m_tamanhos.entrou(c.chaveDoEndereco(), agoraMs());
}

void Servidor::saiu(ConexaoDoCliente& c)
{
    m_semLogin.emplace(c.numero(), &c);
}

void Servidor::sessaoEncerrada(const QString& chave)
{
    // A copy: leaving the session changes no connection set, but stay safe against it.
    const QList<ConexaoDoCliente*> abertas(m_conexoes.cbegin(), m_conexoes.cend());
    for (ConexaoDoCliente* c : abertas)
        c->sessaoEncerrada(chave);
}

void Servidor::avisa(const QString& tipo, const QString& linha)
{
    qint64 omitidos = 0;
    if (!m_avisos.pode(tipo, agoraMs(), omitidos))
        return;
    registraNoDiario(omitidos > 0 ? linha + QStringLiteral(" (e mais %1 avisos iguais omitidos)").arg(omitidos) : linha);
}

void Servidor::atende(ConexaoDoCliente& c, int codigoPedido, QByteArray pedido)
{
    if (codigoPedido == Codigo::Login) {
        atendeLogin(c, pedido);
        return;
    }
    if (codigoPedido == Codigo::Busca) {
        atendeBusca(c, std::move(pedido));
        return;
    }
    if (codigoPedido == Historico::codigoDoPedido) {
        atendeHistorico(c, std::move(pedido));
        return;
    }
    if (codigoPedido == Sincronia::codigoDasMudancas) {
        partesDasMudancas(QPointer<ConexaoDoCliente>(&c), c.comecaVazao(), std::make_shared<Atendente::ListaDeMudancas>(), pedido,
                          c.portador(), m_relogio.nsecsElapsed());
        return;
    }
    const qint64 chegou = m_relogio.nsecsElapsed();
    const QPointer<ConexaoDoCliente> conexao(&c);
    m_oficina->altera({codigoPedido, std::move(pedido), c.portador(), agoraMs(), [this, conexao, codigoPedido, chegou](Atendente::Resposta r) {
                           naConexao(this, conexao, [codigoPedido, chegou, r](ConexaoDoCliente& c) {
                               c.responde(codigoPedido, r.bytes, r.desfecho, chegou, -1, r.departamento);
                           });
                       }});
}

void Servidor::atendeBusca(ConexaoDoCliente& c, QByteArray pedido)
{
    const qint64 chegou = m_relogio.nsecsElapsed();
    partes(QPointer<ConexaoDoCliente>(&c), c.comecaVazao(), std::make_shared<Atendente::Lista>(), std::move(pedido), c.portador(),
           chegou);
}

// One part of a search's reply on a reader: the first (`pedido` given) or the next where the
// last stopped. A part ends when the connection's budget is full; its thread is then free,
// and the connection asks for the next part once its client has taken enough.
void Servidor::partes(const QPointer<ConexaoDoCliente>& conexao, const std::shared_ptr<Vazao>& vazao,
                      const std::shared_ptr<Atendente::Lista>& lista, const QByteArray& pedido, const Portador& portador,
                      qint64 chegou)
{
    if (!conexao)
        return;
    const qint64 agora = agoraMs();
    const qsizetype pedaco = m_opcoes.pedacoDeResposta;
    const qsizetype limite = m_opcoes.emTransito;
    const ConexaoDoCliente::Forma forma = conexao->formaDosPedacos();
    m_oficina->le([this, conexao, pedido, portador, agora, chegou, vazao, lista, pedaco, limite, forma](Banco&, Atendente& atendente) {
        bool comecou = true;   // a later part follows pieces already sent (a first part says for itself)
        bool primeiro = !pedido.isNull();
        const auto entrega = [&](QByteArray&& bloco) {
            if (vazao->cancelada())
                return false;
            // The piece goes ready for the wire: the loop only writes it.
            const qsizetype barra = bloco.indexOf('|');
            QByteArray codigo = std::exchange(primeiro, false) ? bloco.left(barra < 0 ? bloco.size() : barra) : QByteArray();
            // Plain or framed, the piece's bytes go as the search wrote them (a frame's opening
            // goes before them): only packing makes new bytes.
            QByteArray cabecalho;
            if (forma == ConexaoDoCliente::Forma::Enquadrada && !bloco.isEmpty())
                cabecalho = Quadros::cabecalho(bloco.size());
            QByteArray pronto = forma == ConexaoDoCliente::Forma::Empacotada ? ConexaoDoCliente::pedacoPronto(forma, bloco) : std::move(bloco);
            lista->trecho.pausar = vazao->entregou(cabecalho.size() + pronto.size(), limite);
            comecou = true;
            naConexao(this, conexao, [cabecalho = std::move(cabecalho), pronto = std::move(pronto), codigo = std::move(codigo)](ConexaoDoCliente& c) {
                c.escrevePedaco(cabecalho, pronto, codigo);
            });
            return true;
        };
        const Atendente::Resposta r = pedido.isNull()
            ? atendente.continuaBusca(*lista, pedaco, entrega)
            : atendente.buscaEmPartes(Wire::decodifica(pedido), portador, agora, pedaco, entrega, comecou, lista.get());
        if (lista->pausada() && r.bytes.isEmpty()) {
            naConexao(this, conexao, [this, conexao, vazao, lista, portador, chegou](ConexaoDoCliente& c) {
                c.aguardaEscoar([this, conexao, vazao, lista, portador, chegou] { partes(conexao, vazao, lista, QByteArray(), portador, chegou); });
            });
            return;
        }
        naConexao(this, conexao, [r, comecou, chegou, achadas = lista->achadas, dep = lista->idDepartamento](ConexaoDoCliente& c) {
            if (comecou && r.bytes == codigo(Codigo::Falha))
                c.falhaNoMeio(Codigo::Busca, r.desfecho, chegou);
            else
                c.responde(Codigo::Busca, r.bytes, r.desfecho, chegou, achadas, dep);
        });
    }, pedido.isNull());
}

void Servidor::atendeHistorico(ConexaoDoCliente& c, QByteArray pedido)
{
    const qint64 chegou = m_relogio.nsecsElapsed();
    const QPointer<ConexaoDoCliente> conexao(&c);
    const Portador portador = c.portador();
    const qint64 agora = agoraMs();
    m_oficina->le([this, conexao, pedido, portador, agora, chegou](Banco&, Atendente& atendente) {
        const Atendente::Resposta r = atendente.historico(Wire::decodifica(pedido), portador, agora);
        naConexao(this, conexao, [r, chegou](ConexaoDoCliente& c) {
            c.responde(Historico::codigoDoPedido, r.bytes, r.desfecho, chegou, r.linhas, r.departamento);
        });
    });
}

// Read and written as `partes` does a search's; the pieces are framed (the request travels
// only in frames), packed when that was agreed.
void Servidor::partesDasMudancas(const QPointer<ConexaoDoCliente>& conexao, const std::shared_ptr<Vazao>& vazao,
                                 const std::shared_ptr<Atendente::ListaDeMudancas>& lista, const QByteArray& pedido,
                                 const Portador& portador, qint64 chegou)
{
    if (!conexao)
        return;
    const qint64 agora = agoraMs();
    const qsizetype pedaco = m_opcoes.pedacoDeResposta;
    const qsizetype limite = m_opcoes.emTransito;
    const ConexaoDoCliente::Forma forma = conexao->formaDosPedacos();
    m_oficina->le([this, conexao, pedido, portador, agora, chegou, vazao, lista, pedaco, limite, forma](Banco&, Atendente& atendente) {
        bool comecou = true;   // a later part follows pieces already sent (a first part says for itself)
        bool primeiro = !pedido.isNull();
        const auto entrega = [&](QByteArray&& bloco) {
            if (vazao->cancelada())
                return false;
            const qsizetype barra = bloco.indexOf('|');
            QByteArray codigo = std::exchange(primeiro, false) ? bloco.left(barra < 0 ? bloco.size() : barra) : QByteArray();
            QByteArray pronto = ConexaoDoCliente::pedacoPronto(forma, bloco);
            lista->leitura.pausar = vazao->entregou(pronto.size(), limite);
            comecou = true;
            naConexao(this, conexao, [pronto = std::move(pronto), codigo = std::move(codigo)](ConexaoDoCliente& c) {
                c.escrevePedaco(QByteArray(), pronto, codigo);
            });
            return true;
        };
        const Atendente::Resposta r = pedido.isNull()
            ? atendente.continuaMudancas(*lista, pedaco, entrega)
            : atendente.mudancasEmPartes(Wire::decodifica(pedido), portador, agora, pedaco, entrega, comecou, *lista);
        if (lista->pausada() && r.bytes.isEmpty()) {
            naConexao(this, conexao, [this, conexao, vazao, lista, portador, chegou](ConexaoDoCliente& c) {
                c.aguardaEscoar([this, conexao, vazao, lista, portador, chegou] {
                    partesDasMudancas(conexao, vazao, lista, QByteArray(), portador, chegou);
                });
            });
            return;
        }
        naConexao(this, conexao, [r, comecou, chegou](ConexaoDoCliente& c) {
            if (comecou && r.bytes == codigo(Codigo::Falha))
                c.falhaNoMeio(Sincronia::codigoDasMudancas, r.desfecho, chegou);
            else
                c.responde(Sincronia::codigoDasMudancas, r.bytes, r.desfecho, chegou, r.linhas, r.departamento);
        });
    }, pedido.isNull());
}

void Servidor::registraAcesso(const QString& acao, const QString& usuario, qint32 idDepartamento, const QString& endereco,
                              const QString& detalhe)
{
    if (!m_oficina)
        return;
    RegistroDoHistorico r;
    r.quandoMs = agoraMs();
    r.acao = acao;
    r.operador = usuario;
    r.idDepartamento = idDepartamento;
    r.endereco = endereco;
    r.detalhe = detalhe;
    m_oficina->registra(std::move(r));
}

void Servidor::atendeLogin(ConexaoDoCliente& c, const QByteArray& bytes)
{
    const qint64 chegou = m_relogio.nsecsElapsed();
    // Across user names: one address cannot spray passwords, nor fill the checks' queue.
    if (!m_baldes.tira(c.chaveDoEndereco(), agoraMs())) {
        avisa(QStringLiteral("logins"), QStringLiteral("%1 logins demais desse endereço (%2 de uma vez, %3 por minuto) -> 0")
                                            .arg(c.nome())
                                            .arg(m_opcoes.rajadaDeLogins)
                                            .arg(m_opcoes.loginsPorMinuto));
        c.responde(Codigo::Login, codigo(Codigo::Falha), QStringLiteral("logins demais desse endereço"), chegou);
        return;
    }
    clsUsuario u;
    try {
        u.fromPipeStringWithCommand(Wire::decodifica(bytes));
    } catch (const ErroDeExecucao&) {
        c.responde(Codigo::Login, codigo(Codigo::Falha), QStringLiteral("login malformado"), chegou);
        return;
    }
    const QString quem = u.usuario.left(40);
    if (!Tls::loginPermitido(m_opcoes.exigirTls, c.cifrada(), c.endereco())) {
        c.responde(Codigo::Login, codigo(Codigo::LoginNegado), QStringLiteral("login de '%1' negado: sem TLS (--exigir-tls)").arg(quem),
                   chegou);
        return;
    }
    if (u.usuario.isEmpty() || u.senha.isEmpty() || u.usuario.size() > 200 || u.senha.size() > 1000) {
        c.responde(Codigo::Login, codigo(Codigo::LoginNegado), QStringLiteral("login de '%1' negado").arg(quem), chegou);
        return;
    }
    if (m_tentativas.bloqueado(u.usuario, c.endereco(), agoraMs())) {
        registraAcesso(Acao::loginRecusado(), quem, 0, c.chaveDoEndereco(), QStringLiteral("tentativas demais"));
        c.responde(Codigo::Login, codigo(Codigo::LoginNegado), QStringLiteral("login de '%1' negado: tentativas demais, aguardando").arg(quem),
                   chegou);
        return;
    }
    // The checks are slow: when too many wait, 0 at once rather than a reply nobody waits for.
    if (!m_filaDeSenhas->entra(c.chaveDoEndereco())) {
        avisa(QStringLiteral("senhas"), QStringLiteral("%1 fila de conferência de senhas cheia (%2 no todo, %3 por endereço) -> 0")
                                            .arg(c.nome())
                                            .arg(m_opcoes.filaDeSenhas)
                                            .arg(m_opcoes.senhasPorEndereco));
        c.responde(Codigo::Login, codigo(Codigo::Falha), QStringLiteral("fila de conferência de senhas cheia"), chegou);
        return;
    }
    const auto vaga = std::make_shared<FilaDeSenhas::Vaga>(m_filaDeSenhas, c.chaveDoEndereco());
    // Charged before the look-up and the (slow) check: parallel attempts cannot pass the rule.
    m_tentativas.cobra(u.usuario, c.endereco(), agoraMs());

    const QPointer<ConexaoDoCliente> conexao(&c);
    const QString usuarioPedido = u.usuario;
    const QString senha = u.senha;
    m_oficina->le([this, conexao, usuarioPedido, senha, chegou, vaga](Banco& armazem, Atendente&) {
        std::optional<Operador> op;
        if (!Cadastro(armazem).operador(usuarioPedido, op)) {
            // No password was checked: neither the operator nor the address pays for a database away.
            const QString porque = QStringLiteral("erro do banco: ") + armazem.ultimoErro();
            naConexao(this, conexao, [this, usuarioPedido, porque, chegou](ConexaoDoCliente& c) {
                m_tentativas.devolve(usuarioPedido, c.endereco());
                m_baldes.devolve(c.chaveDoEndereco(), agoraMs());
                c.responde(Codigo::Login, codigo(Codigo::Falha), porque, chegou);
            });
            return;
        }
        // A disabled operator is refused like an unknown one, after the same work.
        const QString hash = op && op->ativo ? op->hash : QString();
        const std::optional<Departamento> dep = op ? std::optional(op->departamento) : std::nullopt;
        const QString usuario = op ? op->usuario : usuarioPedido;
        m_conferencias.start([this, conexao, hash, dep, usuario, senha, chegou, vaga] {
            bool certa = false;
            if (hash.isEmpty())
                Senhas::confereFicticio(senha);
            else
                certa = Senhas::confere(hash, senha);
            naConexao(this, conexao, [this, dep, usuario, certa, chegou](ConexaoDoCliente& c) {
                loginConferido(c, usuario, certa ? dep : std::nullopt, chegou);
            });
        });
    });
}

void Servidor::loginConferido(ConexaoDoCliente& c, const QString& usuario, const std::optional<Departamento>& dep, qint64 chegouNs)
{
    const QString quem = usuario.left(40);
    if (!dep) {
        registraAcesso(Acao::loginRecusado(), quem, 0, c.chaveDoEndereco(), QString());
        c.responde(Codigo::Login, codigo(Codigo::LoginNegado), QStringLiteral("login de '%1' negado").arg(quem), chegouNs);
        return;
    }
    // The password was right: whatever follows, it is no failed attempt.
    m_tentativas.acertou(usuario, c.endereco());
    bool compartilhada = false;
    const Portador portador = c.preparaSessao(compartilhada);
    const Departamento d = *dep;
    auto erro = std::make_shared<QString>();
    noBanco(
        &c,
        [this, portador, usuario, d, compartilhada, erro](Banco& banco) {
            if (!m_sessoes.abre(portador, usuario, d.id, d.descricao, agoraMs(), &banco, compartilhada))
                *erro = QStringLiteral("erro do banco: ") + banco.ultimoErro();
        },
        [this, conexao = QPointer<ConexaoDoCliente>(&c), usuario, d, erro, quem, chegouNs] {
            ConexaoDoCliente& c = *conexao;
            if (!erro->isEmpty()) {
                c.responde(Codigo::Login, codigo(Codigo::Falha), *erro, chegouNs);
                return;
            }
            m_baldes.devolve(c.chaveDoEndereco(), agoraMs());   // a right password costs the address nothing
            clsUsuario r;
            r.usuario = usuario;   // the password never travels back
            r.departamento.idDepartamento = d.id;
            r.departamento.dsDepartamento = d.descricao;
            registraAcesso(Acao::login(), usuario, d.id, c.chaveDoEndereco(), QString());
            c.responde(Codigo::Login, Wire::codifica(r.toPipeStringWithCommand(Codigo::LoginAceito)),
                       QStringLiteral("login de '%1' aceito, departamento %2").arg(quem).arg(d.id), chegouNs, 1, d.id);
        });
}

void Servidor::noBanco(ConexaoDoCliente* c, std::function<void(Banco&)> tarefa, std::function<void()> depois)
{
    if (depois)
        depois = [conexao = QPointer<ConexaoDoCliente>(c), depois = std::move(depois)] {
            if (conexao && !conexao->desconectada())
                depois();
        };
    m_trabalho.executa(c, std::move(tarefa), std::move(depois));
}
