#include "platform/Fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QVariant>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace Fonts {

namespace {

// Named directly rather than through Qt's font substitutions: a family that is not installed
// costs fontconfig a sorted fallback list for each size and style, a tenth of a start-up.
QString installedFamily(const QString &family)
{
    // Metric-compatible or look-alike fonts from Debian's packages, nearest first.
    static const QHash<QString, QStringList> lookAlikes = {
        {u"MS Sans Serif"_s, {u"Liberation Sans"_s, u"Arial"_s, u"DejaVu Sans"_s}},
        {u"Monotype Corsiva"_s, {u"Z003"_s, u"URW Chancery L"_s, u"DejaVu Serif"_s}},
    };
    const auto alike = lookAlikes.constFind(family);
    if (alike == lookAlikes.cend())
        return family;
    // A family that several foundries make is listed as "Family [Foundry]".
    QStringList installed = QFontDatabase::families();
    for (QString &name : installed)
        name = name.section(u" ["_s, 0, 0);
    for (const QString &candidate : QStringList{family} + *alike) {
        if (installed.contains(candidate, Qt::CaseInsensitive))
            return candidate;
    }
    return family;
}

} // namespace

void followDesign(QWidget *window)
{
    // The window first, so that a widget inside it starts from the window's font.
    for (QWidget *w : QList<QWidget *>{window} + window->findChildren<QWidget *>()) {
        const QVariant height = w->property("fontHeight");
        if (!height.isValid())
            continue;
        QFont f = w->font();
        f.setFamilies({installedFamily(f.family())});
        f.setPixelSize(height.toInt());
        // Drawn as the system the windows were designed on drew them: fully hinted, crisp at
        // 96 dpi, and laid out without kerning. Both cost a start-up less than fontconfig's
        // usual light auto-hinting of every glyph and shaping of every line.
        f.setHintingPreference(QFont::PreferFullHinting);
        f.setStyleStrategy(QFont::PreferNoShaping);
        w->setFont(f);
    }
}

} // namespace Fonts
