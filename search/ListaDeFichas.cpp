#include "search/ListaDeFichas.h"
#include "protocol/FormatoBR.h"
#include "protocol/modCommands.h"

#include <array>

namespace {

const QString& origem()
{
    static const QString o = QString::fromLatin1(clsAgenda::nomeDaClasse);
    return o;
}

// Piece k of a sheet (k counted from 0), or an empty view with ok=false when it has fewer.
QStringView peca(QStringView ficha, int k, bool& ok)
{
    qsizetype inicio = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype barra = ficha.indexOf(u'|', inicio);
        if (barra < 0) {
            ok = false;
            return {};
        }
        inicio = barra + 1;
    }
    const qsizetype fim = ficha.indexOf(u'|', inicio);
    ok = true;
    return fim < 0 ? ficha.mid(inicio) : ficha.mid(inicio, fim - inicio);
}

constexpr int pecaNumero = 0;
constexpr int pecaNome = 1;
constexpr int pecaData = 9;
constexpr int pecaDepartamento = 65;   // its idDepartamento, first of the department's two

} // namespace

ListaDeFichas::ListaDeFichas(const QString& resposta) : m_texto(resposta)
{
    QStringView carga;
    separaComando(QStringView(m_texto), carga);
    if (carga.isEmpty())
        return;
    const qsizetype base = carga.data() - QStringView(m_texto).data();
    qsizetype quantas = 1;
    for (qsizetype p = clsAgenda::proximoSeparador(carga, 0); p >= 0; p = clsAgenda::proximoSeparador(carga, p + 3))
        ++quantas;
    m_inicios.reserve(quantas);
    m_fins.reserve(quantas);
    qsizetype inicio = 0;
    for (;;) {
        const qsizetype fim = clsAgenda::proximoSeparador(carga, inicio);
        const QStringView f = fim < 0 ? carga.mid(inicio) : carga.mid(inicio, fim - inicio);
        // The bars of the sheet's 67 pieces, found in one pass.
        std::array<qsizetype, clsAgenda::pecasNoFio - 1> barras;
        int nBarras = 0;
        const char16_t* c = f.utf16();
        for (qsizetype i = 0, n = f.size(); i < n && nBarras < int(barras.size()); ++i)
            if (c[i] == u'|')
                barras[size_t(nBarras++)] = i;
        if (f.isEmpty() || nBarras < int(barras.size())) {
            // Too few pieces: the parser says which one is missing, as a full read would.
            clsAgenda().fromPipeString(f);
        } else {
            const auto pecaK = [&](int k) {
                const qsizetype de = k == 0 ? 0 : barras[size_t(k - 1)] + 1;
                return f.mid(de, barras[size_t(k)] - de);
            };
            FormatoBR::converteInteiro(pecaK(pecaNumero), origem());
            FormatoBR::converteData(pecaK(pecaData), origem());
            FormatoBR::converteInteiro(pecaK(pecaDepartamento), QStringLiteral("clsDepartamento"));
        }
        m_inicios.append(base + inicio);
        m_fins.append(base + (fim < 0 ? carga.size() : fim));
        if (fim < 0)
            break;
        inicio = fim + clsAgenda::separador.size();
    }
}

QStringView ListaDeFichas::ficha(qsizetype i) const
{
    return QStringView(m_texto).mid(m_inicios.at(i), m_fins.at(i) - m_inicios.at(i));
}

clsAgenda ListaDeFichas::at(qsizetype i) const
{
    clsAgenda membro;
    membro.fromPipeString(ficha(i));
    return membro;
}

QString ListaDeFichas::linha(qsizetype i) const
{
    const QStringView f = ficha(i);
    bool ok = false;
    const QStringView numero = peca(f, pecaNumero, ok);
    const QStringView nome = peca(f, pecaNome, ok);
    const QStringView data = peca(f, pecaData, ok);
    QString linha;
    linha.reserve(numero.size() + nome.size() + 12);
    linha += QString::number(FormatoBR::converteInteiro(numero, origem()));
    linha += u'\t';
    linha += FormatoBR::formataData(FormatoBR::converteData(data, origem()));
    linha += u'\t';
    linha += nome;
    return linha;
}
