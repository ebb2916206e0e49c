#include "protocol/ErroDeExecucao.h"

ErroDeExecucao::ErroDeExecucao(QString origem, QString descricao)
    : m_origem(std::move(origem)), m_descricao(std::move(descricao)),
      m_what((m_origem + QStringLiteral(": ") + m_descricao).toUtf8())
{
}
