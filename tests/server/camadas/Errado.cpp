// A store unit that reaches up into the request handling: the build must refuse it.
#include "server/store/Banco.h"
#include "server/Servidor.h"
