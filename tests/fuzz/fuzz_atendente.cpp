// Request handling on the server, against a store in memory: any request text gets either
// 0 or the reply its code calls for (a queued change: its outcome), and whatever a change lets
// into the store, the department's whole list still reads back on the client, sheet for sheet.
#include "Comum.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/Sincronia.h"
#include "protocol/modCommands.h"
#include "server/Atendente.h"
#include "server/store/Banco.h"
#include "server/store/Cadastro.h"
#include "server/admin/Esquema.h"
#include "server/store/FichasGravadas.h"
#include "server/Sessoes.h"

#include <QCoreApplication>

namespace {

constexpr qint32 departamento = 1;
const QString descricao = QStringLiteral("Secretaria Geral");

struct Ambiente {
    Banco banco{QStringLiteral("sqlite::memory:")};
    Sessoes sessoes{12LL * 3600'000};
    // The logged-in connection's session.
    Portador portador{Sessoes::chaveDoSegredo(Sessoes::novoSegredo()), QStringLiteral("127.0.0.1"), false};
    Atendente atendente{banco, sessoes};

    Ambiente()
    {
        EXIGE(banco.abre(true) && Esquema(banco).criaEsquema());
        EXIGE(Cadastro(banco).gravaDepartamento({departamento, descricao}));
        EXIGE(Cadastro(banco).gravaDepartamento({2, QStringLiteral("Outro")}));
        for (qint32 n : {3, 5}) {
            clsAgenda f;
            f.numeroFicha = n;
            f.nome = QStringLiteral("Ficha %1 @ sede").arg(n);
            EXIGE(FichasGravadas(banco).insere(departamento, f));
        }
        EXIGE(sessoes.abre(portador, QStringLiteral("operador"), departamento, descricao, 0, nullptr));
    }
};

Ambiente& ambiente()
{
    static Ambiente a;
    return a;
}

bool comecaCom(const QByteArray& r, int codigo)
{
    const QByteArray c = QByteArray::number(codigo);
    return r == c || r.startsWith(c + '|');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho)
{
    Ambiente& a = ambiente();
    const QString pedido = textoDoFio(dados, tamanho);
    bool ok = false;
    const int codigo = pedido.section(u'|', 0, 0).toInt(&ok);
    if (!ok)
        return 0;

    EXIGE(a.banco.iniciaTransacao());
    const Atendente::Resposta r = a.atendente.atende(codigo, pedido, a.portador, 1);
    const QString texto = Wire::decodifica(r.bytes);
    if (r.bytes != "0") {
        switch (codigo) {
        case Codigo::Salva:
            EXIGE(comecaCom(r.bytes, Codigo::Salvo));
            break;
        case Codigo::Inclui:
            EXIGE(comecaCom(r.bytes, Codigo::Incluido));
            break;
        case Codigo::Exclui:
            EXIGE(r.bytes == QByteArray::number(Codigo::Excluido));
            break;
        case Codigo::Busca:
            EXIGE(comecaCom(r.bytes, Codigo::Encontrados) || r.bytes == QByteArray::number(Codigo::NadaEncontrado));
            break;
        case Sincronia::codigoDaMudanca: {
            // A queued change: applied or refused, its outcome names its own id.
            Sincronia::Desfecho d;
            Sincronia::Mudanca m;
            EXIGE(Sincronia::leDesfecho(texto, d) && Sincronia::lePedidoDaMudanca(pedido, m) && d.id == m.id);
            break;
        }
        default:
            EXIGE(false);   // an unknown request is always 0
        }
    }
    // A sheet sent back reads as one sheet of the department the session names.
    if (comecaCom(r.bytes, Codigo::Salvo) || comecaCom(r.bytes, Codigo::Incluido)) {
        clsAgenda f;
        try {
            f.fromPipeStringWithCommand(texto);
        } catch (const ErroDeExecucao&) {
            EXIGE(false);
        }
        EXIGE(f.departamento.dsDepartamento == descricao);
    }
    if (comecaCom(r.bytes, Codigo::Encontrados)) {
        try {
            clsAgenda::collectionFromPipeStringWithCommand(texto);
        } catch (const ErroDeExecucao&) {
            EXIGE(false);
        }
    }
    // Whatever was stored, the whole department still lists, one record per sheet.
    if (r.alterou) {
        qint64 quantas = 0;
        EXIGE(FichasGravadas(a.banco).contaFichas(departamento, quantas));
        clsFiltroBusca todas;
        todas.departamento.idDepartamento = departamento;
        const Atendente::Resposta lista = a.atendente.atende(Codigo::Busca, todas.toPipeStringWithCommand(Codigo::Busca), a.portador, 1);
        if (quantas == 0) {
            EXIGE(lista.bytes == QByteArray::number(Codigo::NadaEncontrado));
        } else {
            try {
                EXIGE(clsAgenda::collectionFromPipeStringWithCommand(Wire::decodifica(lista.bytes)).size() == quantas);
            } catch (const ErroDeExecucao&) {
                EXIGE(false);
            }
        }
    }
    a.banco.desfazTransacao();
    return 0;
}
