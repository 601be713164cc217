// Every embedded picture and icon loads through Qt's own image readers at the size its control
// expects, keeps to its colour depth, has see-through pixels where it sits on a menu or a title
// bar, and is not blank.
#include "resources/Resources.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

enum class Ground { Opaque, SeeThrough };

// The paths of the pictures() and iconFiles() rows, so that a picture added to resources.qrc
// without a row fails everyResourceHasARow().
QSet<QString> &checkedPaths()
{
    static QSet<QString> paths;
    return paths;
}

struct PixelCounts
{
    qsizetype transparent = 0;
    qsizetype opaque = 0;
};

PixelCounts countPixels(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    PixelCounts counts;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha == 0)
                ++counts.transparent;
            else if (alpha == 255)
                ++counts.opaque;
        }
    }
    return counts;
}

// Colours actually used, which for a palette picture must fit its palette.
qsizetype distinctColours(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            colours.insert(line[x]);
    }
    return colours.size();
}

void checkGround(const QImage &image, Ground ground)
{
    const PixelCounts counts = countPixels(image);
    const qsizetype total = qsizetype(image.width()) * image.height();
    if (ground == Ground::Opaque) {
        QCOMPARE(counts.opaque, total);
    } else {
        QVERIFY2(counts.transparent > 0, "no see-through pixel");
        // an icon that is mostly see-through would be a blank or broken drawing
        QVERIFY2(counts.opaque * 4 >= total, "less than a quarter of the pixels drawn");
    }
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pictures_data();
    void pictures();
    void iconFiles_data();
    void iconFiles();
    void everyResourceHasARow();
    void drawnSizes_data();
    void drawnSizes();
    void menuImagesDiffer();
};

void TestResources::initTestCase()
{
    Resources::init();
}

void TestResources::pictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("maxColours"); // 0: true colour
    QTest::addColumn<Ground>("ground");

    const auto row = [](const char *name, const QString &path, QSize size, int maxColours, Ground ground) {
        checkedPaths().insert(path);
        QTest::newRow(name) << path << size << maxColours << ground;
    };
    const QSize menu(16, 16);
    const QSize icon(32, 32);

    row("main window: big picture", u":/pictures/banner.png"_s, {242, 121}, 0, Ground::Opaque);
    row("main window: big picture, 2x", u":/pictures/banner@2x.png"_s, {484, 242}, 0, Ground::Opaque);
    row("main window: likeness before the first answer", u":/pictures/karikatura-start.png"_s, {60, 80}, 256,
        Ground::Opaque);
    row("main window: likeness before the first answer, 2x", u":/pictures/karikatura-start@2x.png"_s, {120, 160}, 256,
        Ground::Opaque);
    row("program icon", u":/icons/program.png"_s, icon, 0, Ground::SeeThrough);
    const char *menus[] = {"about", "add-phrase", "tools", "count-icons", "help", "check-icons"};
    for (int i = 0; i < 6; ++i) {
        const QString path = u":/icons/menu-%1.png"_s.arg(QLatin1StringView(menus[i]));
        row(qPrintable(u"menu image %1: %2"_s.arg(i).arg(QLatin1StringView(menus[i]))), path, menu, 0, Ground::SeeThrough);
        row(qPrintable(u"menu image %1: %2, 2x"_s.arg(i).arg(QLatin1StringView(menus[i]))),
            QString(path).replace(u".png"_s, u"@2x.png"_s), menu * 2, 0, Ground::SeeThrough);
    }
    row("menu bar: button for menus that do not fit", u":/icons/menu-more.png"_s, menu, 0, Ground::SeeThrough);
    row("menu bar: button for menus that do not fit, 2x", u":/icons/menu-more@2x.png"_s, menu * 2, 0, Ground::SeeThrough);
    row("add-phrase window: picture beside the text", u":/icons/add-image1.png"_s, icon, 0, Ground::SeeThrough);
    row("add-phrase window: picture beside the text, 2x", u":/icons/add-image1@2x.png"_s, icon * 2, 0, Ground::SeeThrough);
    row("About window: picture beside the button", u":/icons/about-image1.png"_s, icon, 16, Ground::SeeThrough);
    row("About window: picture beside the button, 2x", u":/icons/about-image1@2x.png"_s, icon * 2, 16, Ground::SeeThrough);
    row("picture for an icon of type 0", u":/icons/standard-application.png"_s, icon, 0, Ground::SeeThrough);
    row("picture for an icon of type 0, 2x", u":/icons/standard-application@2x.png"_s, icon * 2, 0, Ground::SeeThrough);
    // Window icons in every size a desktop asks for; the About window's in 16 colours.
    for (const QString &name : {u"mainwindow"_s, u"add-window"_s, u"about-window"_s}) {
        const int colours = name == u"about-window"_s ? 16 : 0;
        for (const int size : {16, 24, 32, 48, 64}) {
            const QString path = size == 32 ? u":/icons/%1.png"_s.arg(name) : u":/icons/%1-%2.png"_s.arg(name).arg(size);
            row(qPrintable(u"%1 icon, %2 px"_s.arg(name).arg(size)), path, {size, size}, colours, Ground::SeeThrough);
        }
    }
    for (const int size : {16, 22, 24, 48, 64, 128, 256}) {
        const QByteArray name = "program icon, " + QByteArray::number(size) + " px";
        row(name.constData(), u":/icons/program-%1.png"_s.arg(size), {size, size}, 0, Ground::SeeThrough);
    }
}

