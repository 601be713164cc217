// The one exception type of the program: a failure carrying the text the user is shown.
// Thrown by core/ and platform/, caught only by the handler guard and the icon check.
#pragma once

#include <QString>
#include <exception>

class Failure : public std::exception
{
public:
    explicit Failure(QString text)
        : m_text(std::move(text))
        , m_utf8(m_text.toUtf8())
    {
    }

    const QString &text() const noexcept { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};
