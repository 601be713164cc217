#include "core/Failure.h"

Failure::Failure(QString text)
    : m_text(std::move(text))
    , m_utf8(m_text.toUtf8())
{
}
