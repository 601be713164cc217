#include "core/Stores.h"

#include "core/Cp1251.h"
#include "core/Files.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <vector>

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

namespace {

// The icons looked up one by one before the folder is read as a whole: a short run costs a few
// look-ups, a long one a single pass over the folder.
constexpr qint64 ProbedIcons = 16;

// The number of a name "<n>.ico" written as the run writes numbers (no sign, no leading zero);
// -1 for any other name.
qint64 iconNumber(const char *name)
{
    const char *p = name;
    qint64 n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (p - name >= 18 || (p != name && name[0] == '0'))
            return -1;
        n = n * 10 + (*p - '0');
    }
    return p != name && qstrcmp(p, ".ico") == 0 ? n : -1;
}

// The run from one read of the folder; -1 when the folder cannot be read.
qint64 countFromFolder()
{
    const QByteArray folder = QFile::encodeName(iconPath(0)).chopped(5); // without "0.ico"
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return -1;
    std::vector<qint64> numbers;
    while (const dirent *e = ::readdir(dir)) {
        const qint64 n = iconNumber(e->d_name);
        if (n < 0 || e->d_type == DT_DIR)
            continue;
        struct stat st;
        // A link or an entry of unknown type counts as the look-up by name sees it.
        if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK)
            numbers.push_back(n);
        else if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && !S_ISDIR(st.st_mode))
            numbers.push_back(n);
    }
    ::closedir(dir);
    std::vector<bool> present(numbers.size() + 1);
    for (qint64 n : numbers)
        if (n < qint64(present.size()))
            present[size_t(n)] = true;
    qint64 run = 0;
    while (present[size_t(run)])
        ++run;
    return run;
}

} // namespace

qint64 countIconRun()
{
    qint64 n = 0;
    while (n < ProbedIcons && Files::exists(iconPath(n)))
        ++n;
    if (n < ProbedIcons)
        return n;
    // A folder that can be searched but not listed is counted name by name.
    if (const qint64 run = countFromFolder(); run >= 0)
        return run;
    while (Files::exists(iconPath(n)))
        ++n;
    return n;
}

} // namespace Stores
