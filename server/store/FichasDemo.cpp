#include "server/store/FichasDemo.h"
#include "protocol/FormatoBR.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>

namespace {

// The lists of data/servidor/demo.txt, compiled into the program.
QHash<QString, QStringList> listas()
{
    QHash<QString, QStringList> secoes;
    QFile arquivo(QStringLiteral(":/servidor/demo.txt"));
    if (!arquivo.open(QIODevice::ReadOnly))
        return secoes;
    QString atual;
    for (const QString& linhaBruta : QString::fromUtf8(arquivo.readAll()).split(u'\n')) {
        const QString linha = linhaBruta.trimmed();
        if (linha.isEmpty() || linha.startsWith(u'#'))
            continue;
        if (linha.startsWith(u'[') && linha.endsWith(u']'))
            atual = linha.mid(1, linha.size() - 2);
        else if (!atual.isEmpty())
            secoes[atual] << linha;
    }
    return secoes;
}

class Sorteio {
public:
    explicit Sorteio(quint32 semente) : m_gerador(semente) {}
    // An empty range (a child converted before the age of ten, say) gives its lower end.
    int entre(int menor, int maior) { return maior <= menor ? menor : int(m_gerador.bounded(menor, maior + 1)); }
    bool chance(int porCento) { return entre(1, 100) <= porCento; }
    const QString& um(const QStringList& lista)
    {
        static const QString vazio;
        return lista.isEmpty() ? vazio : lista[entre(0, int(lista.size()) - 1)];
    }
    QDate dataEntre(const QDate& de, const QDate& ate) { return de.addDays(entre(0, int(de.daysTo(ate)))); }
    QString digitos(int n)
    {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QChar(u'0' + entre(0, 9));
        return s;
    }

private:
    QRandomGenerator m_gerador;
};

QString sobrenomeComposto(Sorteio& s, const QStringList& sobrenomes)
{
    QString primeiro = s.um(sobrenomes), segundo = s.um(sobrenomes);
    while (segundo == primeiro && sobrenomes.size() > 1)
        segundo = s.um(sobrenomes);
    const QString ligacao = s.chance(20) ? (s.chance(50) ? QStringLiteral(" de ") : QStringLiteral(" da ")) : QStringLiteral(" ");
    return primeiro + ligacao + segundo;
}

// As in a real registry, a few sheets carry no usable birth date: the "." the sheet windows
// put in an empty box, an empty box, or a date mistyped long ago. A generator of its own, so
// that every other field stays what the seed always gave.
void marcaNascimentosFaltando(QList<clsAgenda>& fichas, quint32 semente)
{
    QRandomGenerator g(semente ^ 0x6e617363u);
    static const char* const errados[] = {"31/02/1978", "00/00/0000", "15/13/1982", "29/02/1981", "31/06/1990",
                                          "12/08/19", "30/04/196O"};
    for (clsAgenda& f : fichas) {
        const int sorte = int(g.bounded(100));
        if (sorte < 2)
            f.nascido = QStringLiteral(".");
        else if (sorte < 3)
            f.nascido.clear();
        else if (sorte < 4)
            f.nascido = QString::fromLatin1(errados[g.bounded(int(std::size(errados)))]);
        else
            continue;
        f.niver = f.nascido;
    }
}

} // namespace

