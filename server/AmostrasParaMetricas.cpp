// What the metrics show that no request counts, sampled by the loop.
#include "server/AmostrasParaMetricas.h"
#include "server/CadeiaDoHistorico.h"
#include "server/Historico.h"
#include "server/Metricas.h"
#include "server/SaudeDoServidor.h"
#include "server/SessoesGravadas.h"

#include <QDateTime>
#include <QTimer>

namespace {

constexpr qint64 sondaS = 5;
constexpr qint64 contagemS = 60;
constexpr qint64 verificacaoS = 24 * 3600;

qint64 agoraMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

AmostrasParaMetricas::AmostrasParaMetricas(Fontes fontes, QObject* pai)
    : QObject(pai),
      m_fontes(std::move(fontes)),
      m_relogio(new QTimer(this)),
      m_sondando(std::make_shared<std::atomic<bool>>(false)),
      m_contando(std::make_shared<std::atomic<bool>>(false)),
      m_verificando(std::make_shared<std::atomic<bool>>(false))
{
    m_relogio->setTimerType(Qt::CoarseTimer);
    connect(m_relogio, &QTimer::timeout, this, &AmostrasParaMetricas::amostra);
    m_relogio->start(1000);
    amostra();
}

AmostrasParaMetricas::~AmostrasParaMetricas() = default;

void AmostrasParaMetricas::amostra()
{
    Metricas::defineConexoes(m_fontes.conexoes());
    const qint64 s = m_segundos++;
    if (s % sondaS == 0)
        pergunta(m_sondando, [](Banco& banco) {
            if (SaudeDoServidor::doBanco(banco) == Saude::Estado::BancoFora)
                return;
            Metricas::bancoRespondeu(agoraMs());
            QList<SessaoGravada> sessoes;
            if (SessoesGravadas(banco).sessoes(sessoes))
                Metricas::defineSessoes(sessoes.size());
        });
    if (s % contagemS == 0)
        pergunta(m_contando, [](Banco& banco) {
            qint64 linhas = 0;
            if (HistoricoGravado(banco).contaLinhas(linhas))
                Metricas::defineHistorico(linhas);
        });
    if (s % verificacaoS == 0)
        pergunta(m_verificando, [](Banco& banco) {
            CadeiaDoHistorico::Verificacao v;
            if (CadeiaDoHistorico::verifica(banco, v) && v.integra)
                Metricas::historicoVerificado(agoraMs());
        });
}

void AmostrasParaMetricas::pergunta(std::shared_ptr<std::atomic<bool>> emCurso, std::function<void(Banco&)> tarefa)
{
    if (emCurso->exchange(true))
        return;
    m_fontes.noBanco([emCurso, tarefa = std::move(tarefa)](Banco& banco) {
        tarefa(banco);
        emCurso->store(false);
    });
}
