// Registration of the embedded pictures, and the pictures assembled from their drawn sizes.
#include "resources/Resources.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QIconEngine>
#include <QImageReader>
#include <QLibraryInfo>
#include <QPainter>
#include <QPaintEngine>
#include <QStyle>
#include <QStyleOption>
#include <QVersionNumber>

#include <algorithm>

using namespace Qt::StringLiterals;

// Q_INIT_RESOURCE declares the registration function of resources.qrc, which lives in the
// global namespace, so it has to be used from outside any namespace.
static void registerEmbeddedResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Resources {

namespace {

QImage plain(QImage image)
{
    // Qt marks a name@2x file as drawn for ratio 2; here every size is plain pixels.
    image.setDevicePixelRatio(1);
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Our own files are PNG or ICO by their names. Naming the format spares Qt asking every image
// plugin whether it reads them, which loads them all and the libraries they need.
void openReader(QImageReader &reader, const QString &path)
{
    reader.setFileName(path);
    reader.setFormat(QFileInfo(path).suffix().toLatin1());
    reader.setAutoDetectImageFormat(false);
}

// A file of one image is only measured here; the images of a file of several are read at once.
void readAll(const QString &path, QList<QSize> &sizes, QStringList &paths, QList<QImage> &images)
{
    QImageReader reader;
    openReader(reader, path);
    const int count = qMax(1, reader.imageCount());
    if (const QSize size = reader.size(); count == 1 && size.isValid() && !size.isEmpty()) {
        sizes.append(size);
        paths.append(path);
        images.append(QImage());
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        sizes.append(image.size());
        paths.append(QString());
        images.append(plain(image));
    }
}

// Hands out the drawings at exactly the device size Qt asks for, so that a menu or a title bar
// at 1.25 or 1.5 gets a picture scaled down from the sharper drawing instead of an enlarged one.
class DrawingsEngine : public QIconEngine
{
public:
    explicit DrawingsEngine(Drawings drawings)
        : m_drawings(std::move(drawings))
    {
    }

    QIconEngine *clone() const override { return new DrawingsEngine(m_drawings); }
    QString key() const override { return u"VedalkaDrawings"_s; }
    bool isNull() override { return m_drawings.isNull(); }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return m_drawings.sizes(); }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        QPixmap pixmap = QPixmap::fromImage(m_drawings.image(size));
        if (mode == QIcon::Disabled && !pixmap.isNull()) {
            if (const QStyle *style = QApplication::style()) {
                QStyleOption option;
                option.palette = QGuiApplication::palette();
                pixmap = style->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
            }
        }
        return pixmap;
    }

    // Qt sets the ratio on the result itself. It asks for the size in device pixels here before
    // 6.8 and in logical pixels since: the Qt the program runs on decides, not the one it was built with.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        static const bool logical = QLibraryInfo::version() >= QVersionNumber(6, 8);
        return pixmap(logical ? (QSizeF(size) * scale).toSize() : size, mode, state);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->paintEngine()->paintDevice()->devicePixelRatio();
        QPixmap pm = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        pm.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect.topLeft(), pm);
    }

private:
    Drawings m_drawings;
};

} // namespace

void init()
{
    static const bool registered = [] {
        registerEmbeddedResources();
        return true;
    }();
    Q_UNUSED(registered);
}

Drawings::Drawings(const QString &path)
    : m_found(std::make_shared<Found>())
{
    init();
    m_found->path = path;
}

const Drawings::Found &Drawings::found() const
{
    static const Found none{{}, true, {}, {}, {}};
    if (!m_found)
        return none;
    Found &f = *m_found;
    if (f.measured)
        return f;
    f.measured = true;
    readAll(f.path, f.sizes, f.paths, f.images);
    if (f.sizes.isEmpty())
        return f;
    const QFileInfo info(f.path);
    const QString stem = info.path() + u'/' + info.completeBaseName();
    const QString suffix = u'.' + info.suffix();
    QStringList others{stem + u"@2x"_s + suffix};
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256})
        others.append(stem + u'-' + QString::number(side) + suffix);
    for (const QString &other : others) {
        if (QFile::exists(other))
            readAll(other, f.sizes, f.paths, f.images);
    }
    return f;
}

QSize Drawings::size() const
{
    return isNull() ? QSize() : found().sizes.first();
}

QList<QSize> Drawings::sizes() const
{
    return found().sizes;
}

const QImage &Drawings::decoded(qsizetype i) const
{
    Found &f = *m_found;
    QImage &image = f.images[i];
    if (image.isNull() && !f.paths.at(i).isEmpty()) {
        QImageReader reader;
        openReader(reader, f.paths.at(i));
        image = plain(reader.read());
    }
    return image;
}

QImage Drawings::image(QSize pixels) const
{
    if (isNull() || pixels.isEmpty())
        return {};
    qsizetype best = -1;
    const QList<QSize> &sizes = found().sizes;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const QSize size = sizes.at(i);
        if (size == pixels)
            return decoded(i);
        const QSize b = best < 0 ? QSize() : sizes.at(best);
        const bool large = size.width() >= pixels.width() && size.height() >= pixels.height();
        const bool bestLarge = best >= 0 && b.width() >= pixels.width() && b.height() >= pixels.height();
        // the smallest of those large enough, else the largest
        if (best < 0 || (large && (!bestLarge || size.width() < b.width()))
            || (!large && !bestLarge && size.width() > b.width()))
            best = i;
    }
    return decoded(best).scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
}

QPixmap Drawings::pixmap(QSize place, qreal ratio) const
{
    QPixmap pixmap = QPixmap::fromImage(image((QSizeF(place) * ratio).toSize()));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon icon(const QString &path)
{
    return QIcon(new DrawingsEngine(Drawings(path)));
}

QIcon programIcon()
{
    return icon(u":/icons/program.png"_s);
}

void useProgramIcon()
{
    if (QGuiApplication::windowIcon().isNull())
        QGuiApplication::setWindowIcon(programIcon());
}

} // namespace Resources
