#include "platform/Fonts.h"

#include <QChildEvent>
#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QVariant>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace Fonts {

QString installedFamily(const QString &family)
{
    // Metric-compatible or look-alike fonts from Debian's packages, nearest first.
    static const QHash<QString, QStringList> lookAlikes = {
        {u"MS Sans Serif"_s, {u"Liberation Sans"_s, u"Arial"_s, u"DejaVu Sans"_s}},
        {u"Monotype Corsiva"_s, {u"Z003"_s, u"URW Chancery L"_s, u"DejaVu Serif"_s}},
    };
    static QHash<QString, QString> chosen;
    const auto alike = lookAlikes.constFind(family);
    if (alike == lookAlikes.cend())
        return family;
    if (const auto known = chosen.constFind(family); known != chosen.cend())
        return *known;
    // Naming an installed family spares Qt a failed look-up and fontconfig's sorted list of
    // fallbacks for each size and style: most of what fonts cost a start-up.
    // A family that several foundries make is listed as "Family [Foundry]".
    QStringList installed = QFontDatabase::families();
    for (QString &name : installed)
        name = name.section(u" ["_s, 0, 0);
    QString result = family;
    for (const QString &candidate : QStringList{family} + *alike) {
        if (installed.contains(candidate, Qt::CaseInsensitive)) {
            result = candidate;
            break;
        }
    }
    chosen.insert(family, result);
    return result;
}

namespace {

void applyOne(QWidget *w)
{
    QFont f = w->font();
    bool changed = false;
    if (const QString family = installedFamily(f.family()); family != f.family()) {
        f.setFamilies({family});
        // Drawn as the system the windows were designed on drew them: fully hinted, crisp at
        // 96 dpi, and laid out without kerning. Both cost a start-up less than fontconfig's
        // usual light auto-hinting of every glyph and shaping of every line.
        f.setStyleStrategy(QFont::PreferNoShaping);
        f.setHintingPreference(QFont::PreferFullHinting);
        changed = true;
    }
    if (const QVariant height = w->property("fontHeight"); height.isValid() && height.toInt() != f.pixelSize()) {
        f.setPixelSize(height.toInt());
        changed = true;
    }
    // Setting the font sends another change, which then finds nothing to do.
    if (changed)
        w->setFont(f);
}

class DesignFonts : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::ChildAdded: {
            // A new child has no children yet; a tree built apart and then put in (a scroll
            // area's client) is followed from here on, and its fonts are set right away.
            QObject *child = static_cast<QChildEvent *>(event)->child();
            child->installEventFilter(this);
            for (QObject *inner : child->findChildren<QObject *>()) {
                inner->installEventFilter(this);
                if (inner->isWidgetType())
                    applyOne(static_cast<QWidget *>(inner));
            }
            break;
        }
        case QEvent::FontChange:
        case QEvent::DynamicPropertyChange:
            if (watched->isWidgetType())
                applyOne(static_cast<QWidget *>(watched));
            break;
        default:
            break;
        }
        return false;
    }
};

} // namespace

void followDesign(QWidget *window)
{
    window->installEventFilter(new DesignFonts(window));
}

} // namespace Fonts
