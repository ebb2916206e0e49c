#pragma once

// Qt's own texts (context menus, the save dialog and its questions, standard buttons) in
// Brazilian Portuguese, from the translations installed with Qt. Returns false when they are
// not installed; Qt then shows its English texts and nothing else changes.
bool carregaTraducaoDoQt();
