#pragma once
#include <functional>

class QLineEdit;

// Applies a key filter (FiltraNumerico, FiltraAlfabetico or any code -> code function) to a
// text box, as the box's key handling would: typed characters go through the filter one by
// one (0 swallows, another code replaces), navigation and editing keys pass untouched,
// Ctrl+C and Ctrl+V (codes 3 and 22) are blocked unless the filter lets them through, and
// pasted text - keyboard, context menu or middle button - is filtered character by character.
namespace FiltroDeTeclas {

using Filtro = std::function<char16_t(char16_t)>;

struct Numerico {
    bool barra = false, hifen = false, virgula = false, ponto = false, espaco = false, doisPontos = false,
         ctrlC = false, ctrlV = false;
};

struct Alfabetico {
    bool digitos = false, barra = false, hifen = false, virgula = false, ponto = false, espaco = false,
         ctrlC = false, ctrlV = false, maiusculas = false;
};

// The filter lives as long as the box (it is the box's child). Installing again replaces it.
void instala(QLineEdit* caixa, Filtro filtro);
void instalaNumerico(QLineEdit* caixa, Numerico opcoes = {});
void instalaAlfabetico(QLineEdit* caixa, Alfabetico opcoes = {});

} // namespace FiltroDeTeclas
