#include "core/Cp1251Validator.h"

#include "core/Cp1251.h"

QValidator::State Cp1251Validator::validate(QString &input, int &pos) const
{
    if (Cp1251::canEncode(input) && !input.contains(u'\r') && !input.contains(u'\n') && !input.contains(QChar()))
        return Acceptable;
    const QString before = Cp1251::keepStorable(input.left(pos));
    input = before + Cp1251::keepStorable(input.mid(pos));
    pos = int(before.size());
    return Acceptable;
}

void Cp1251Validator::fixup(QString &input) const
{
    input = Cp1251::keepStorable(input);
}
