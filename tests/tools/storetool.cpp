// One save or load of a store file through the core, for scripts/check-data-safety, which kills it
// at chosen moments and judges the file by its bytes. Not a test of its own.
//
// Each first mends a save cut short, as the program does at start-up.
//   vedalka_storetool append FILE LINE_FILE   adds the line (LINE_FILE's bytes) at FILE's end
//   vedalka_storetool add FILE LINE_FILE      loads FILE, appends the line and saves it whole
//   vedalka_storetool load FILE               loads FILE and says its line count
// A failure prints its text and ends with status 1.
#include "core/Failure.h"
#include "core/Files.h"
#include "core/LineList.h"
#include "core/SafeWriter.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc < 3 || (std::strcmp(argv[1], "load") != 0 && argc < 4)) {
        std::fprintf(stderr, "usage: vedalka_storetool append|add|load FILE [LINE_FILE]\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[2]);
    try {
        SaveNote::recover(file);
        LineList list;
        if (std::strcmp(argv[1], "load") == 0) {
            list.load(file);
            std::printf("%lld\n", static_cast<long long>(list.count()));
            return 0;
        }
        const QByteArray line = Files::readWhole(QString::fromLocal8Bit(argv[3]));
        if (std::strcmp(argv[1], "append") == 0) {
            SafeWriter::Lock(file).append({line + "\r\n"});
        } else {
            list.load(file);
            list.append(line);
            list.save(file);
        }
    } catch (const Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
