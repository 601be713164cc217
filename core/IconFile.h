// The cartoon icons: the load test of an icon file, and its bytes turned into a picture.
//
// Two steps, as the user sees them: load() only checks the header and fails with the program's
// error texts; decode() never throws, and gives a null image for data it cannot use, so a broken
// icon shows nothing instead of raising an error at every repaint.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

// One 16-byte directory entry, its fields as the file holds them.
struct IconDirEntry
{
    quint8 width = 0;  // 0 means 0: a 256-pixel image stored with 0 is drawn at no size at all
    quint8 height = 0;
    quint16 colourCount = 0; // the colour-count byte and the reserved byte after it; 0 = unlimited
    quint32 dataSize = 0;
    quint32 dataOffset = 0; // from the start of the file

    friend bool operator==(const IconDirEntry &, const IconDirEntry &) = default;
};

class IconFile
{
public:
    // Decoded pictures larger than these are refused before anything is allocated.
    static constexpr int MaxBitmapSide = 256;
    static constexpr int MaxPngSide = 1024;
    // Bytes beyond this are never read: no directory entry of a real icon points that far.
    static constexpr qint64 MaxFileBytes = qint64(64) << 20;

    // "Cannot open file ..." when the file cannot be opened, "Stream read error" when it holds
    // fewer than 6 bytes or cannot be read, "Icon image is not valid" when its type word is
    // neither 0 nor 1. On a failure the object is unchanged.
    void load(const QString &fileName);
    // The same test on bytes in memory.
    static IconFile fromBytes(QByteArray bytes);

    int type() const { return m_type; } // 0 or 1 once loaded; -1 before
    const QByteArray &bytes() const { return m_bytes; }
    // Type 0 stands for the desktop's standard application icon; the file holds no picture.
    bool isStandardApplicationIcon() const { return m_type == 0; }

    // Empty when the image count is 0 or the directory runs past the end of the file.
    QList<IconDirEntry> entries() const;

    // The entry drawn on a display with this icon size and colour limit (0 = unlimited), or -1
    // for an empty list.
    static int chooseEntry(const QList<IconDirEntry> &entries, QSize target, quint32 colourLimit);

    // The chosen entry's picture at the entry's width and height, in ARGB32 with the icon's
    // transparency. Null when the data cannot be decoded, and for type 0.
    QImage decode(QSize target, quint32 colourLimit) const;

    // The picture in the icon's place on a screen of this device pixel ratio. The place is as
    // large as the entry chosen for the target; its pixels come from the entry chosen for the
    // target in device pixels, 1:1 when that entry fills the place exactly, else scaled
    // smoothly. At ratio 1 this is decode(target, colourLimit).
    QImage decode(QSize target, quint32 colourLimit, qreal ratio) const;

    // 2^bits up to 8 bits per pixel, else unlimited (0).
    static quint32 colourLimitForDepth(int bitsPerPixel);

private:
    QByteArray m_bytes;
    int m_type = -1;
};
