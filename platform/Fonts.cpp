#include "platform/Fonts.h"

#include <QFont>
#include <QVariant>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace Fonts {

void installSubstitutions()
{
    // Metric-compatible or look-alike fonts from Debian's packages, nearest first.
    QFont::insertSubstitutions(u"MS Sans Serif"_s,
                               {u"Liberation Sans"_s, u"Arial"_s, u"DejaVu Sans"_s});
    QFont::insertSubstitutions(u"Monotype Corsiva"_s,
                               {u"Z003"_s, u"URW Chancery L"_s, u"DejaVu Serif"_s});
}

static void applyOne(QWidget *w)
{
    const QVariant height = w->property("fontHeight");
    if (!height.isValid())
        return;
    QFont f = w->font();
    f.setPixelSize(height.toInt());
    w->setFont(f);
}

void applyHeights(QWidget *root)
{
    // Parents first, so that children which inherit the window font get its size before
    // their own setting (if any) is applied.
    applyOne(root);
    const QList<QWidget *> children = root->findChildren<QWidget *>();
    for (QWidget *child : children)
        applyOne(child);
}

} // namespace Fonts
