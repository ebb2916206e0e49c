#pragma once
#include "protocol/clsAgenda.h"

#include <QString>
#include <array>

// The ten texts of a membership card, in printing order. One row per text: the stem of its
// layout settings (stem + "x"/"y" + card number), its caption in the layout window, the box
// that shows it on card 1 and on cards 2 to 5, and the member property behind it.
struct CampoDaCarteira {
    const char* campo;                  // "nome": settings nomex1, nomey1, ... nomey5
    const char* legenda;                // caption in the layout window
    const char* caixaCarteira1;         // box of card 1 (part of the sheet)
    const char* caixaCarteiraK;         // box of card k (2..5): "%1" is the card number
    QString clsAgenda::* propriedade;   // what the box shows
};

inline constexpr int carteirasPorFolha = 5;
inline constexpr int camposPorCarteira = 10;

inline const std::array<CampoDaCarteira, camposPorCarteira>& camposDaCarteira()
{
    static const std::array<CampoDaCarteira, camposPorCarteira> campos{{
        {"ficha", "Ficha", "txtNFicha", "txtNFicha%1", &clsAgenda::sistema},
        {"nome", "Nome", "txtNome", "txtNome%1", &clsAgenda::nome},
        {"civil", "Est. Civil", "txtcivil", "txtcivil%1", &clsAgenda::civil},
        {"dataadmissao", "Adimissão", "txtdataadmissao", "txtdataadmissao%1", &clsAgenda::dataadmissao},
        {"rg", "RG", "txtrg", "txtrg%1", &clsAgenda::rg},
        {"fichaverso", "Ficha Verso", "txtNFichaverso", "txtNFicha%1VERSO", &clsAgenda::sistema},
        {"validade", "Validade", "txtvalidade", "txtvalidade%1", &clsAgenda::validade},
        {"igreja", "Igreja", "txtIGREJA", "txtIGREJA%1", &clsAgenda::IGREJA},
        {"ufcong", "UF Cong", "txtufcong", "txtufcong%1", &clsAgenda::ufcong},
        {"setornome", "Setor ", "txtcidadecong", "txtcidadecong%1", &clsAgenda::setornome},
    }};
    return campos;
}

// Name of the box that shows `campo` on card `carteira` (1..5).
inline QString caixaDaCarteira(const CampoDaCarteira& campo, int carteira)
{
    return carteira == 1 ? QString::fromLatin1(campo.caixaCarteira1)
                         : QString::fromLatin1(campo.caixaCarteiraK).arg(carteira);
}

// Layout setting names of card `carteira`.
inline QString colunaDoCampo(const CampoDaCarteira& campo, int carteira)
{
    return QStringLiteral("%1x%2").arg(QLatin1String(campo.campo)).arg(carteira);
}
inline QString linhaDoCampo(const CampoDaCarteira& campo, int carteira)
{
    return QStringLiteral("%1y%2").arg(QLatin1String(campo.campo)).arg(carteira);
}
inline QString fonteDaCarteira(int carteira)
{
    return QStringLiteral("fonte%1").arg(carteira);
}