void TestResources::pictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, maxColours);
    QFETCH(Ground, ground);

    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);

    if (maxColours > 0) {
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        QVERIFY(image.colorCount() <= maxColours);
        QVERIFY(distinctColours(image) <= maxColours);
    } else {
        QVERIFY(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32);
    }
    // a picture of a few flat colours would be an empty or failed drawing
    QVERIFY(distinctColours(image) >= 5);
    checkGround(image, ground);
}

void TestResources::iconFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QList<QSize>>("sizes");

    const QString addImage2 = u":/icons/add-image2.ico"_s;
    const QString addImage2Sharp = u":/icons/add-image2@2x.ico"_s;
    checkedPaths().insert(addImage2);
    checkedPaths().insert(addImage2Sharp);
    QTest::newRow("add-phrase window: picture beside the button")
        << addImage2 << QList<QSize>{{32, 32}, {48, 48}};
    QTest::newRow("add-phrase window: picture beside the button, 2x")
        << addImage2Sharp << QList<QSize>{{64, 64}, {96, 96}};
}

void TestResources::iconFiles()
{
    QFETCH(QString, path);
    QFETCH(QList<QSize>, sizes);

    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("ico"));
    QCOMPARE(reader.imageCount(), sizes.size());
    for (int i = 0; i < sizes.size(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), sizes.at(i));
        QVERIFY(image.hasAlphaChannel());
        checkGround(image, Ground::SeeThrough);
    }
}

void TestResources::everyResourceHasARow()
{
    QSet<QString> embedded;
    for (const QString &root : {u":/pictures"_s, u":/icons"_s}) {
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            embedded.insert(it.next());
    }
    QVERIFY(!embedded.isEmpty());
    QCOMPARE(embedded, checkedPaths());
}

void TestResources::drawnSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("place");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QString>("drawing"); // the file shown 1:1; empty: scaled from a larger one

    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QTest::addRow("program icon, %d px", size)
            << u":/icons/program.png"_s << QSize(size, size) << 1.0
            << (size == 32 ? u":/icons/program.png"_s : u":/icons/program-%1.png"_s.arg(size));
    }
    for (const QString &name : {u"mainwindow"_s, u"add-window"_s, u"about-window"_s}) {
        const QString path = u":/icons/%1.png"_s.arg(name);
        for (const int size : {16, 24, 48, 64})
            QTest::addRow("%s icon, %d px", qPrintable(name), size) << path << QSize(size, size) << 1.0 << u":/icons/%1-%2.png"_s.arg(name).arg(size);
        QTest::addRow("%s icon, 32 px at ratio 2", qPrintable(name)) << path << QSize(32, 32) << 2.0 << u":/icons/%1-64.png"_s.arg(name);
        QTest::addRow("%s icon, 32 px at ratio 1.25", qPrintable(name)) << path << QSize(32, 32) << 1.25 << QString();
    }
    const QString menu = u":/icons/menu-help.png"_s;
    QTest::newRow("menu image at ratio 1") << menu << QSize(16, 16) << 1.0 << menu;
    QTest::newRow("menu image at ratio 2") << menu << QSize(16, 16) << 2.0 << u":/icons/menu-help@2x.png"_s;
    QTest::newRow("menu image at ratio 1.5") << menu << QSize(16, 16) << 1.5 << QString();
    const QString start = u":/pictures/karikatura-start.png"_s;
    QTest::newRow("likeness at ratio 2") << start << QSize(60, 80) << 2.0 << u":/pictures/karikatura-start@2x.png"_s;
    QTest::newRow("likeness at ratio 1.25") << start << QSize(60, 80) << 1.25 << QString();
}

void TestResources::drawnSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, place);
    QFETCH(qreal, ratio);
    QFETCH(QString, drawing);
    const QSize pixels = (QSizeF(place) * ratio).toSize();
    // Through QIcon, as menus and title bars ask for it, and directly, as picture controls do.
    const QPixmap fromIcon = Resources::icon(path).pixmap(place, ratio);
    const QPixmap direct = Resources::Drawings(path).pixmap(place, ratio);
    for (const QPixmap &pm : {fromIcon, direct}) {
        QCOMPARE(pm.size(), pixels);
        QCOMPARE(pm.devicePixelRatio(), ratio);
        const QImage shown = pm.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!drawing.isEmpty()) {
            // the drawing made for this size, not another one scaled
            QImage expected = QImage(drawing).convertToFormat(QImage::Format_ARGB32_Premultiplied);
            expected.setDevicePixelRatio(ratio);
            QCOMPARE(shown, expected);
        } else {
            // scaled down from the sharper drawing, not the small one enlarged in blocks
            const QImage blocky = QImage(path).scaled(pixels).convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY(shown != blocky);
            QVERIFY(distinctColours(shown) >= 5);
        }
    }
    if (ratio == 1)
        QVERIFY(Resources::icon(path).availableSizes().contains(place));
}

void TestResources::menuImagesDiffer()
{
    const QStringList names = {u"about"_s, u"add-phrase"_s, u"tools"_s,
                               u"count-icons"_s, u"help"_s, u"check-icons"_s};
    QList<QImage> images;
    for (const QString &name : names)
        images.append(QImage(u":/icons/menu-%1.png"_s.arg(name)).convertToFormat(QImage::Format_ARGB32));
    for (qsizetype i = 0; i < images.size(); ++i) {
        QVERIFY2(!images.at(i).isNull(), qPrintable(names.at(i)));
        for (qsizetype j = i + 1; j < images.size(); ++j)
            QVERIFY2(images.at(i) != images.at(j), qPrintable(names.at(i) + u" = "_s + names.at(j)));
    }
}

VEDALKA_TEST_MAIN(TestResources)
#include "tst_resources.moc"