namespace FichasDemo {

QList<clsAgenda> gera(int quantas, quint32 semente)
{
    const QHash<QString, QStringList> l = listas();
    const QStringList& femininos = l[QStringLiteral("femininos")];
    const QStringList& masculinos = l[QStringLiteral("masculinos")];
    const QStringList& sobrenomes = l[QStringLiteral("sobrenomes")];
    Sorteio s(semente);
    const QDate hoje(2025, 6, 30);   // fixed, so the same seed gives the same sheets every year

    QList<clsAgenda> fichas;
    fichas.reserve(quantas);
    for (int i = 0; i < quantas; ++i) {
        clsAgenda f;
        const bool mulher = s.chance(55);
        const QString familia = sobrenomeComposto(s, sobrenomes);
        f.nome = (mulher ? s.um(femininos) : s.um(masculinos)) + (s.chance(30) ? QLatin1Char(' ') + s.um(mulher ? femininos : masculinos) : QString())
                 + QLatin1Char(' ') + familia;
        f.endereco = s.um(l[QStringLiteral("ruas")]);
        f.n = QString::number(s.entre(1, 2500));
        f.bairro = s.um(l[QStringLiteral("bairros")]);
        const QStringList cidade = s.um(l[QStringLiteral("cidades")]).split(u'|');
        f.cidade = cidade.value(0);
        f.uf = cidade.value(1);
        // Digits only, as the client saves a post code.
        f.cep = cidade.value(2).left(2) + s.digitos(6);
        const QString ddd = f.uf == QLatin1String("SP") ? QStringLiteral("11") : QString::number(s.entre(21, 98));
        f.telResidencial = ddd + QString::number(s.entre(2, 5)) + s.digitos(7);
        if (s.chance(40))
            f.telComercial = ddd + QString::number(s.entre(3, 4)) + s.digitos(7);
        f.fone = ddd + QLatin1Char('9') + s.digitos(8);

        const QDate cadastro = s.dataEntre(QDate(2016, 1, 4), hoje);
        f.Data = cadastro;
        f.Valor = s.entre(1, 60) * 10 + (s.chance(30) ? 0.5 : 0.0);
        f.registro = QStringLiteral("MEMBROS");
        // The member's card number: year of registration and a sequence ("20190042").
        f.sistema = QStringLiteral("%1%2").arg(cadastro.year()).arg(i + 1, 4, 10, QLatin1Char('0'));
        f.Ficha = QString::number(i + 1);

        const QDate nascimento = s.dataEntre(QDate(1940, 1, 1), QDate(2010, 12, 31));
        f.nascido = FormatoBR::formataData(nascimento);
        f.niver = f.nascido;
        const QStringList natal = s.um(l[QStringLiteral("cidades")]).split(u'|');
        f.nascidade = natal.value(0);
        f.uf2 = natal.value(1);
        f.filiacao = s.um(masculinos) + QLatin1Char(' ') + familia;
        f.filiacaomae = s.um(femininos) + QLatin1Char(' ') + s.um(sobrenomes) + QLatin1Char(' ') + familia.section(u' ', -1);
        const int idade = nascimento.daysTo(hoje) / 365;
        if (idade >= 20 && s.chance(60)) {
            f.civil = mulher ? QStringLiteral("Casada") : QStringLiteral("Casado");
            f.conjugue = (mulher ? s.um(masculinos) : s.um(femininos)) + QLatin1Char(' ') + familia;
            f.datacas = FormatoBR::formataData(nascimento.addYears(s.entre(19, std::min(idade, 40))));
            const int filhos = s.entre(0, 4);
            f.filhos = QString::number(filhos);
            const int maiores = idade > 45 ? s.entre(0, filhos) : 0;
            f.maiores = QString::number(maiores);
            f.menores = QString::number(filhos - maiores);
        } else {
            f.civil = idade > 70 && s.chance(30) ? (mulher ? QStringLiteral("Viúva") : QStringLiteral("Viúvo"))
                                                 : (mulher ? QStringLiteral("Solteira") : QStringLiteral("Solteiro"));
            f.filhos = QStringLiteral("0");
        }
        f.grau = idade < 18 ? QStringLiteral("Fundamental") : s.um({QStringLiteral("Fundamental"), QStringLiteral("Médio"), QStringLiteral("Superior")});
        f.profissao = idade < 18 ? QStringLiteral("Estudante") : s.um(l[QStringLiteral("profissoes")]);
        f.rg = s.digitos(2) + QLatin1Char('.') + s.digitos(3) + QLatin1Char('.') + s.digitos(3) + QLatin1Char('-') + s.digitos(1);
        f.cic = s.digitos(3) + QLatin1Char('.') + s.digitos(3) + QLatin1Char('.') + s.digitos(3) + QLatin1Char('-') + s.digitos(2);
        f.titulo = s.digitos(12);
        f.zona = s.digitos(3);
        f.secao = s.digitos(4);

        const QDate conversao = s.dataEntre(nascimento.addYears(10), cadastro);
        f.datacons = FormatoBR::formataData(conversao);
        const QDate batismo = conversao.addDays(s.entre(30, 400));
        f.dia = QString::number(batismo.day());
        f.mes = QString::number(batismo.month());
        f.ano = QString::number(batismo.year());
        f.batismo2 = s.chance(60) ? QStringLiteral("Sim") : QStringLiteral("Não");
        f.consagrado = s.chance(15) ? QStringLiteral("Sim") : QStringLiteral("Não");
        f.admitidopor = s.um({QStringLiteral("Aclamação"), QStringLiteral("Batismo"), QStringLiteral("Batismo"), QStringLiteral("Carta")});
        f.em = FormatoBR::formataData(cadastro);
        f.dataadmissao = f.em;
        f.validade = FormatoBR::formataData(cadastro.addYears(2));
        f.jafoimembro = s.chance(10) ? QStringLiteral("Sim") : QStringLiteral("Não");
        if (s.chance(10))
            f.obs = QStringLiteral("Veio transferido de outra congregação com carta de recomendação.");

        const QStringList cong = s.um(l[QStringLiteral("congregacoes")]).split(u'|');
        f.codcong = cong.value(0);
        f.IGREJA = cong.value(1);
        f.local1 = cong.value(1);
        f.setor = cong.value(2);
        f.setornome = cong.value(3);
        f.cidadecong = cong.value(4);
        f.ufcong = cong.value(5);
        const QStringList status = s.um(l[QStringLiteral("status")]).split(u'|');
        f.statuscod = status.value(0);
        f.status = status.value(1);
        f.usuario = QStringLiteral("admin");
        f.datausuario = FormatoBR::formataData(cadastro);
        f.datausuariohora = QStringLiteral("%1:%2:%3").arg(s.entre(8, 17), 2, 10, QLatin1Char('0'))
                                .arg(s.entre(0, 59), 2, 10, QLatin1Char('0')).arg(s.entre(0, 59), 2, 10, QLatin1Char('0'));
        fichas.append(std::move(f));
    }
    marcaNascimentosFaltando(fichas, semente);
    return fichas;
}

} // namespace FichasDemo
