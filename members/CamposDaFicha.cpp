#include "members/CamposDaFicha.h"
#include "app/Implantacao.h"

namespace CamposDaFicha {

namespace {

using C = ControleDaFicha;
using T = ControleDaFicha::Tipo;
using V = ControleDaFicha::Conversao;
using F = ControleDaFicha::Filtro;
using A = clsAgenda;
namespace Acao = AcaoDaFicha;

constexpr unsigned NC = Acao::IncluiNovo | Acao::IncluiCadastro;

C linha(const char* nome, T tipo, const QString& rotulo, V conversao, QString clsAgenda::* propriedade)
{
    C c;
    c.nome = QString::fromLatin1(nome);
    c.tipo = tipo;
    c.rotulo = rotulo;
    c.conversao = conversao;
    c.mostra = propriedade;
    c.grava[0] = propriedade;
    c.copia = conversao == V::Nenhuma ? Acao::Nenhuma : Acao::Todas;
    return c;
}

// A text box showing and writing one property as stored.
C texto(const char* nome, const QString& rotulo, QString clsAgenda::* p)
{
    return linha(nome, T::Texto, rotulo, V::Texto, p);
}
// An editable drop-down list showing and writing one property.
C lista(const char* nome, const QString& rotulo, QString clsAgenda::* p)
{
    return linha(nome, T::Lista, rotulo, V::Texto, p);
}
// A date kept as text in the record.
C data(const char* nome, const QString& rotulo, QString clsAgenda::* p)
{
    return linha(nome, T::Texto, rotulo, V::DataTexto, p).comMarcador(QStringLiteral("__/__/____"), Acao::IncluiNovo);
}
C titulo(const char* nome, const QString& texto)
{
    return linha(nome, T::Titulo, texto, V::Nenhuma, nullptr);
}
C erro(const char* nome)
{
    return linha(nome, T::Erro, QString(), V::Nenhuma, nullptr);
}

const QString ponto = QStringLiteral(".");

} // namespace

QList<ControleDaFicha> padrao()
{
    const QString perguntaMembro =
        QStringLiteral("Já foi membro da %1 ?").arg(Implantacao::organizacao());

    QList<C> t = {
        // line 0: number, record kind, department
        linha("txtNFicha", T::Texto, QStringLiteral("N. Ficha:"), V::NumeroFicha, nullptr)
            .copiadoEm(Acao::IncluiCadastro).na(0, 9),
        linha("txtregistro", T::Rotulo, QString(), V::Registro, &A::registro).na(0, 10),
        linha("txtDepartamento", T::Texto, QStringLiteral("-  SETOR:"), V::Departamento, nullptr)
            .gravaEm(&A::setornome).na(0),
        // congregation (lookup)
        titulo("lblSelecioneCongregacao", QStringLiteral("SELECIONE  ABAIXO  A  CONGREGAÇÃO  DESEJADA")).na(1),
        lista("txtIGREJA", QStringLiteral("Igreja :"), &A::IGREJA).comMarcador(ponto).limpa().na(2),
        texto("txtcodcong", QString(), &A::codcong).comMarcador(QStringLiteral("0")).na(2, 4),
        texto("txtsetor", QString(), &A::setor).na(2, 4),
        linha("txtsetornome", T::Texto, QString(), V::Nenhuma, nullptr).limpa().na(2, 18),
        texto("txtcidadecong", QString(), &A::cidadecong).comMarcador(ponto).na(2, 18),
        texto("txtufcong", QString(), &A::ufcong).comMarcador(QStringLiteral("SP")).na(2, 3),
        // person
        texto("txtNome", QStringLiteral("Nome:"), &A::nome).max(100).comMarcador(ponto).comFiltro(F::Nome).limpa().na(3),
        texto("txtendereco", QStringLiteral("Endereço :"), &A::endereco).comMarcador(ponto).limpa().na(4),
        texto("txtn", QStringLiteral("Numero :"), &A::n).comMarcador(ponto).limpa().na(4, 7),
        texto("txtbairro", QStringLiteral("Bairro :"), &A::bairro).comMarcador(ponto).comFiltro(F::LetrasDigitos).limpa().na(4, 22),
        texto("txtcivil", QStringLiteral("Estado Civil :"), &A::civil).comMarcador(ponto).limpa().na(5, 12),
        texto("txtfone", QStringLiteral("Fone :"), &A::fone).comMarcador(ponto).limpa().na(5, 13),
        linha("txtcep", T::Texto, QStringLiteral("Cep :"), V::Cep, &A::cep)
            .comMarcador(QStringLiteral("00000-000")).comFiltro(F::Digitos).limpa().na(5, 10),
        texto("txtcidade", QStringLiteral("Cidade :"), &A::cidade).comMarcador(ponto).comFiltro(F::LetrasDigitos).limpa().na(5),
        texto("txtuf", QStringLiteral("UF :"), &A::uf).max(2).comMarcador(ponto).comFiltro(F::UF).limpa().na(5, 3),
        data("txtnascido", QStringLiteral("Nascido em :"), &A::nascido).gravaEm(&A::nascido, &A::niver).limpa().na(6, 10),
        texto("txtnascidade", QStringLiteral("Cidade :"), &A::nascidade).comMarcador(ponto).limpa().na(6),
        texto("txtuf2", QStringLiteral("/"), &A::uf2).comMarcador(ponto).limpa().na(6, 3),
        texto("txtrg", QStringLiteral("RG :"), &A::rg).comMarcador(ponto).limpa().na(6, 14),
        texto("txtcic", QStringLiteral("CIC :"), &A::cic).comMarcador(ponto).limpa().na(6, 14),
        texto("txtconjugue", QStringLiteral("Cônjugue :"), &A::conjugue).comMarcador(ponto).limpa().na(7),
        texto("txtfiliacao", QStringLiteral("Filiação Pai:"), &A::filiacao).comMarcador(ponto).limpa().na(7),
        texto("txtgrau", QStringLiteral("Grau de Instrução :"), &A::grau).comMarcador(ponto).limpa().na(8, 14),
        texto("txtprofissao", QStringLiteral("Profissão :"), &A::profissao).comMarcador(ponto).limpa().na(8, 16),
        texto("txtfiliacaomae", QStringLiteral("Filiação Mãe:"), &A::filiacaomae).comMarcador(ponto).limpa().na(8),
        texto("txtfirma", QStringLiteral("Nome Firma:"), &A::firma).comMarcador(ponto).limpa().na(9),
        data("txtdatacas", QStringLiteral("Casamento:"), &A::datacas).limpa().na(9, 10),
        texto("txtfilhos", QStringLiteral(" Filhos :"), &A::filhos).comMarcador(ponto).limpa().na(9, 3),
        texto("txtmaiores", QStringLiteral("Maiores :"), &A::maiores).comMarcador(ponto).limpa().na(9, 3),
        texto("txtmenores", QStringLiteral("Menores"), &A::menores).comMarcador(ponto).limpa().na(9, 3),
        texto("txttitulo", QStringLiteral("Titulo de Eleitor :"), &A::titulo).comMarcador(ponto).limpa().na(10, 14),
        texto("txtzona", QStringLiteral("Zona :"), &A::zona).comMarcador(ponto).limpa().na(10, 5),
        texto("txtsecao", QStringLiteral("Seção :"), &A::secao).comMarcador(ponto).limpa().na(10, 5),
        linha("txtend", T::Texto, QStringLiteral("End. Firma :"), V::Texto, &A::endfirma).comMarcador(ponto).limpa().na(10),
        // church history
        texto("txtconsagrado", QStringLiteral("Foi Consagrado por algum Ministério :"), &A::consagrado)
            .comMarcador(ponto).limpa().na(11, 14),
        texto("txtqual", QStringLiteral("Qual :"), &A::qual).comMarcador(ponto).limpa().na(11),
        data("txtdatacons", QStringLiteral("Data de Conversão :"), &A::datacons).limpa().na(12, 10),
        data("txtbatismo2", QStringLiteral("Batismo no Esp.Santo :"), &A::batismo2).limpa().na(12, 10),
        texto("txtlocal1", QStringLiteral("Local :"), &A::local1).limpa().na(12),
        lista("txtdia", QStringLiteral("Batismo nas Aguas :"), &A::dia).comMarcador(ponto).limpa().na(13, 5),
        lista("txtmes", QString(), &A::mes).comMarcador(ponto).limpa().na(13, 5),
        lista("txtano", QString(), &A::ano).comMarcador(ponto).limpa().na(13, 7),
        texto("txtlocal2", QStringLiteral("Local :"), &A::local2).comMarcador(ponto).limpa().na(13),
        lista("txtadmitido", QStringLiteral("Admitido Por  :"), &A::admitidopor).comMarcador(ponto).limpa().na(14, 14),
        data("txtem", QStringLiteral("Em :"), &A::em).limpa().na(14, 10),
        texto("txtondefoi", QStringLiteral("Onde foi consagrado e por quem :"), &A::ondefoi).comMarcador(ponto).limpa().na(14),
        texto("txtjafoimembro", perguntaMembro, &A::jafoimembro).comMarcador(ponto).limpa().na(15),
        titulo("lblOcorrencia", QStringLiteral("Ocorrência:")).na(16),
        linha("txtOcorrencia", T::Memo, QStringLiteral("Observação :"), V::Texto, &A::obs)
            .gravaEm(&A::ocorrencia, &A::obs).comMarcador(ponto).limpa().na(17),
        data("txtdataadmissao", QStringLiteral("Data de Admissão :"), &A::dataadmissao).limpa().na(18, 10),
        data("txtvalidade", QStringLiteral("Validade Carteirinha:"), &A::validade).limpa().na(18, 10),
        // status (lookup), the two mandatory fields
        titulo("lblSelecioneStatus", QStringLiteral("SELECIONE  ABAIXO  O  STATUS DO MEMBRO")).na(19),
        lista("txtstatus", QStringLiteral("Status :"), &A::status).comMarcador(ponto, Acao::IncluiNovo).na(20, 16),
        texto("txtstatuscod", QString(), &A::statuscod).max(100).comMarcador(QStringLiteral("0"), Acao::IncluiNovo).na(20, 4),
        linha("txtData", T::Texto, QStringLiteral("Data*:"), V::DataDaFicha, nullptr).max(10).comFiltro(F::Data).na(20, 10),
        erro("lblDataErro").na(20, 24),
        linha("txtValor", T::Texto, QStringLiteral("Valor*:"), V::Valor, nullptr).comFiltro(F::Valor).na(20, 12),
        erro("lblValorErro").na(20, 20),
        // phones (area code and number), system data, operator stamp
        linha("txtTelResDDD", T::Texto, QStringLiteral("Tel. Res.:"), V::DDD, &A::telResidencial).max(2).comFiltro(F::Digitos).na(21, 3),
        linha("txtTelRes", T::Texto, QStringLiteral("-"), V::Telefone, &A::telResidencial).max(10).comFiltro(F::Digitos).na(21, 10),
        linha("txtTelComDDD", T::Texto, QStringLiteral("Tel. Com.:"), V::DDD, &A::telComercial).max(2).comFiltro(F::Digitos).na(21, 3),
        linha("txtTelCom", T::Texto, QStringLiteral("-"), V::Telefone, &A::telComercial).max(10).comFiltro(F::Digitos).na(21, 10),
        texto("TXTSISTEMA", QString(), &A::sistema).copiadoEm(NC).na(21, 8),
        texto("txtficha", QString(), &A::Ficha).limpa().na(21, 8),
        linha("txtusuario", T::Texto, QString(), V::Usuario, &A::usuario).na(22),
        linha("txtdatausuario", T::Calendario, QString(), V::DataUsuario, &A::datausuario).na(22, 12),
        linha("txtdatausuariohora", T::Relogio, QString(), V::HoraUsuario, &A::datausuariohora).na(22, 10),
        linha("txtNFicha2", T::Texto, QString(), V::Nenhuma, nullptr).na(22, 9),
    };

    altera(t, QStringLiteral("txtTelResDDD"), [](C& c) { c.parceiro = QStringLiteral("txtTelRes"); c.grava[0] = &A::telResidencial; });
    altera(t, QStringLiteral("txtTelComDDD"), [](C& c) { c.parceiro = QStringLiteral("txtTelCom"); c.grava[0] = &A::telComercial; });
    // The number box is written by its area-code row.
    for (C& c : t)
        if (c.conversao == V::Telefone)
            c.grava[0] = nullptr;
    altera(t, QStringLiteral("txtadmitido"), [](C& c) {
        c.itens = {QStringLiteral("Aclamação"), QStringLiteral("Batismo"), QStringLiteral("Carta")};
    });
    altera(t, QStringLiteral("txtDepartamento"), [](C& c) { c.somenteLeitura = true; c.semTab = true; });
    altera(t, QStringLiteral("txtusuario"), [](C& c) { c.somenteLeitura = true; });
    for (const char* n : {"txtcodcong", "txtsetor", "txtsetornome"})
        altera(t, QString::fromLatin1(n), [](C& c) { c.semBorda = true; c.semTab = true; });
    altera(t, QStringLiteral("txtsetor"), [](C& c) { c.alinhadoADireita = true; });
    for (const char* n : {"txtuf", "txtuf2", "txtfilhos", "txtmaiores", "txtmenores"})
        altera(t, QString::fromLatin1(n), [](C& c) { c.centralizado = true; });
    for (const char* n : {"txtmaiores", "txtmenores"})
        altera(t, QString::fromLatin1(n), [](C& c) { c.rotuloADireita = true; });
    for (const char* n : {"TXTSISTEMA", "txtficha"})
        altera(t, QString::fromLatin1(n), [](C& c) { c.foraDoSalVar = true; });
    return t;
}

void remove(QList<ControleDaFicha>& campos, std::initializer_list<const char*> nomes)
{
    for (const char* nome : nomes) {
        const QString n = QString::fromLatin1(nome);
        campos.removeIf([&](const ControleDaFicha& c) { return c.nome == n; });
    }
}

void altera(QList<ControleDaFicha>& campos, const QString& nome, const std::function<void(ControleDaFicha&)>& mudanca)
{
    for (ControleDaFicha& c : campos)
        if (c.nome == nome)
            mudanca(c);
}

void insere(QList<ControleDaFicha>& campos, const QString& depoisDe, const ControleDaFicha& novo)
{
    for (qsizetype i = 0; i < campos.size(); ++i)
        if (campos[i].nome == depoisDe) {
            campos.insert(i + 1, novo);
            return;
        }
    campos.append(novo);
}

} // namespace CamposDaFicha
