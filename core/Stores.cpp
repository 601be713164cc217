#include "core/Stores.h"

#include "core/Cp1251.h"
#include "core/Files.h"

using namespace Qt::StringLiterals;

namespace Stores {

QString phraseBase()
{
    return u"baza.leh"_s;
}

QString pictureIndex()
{
    return u"picture.dat"_s;
}

QString resultLog()
{
    return u"vedalka.log"_s;
}

QString iconPath(qint64 n)
{
    return u"картинки/"_s + QString::number(n) + u".ico"_s;
}

QString laughterPath(qint64 n)
{
    return u"Звуки/смех"_s + QString::number(n) + u".wav"_s;
}

QByteArray pictureIndexHeader()
{
    return Cp1251::encode(u"номер последней картинки"_s);
}

qint64 countIconRun()
{
    qint64 n = 0;
    while (Files::exists(iconPath(n)))
        ++n;
    return n;
}

} // namespace Stores
