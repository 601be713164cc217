#include "windows/PictureBoxAccessible.h"

#include "windows/PictureBox.h"

#include <QAccessibleWidget>

using namespace Qt::StringLiterals;

namespace {

class PictureInterface : public QAccessibleWidget
{
public:
    explicit PictureInterface(PictureBox *box)
        : QAccessibleWidget(box, QAccessible::Graphic)
    {
    }

    QStringList actionNames() const override
    {
        return clickable() ? QStringList{pressAction()} : QStringList();
    }

    void doAction(const QString &name) override
    {
        if (name == pressAction() && clickable())
            emit box()->clicked();
    }

    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    PictureBox *box() const { return static_cast<PictureBox *>(widget()); }
    bool clickable() const { return box()->isClickable(); }
};

QAccessibleInterface *pictureFactory(const QString &className, QObject *object)
{
    if (className == u"PictureBox"_s && object && object->isWidgetType())
        return new PictureInterface(static_cast<PictureBox *>(object));
    return nullptr;
}

} // namespace

namespace PictureBoxAccessible {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(pictureFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace PictureBoxAccessible
