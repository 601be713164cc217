// The program's texts are bytes in the Windows Cyrillic code page 1251; widgets hold QString.
// This is the one place that converts between the two. Every byte 1..255 survives the round
// trip: 0x98, which the code page leaves unassigned, maps to U+0098 and back.
#pragma once

#include <QByteArray>
#include <QString>

namespace Cp1251 {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &text);

// True when every character of the text has a byte in the code page.
bool canEncode(const QString &text);

// The text without the characters the code page cannot hold, and without the characters that
// would break a line of a text file (carriage return, line feed and zero).
QString keepStorable(const QString &text);

} // namespace Cp1251
