// Registration of the embedded pictures, and the program's icon assembled from its sizes.
#include "resources/Resources.h"

#include <QIcon>
#include <QString>

using namespace Qt::StringLiterals;

// Q_INIT_RESOURCE declares the registration function of resources.qrc, which lives in the
// global namespace, so it has to be used from outside any namespace.
static void registerEmbeddedResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Resources {

void init()
{
    static const bool registered = [] {
        registerEmbeddedResources();
        return true;
    }();
    Q_UNUSED(registered);
}

QIcon programIcon()
{
    init();
    QIcon icon(u":/icons/program.png"_s);
    for (const int size : {16, 22, 24, 48, 64, 128, 256})
        icon.addFile(u":/icons/program-%1.png"_s.arg(size));
    return icon;
}

} // namespace Resources
