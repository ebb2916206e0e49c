// Member lists on the wire: parse the Windows-1252 bytes of a 10,000-sheet search reply
// into records, write the records back to bytes, and a plain copy of the same bytes.
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"

#include <benchmark/benchmark.h>

#include <QRandomGenerator>
#include <cstring>

namespace {

constexpr int quantidade = 10000;

QList<clsAgenda> fichas()
{
    static const QStringList nomes = {QStringLiteral("José"), QStringLiteral("Maria"), QStringLiteral("João"),
                                      QStringLiteral("Ana Cláudia"), QStringLiteral("Sebastião"),
                                      QStringLiteral("Conceição"), QStringLiteral("Antônio"), QStringLiteral("Lúcia")};
    static const QStringList sobrenomes = {QStringLiteral("da Silva"), QStringLiteral("Gonçalves"),
                                           QStringLiteral("Araújo"), QStringLiteral("de Assunção"),
                                           QStringLiteral("Magalhães"), QStringLiteral("Brandão")};
    static const QStringList ruas = {QStringLiteral("Rua São João"), QStringLiteral("Avenida Paulista"),
                                     QStringLiteral("Travessa da Conceição"), QStringLiteral("Rua Açaí")};
    static const QStringList cidades = {QStringLiteral("São Paulo"), QStringLiteral("Ribeirão Preto"),
                                        QStringLiteral("Maringá"), QStringLiteral("Belém")};
    QRandomGenerator r(1899);
    QList<clsAgenda> lista;
    lista.reserve(quantidade);
    for (int i = 0; i < quantidade; ++i) {
        clsAgenda a;
        a.numeroFicha = 1000 + i;
        a.nome = nomes[r.bounded(nomes.size())] + u' ' + sobrenomes[r.bounded(sobrenomes.size())];
        a.endereco = ruas[r.bounded(ruas.size())];
        a.n = QString::number(r.bounded(2000));
        a.bairro = QStringLiteral("Jardim Paulistânia");
        a.cidade = cidades[r.bounded(cidades.size())];
        a.cep = QStringLiteral("01%1-000").arg(r.bounded(1000), 3, 10, QLatin1Char('0'));
        a.uf = QStringLiteral("SP");
        a.telResidencial = QStringLiteral("11%1").arg(30000000 + r.bounded(9999999));
        a.telComercial = QStringLiteral("11%1").arg(30000000 + r.bounded(9999999));
        a.Data = QDate(1990 + r.bounded(30), 1 + r.bounded(12), 1 + r.bounded(28));
        a.Valor = r.bounded(500000) / 100.0;
        a.IGREJA = QStringLiteral("Sede");
        a.registro = QStringLiteral("MEMBROS");
        a.civil = QStringLiteral("Casado(a)");
        a.nascido = QStringLiteral("12/05/1970");
        a.niver = a.nascido;
        a.nascidade = QStringLiteral("Itajubá");
        a.uf2 = QStringLiteral("MG");
        a.filiacao = QStringLiteral("Sebastião Gonçalves");
        a.filiacaomae = QStringLiteral("Maria da Conceição Gonçalves");
        a.conjugue = QStringLiteral("Antônia Araújo");
        a.datacas = QStringLiteral("03/02/1995");
        a.filhos = QStringLiteral("3");
        a.grau = QStringLiteral("Ensino Médio");
        a.profissao = QStringLiteral("Técnico em Eletrônica");
        a.firma = QStringLiteral("Metalúrgica São Jorge Ltda.");
        a.endfirma = QStringLiteral("Rodovia Anhangüera, km 25");
        a.rg = QStringLiteral("12.345.678-9");
        a.cic = QStringLiteral("123.456.789-00");
        a.titulo = QStringLiteral("1234 5678 9012");
        a.zona = QStringLiteral("245");
        a.secao = QStringLiteral("0123");
        a.consagrado = QStringLiteral("Não");
        a.admitidopor = QStringLiteral("Aclamação");
        a.em = QStringLiteral("10/10/2001");
        a.obs = QStringLiteral("Transferido da congregação de Vila Esperança; participa do coral às quintas-feiras "
                               "e colabora na escola dominical.");
        a.dataadmissao = QStringLiteral("10/10/2001");
        a.validade = QStringLiteral("31/12/2026");
        a.codcong = QString::number(r.bounded(40));
        a.setornome = QStringLiteral("Setor Leste");
        a.cidadecong = a.cidade;
        a.ufcong = QStringLiteral("SP");
        a.usuario = QStringLiteral("secretaria");
        a.datausuario = QStringLiteral("14/03/2024");
        a.datausuariohora = QStringLiteral("10:42:07");
        a.status = QStringLiteral("Ativo");
        a.statuscod = QStringLiteral("1");
        a.departamento.idDepartamento = 3;
        a.departamento.dsDepartamento = QStringLiteral("Secretaria Geral");
        lista.append(std::move(a));
    }
    return lista;
}

const QList<clsAgenda>& lista()
{
    static const QList<clsAgenda> l = fichas();
    return l;
}

const QByteArray& bytesDaLista()
{
    static const QByteArray b = Wire::codifica(clsAgenda::collectionToPipeString(lista()));
    return b;
}

void BM_LeLista(benchmark::State& estado)
{
    const QByteArray& bytes = bytesDaLista();
    for (auto _ : estado) {
        QList<clsAgenda> l = clsAgenda::collectionFromPipeString(Wire::decodifica(bytes));
        benchmark::DoNotOptimize(l.data());
    }
    estado.SetBytesProcessed(estado.iterations() * bytes.size());
    estado.counters["registros"] = quantidade;
    estado.counters["bytes_por_registro"] = double(bytes.size()) / quantidade;
}

void BM_EscreveLista(benchmark::State& estado)
{
    const QList<clsAgenda>& l = lista();
    const qsizetype tamanho = bytesDaLista().size();
    for (auto _ : estado) {
        QByteArray b = Wire::codifica(clsAgenda::collectionToPipeString(l));
        benchmark::DoNotOptimize(b.data());
    }
    estado.SetBytesProcessed(estado.iterations() * tamanho);
}

void BM_CopiaSimples(benchmark::State& estado)
{
    const QByteArray& bytes = bytesDaLista();
    QByteArray destino(bytes.size(), Qt::Uninitialized);
    for (auto _ : estado) {
        std::memcpy(destino.data(), bytes.constData(), size_t(bytes.size()));
        benchmark::DoNotOptimize(destino.data());
        benchmark::ClobberMemory();
    }
    estado.SetBytesProcessed(estado.iterations() * bytes.size());
}

} // namespace

BENCHMARK(BM_LeLista)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EscreveLista)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopiaSimples)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
