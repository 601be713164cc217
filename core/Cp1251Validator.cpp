#include "core/Cp1251Validator.h"

#include "core/Cp1251.h"

QValidator::State Cp1251Validator::validate(QString &input, int &pos) const
{
    if (Cp1251::canEncode(input) && !input.contains(u'\r') && !input.contains(u'\n') && !input.contains(QChar()))
        return Acceptable;
    const QStringList dropped = unstorableCharacters(input, MostReported);
    const QString before = Cp1251::keepStorable(input.left(pos));
    input = before + Cp1251::keepStorable(input.mid(pos));
    pos = int(before.size());
    if (!dropped.isEmpty())
        emit const_cast<Cp1251Validator *>(this)->refused(dropped);
    return Acceptable;
}

void Cp1251Validator::fixup(QString &input) const
{
    input = Cp1251::keepStorable(input);
}

QStringList Cp1251Validator::unstorableCharacters(const QString &text, qsizetype most)
{
    QStringList found;
    for (qsizetype i = 0; i < text.size() && found.size() < most; ++i) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const QString character = text.mid(i, pair ? 2 : 1);
        if (pair)
            ++i;
        if (!Cp1251::canEncode(character) && !found.contains(character))
            found.append(character);
    }
    return found;
}
