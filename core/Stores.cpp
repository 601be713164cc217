#include "core/Stores.h"

#include "core/Cp1251.h"
#include "core/Files.h"

#include <QFile>
#include <QSet>

#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace Stores {

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
    qint64 n = -1;
    const auto [end, error] = std::from_chars(name, name + qstrlen(name), n);
    const bool plain = error == std::errc() && *name != '-' && (*name != '0' || end == name + 1);
    return plain && qstrcmp(end, ".ico") == 0 ? n : -1;
}

// The run from one read of the folder; -1 when the folder cannot be read.
qint64 countFromFolder()
{
    DIR *dir = ::opendir(QFile::encodeName(iconPath(0)).chopped(5).constData()); // without "0.ico"
    if (!dir)
        return -1;
    QSet<qint64> numbers;
    while (const dirent *e = ::readdir(dir)) {
        const qint64 n = iconNumber(e->d_name);
        struct stat st;
        // A link or an entry of unknown type counts as the look-up by name sees it.
        if (n >= 0 && e->d_type != DT_DIR
            && ((e->d_type != DT_UNKNOWN && e->d_type != DT_LNK)
                || (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && !S_ISDIR(st.st_mode))))
            numbers.insert(n);
    }
    ::closedir(dir);
    qint64 run = 0;
    while (numbers.contains(run))
        ++run;
    return run;
}

} // namespace

qint64 countIconRun()
{
    qint64 n = 0;
    while (Files::exists(iconPath(n))) {
        // Past the first few, one read of the folder; one that can be searched but not listed
        // is counted name by name.
        if (++n == ProbedIcons) {
            if (const qint64 run = countFromFolder(); run >= 0)
                return run;
        }
    }
    return n;
}

} // namespace Stores
