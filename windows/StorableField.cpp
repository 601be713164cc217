#include "windows/StorableField.h"

#include "core/Cp1251Validator.h"

#include <QLineEdit>
#include <QToolTip>

#include <limits>

using namespace Qt::StringLiterals;

namespace StorableField {

void install(QLineEdit *field)
{
    auto *validator = new Cp1251Validator(field);
    field->setValidator(validator);
    field->setMaxLength(std::numeric_limits<int>::max());
    QObject::connect(validator, &Cp1251Validator::refused, field, [field](const QStringList &characters) {
        // Just below the caret, for a few seconds: the user sees it where the letter went missing.
        const QRect caret = field->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        const QPoint at = field->mapToGlobal(QPoint(caret.left(), field->height()));
        QToolTip::showText(at, refusalText(characters), field, QRect(), 4000);
    });
}

QString refusalText(const QStringList &characters)
{
    constexpr qsizetype MaxNamed = 5;
    QStringList quoted;
    for (const QString &c : characters.mid(0, MaxNamed))
        quoted.append(u"«"_s + c + u"»"_s);
    if (characters.size() == 1)
        return u"Символ "_s + quoted.first() + u" не поддерживается"_s;
    QString list = quoted.join(u", "_s);
    if (characters.size() > MaxNamed)
        list += u" и другие"_s;
    return u"Символы "_s + list + u" не поддерживаются"_s;
}

} // namespace StorableField
