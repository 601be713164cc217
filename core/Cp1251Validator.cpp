#include "core/Cp1251Validator.h"

#include "core/Cp1251.h"

QValidator::State Cp1251Validator::validate(QString &input, int &pos) const
{
    QStringList dropped;
    for (qsizetype i = 0; i < input.size() && dropped.size() < MostReported; ++i) {
        const bool pair = input.at(i).isHighSurrogate() && i + 1 < input.size() && input.at(i + 1).isLowSurrogate();
        const QString character = input.mid(i, pair ? 2 : 1);
        i += pair;
        if (!Cp1251::canEncode(character) && !dropped.contains(character))
            dropped.append(character);
    }
    const QString before = Cp1251::keepStorable(input.left(pos));
    input = before + Cp1251::keepStorable(input.mid(pos));
    pos = int(before.size());
    if (!dropped.isEmpty())
        emit const_cast<Cp1251Validator *>(this)->refused(dropped);
    return Acceptable;
}
