// What the fuzz targets share: a check that stops the run with a report libFuzzer keeps as a
// crash, and a Qt that keeps quiet about the damaged data it is fed.
#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

#define FUZZ_FAIL(what)                                                                            \
    do {                                                                                           \
        std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, what);                             \
        std::abort();                                                                              \
    } while (false)

namespace FuzzCheck {

// Warnings about broken pictures (libpng's among them) are expected for almost every input and
// would drown libFuzzer's own output; a fatal message still ends the run.
inline void quietQt()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "fatal: %s\n", qPrintable(message));
            std::abort();
        }
    });
}

// A small generator for choices an input makes about itself (piece sizes, which lines to
// fetch): the same input always makes the same choices, so every report reproduces.
class Choices
{
public:
    explicit Choices(quint64 seed)
        : m_state(seed)
    {
    }
    quint64 next()
    {
        quint64 z = (m_state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    // 0 <= result < n, n > 0.
    qsizetype below(qsizetype n) { return qsizetype(next() % quint64(n)); }

private:
    quint64 m_state;
};

// FNV-1a over the input: the seed of its choices.
inline quint64 hashOf(const uint8_t *data, size_t size)
{
    quint64 h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 0x100000001b3ull;
    return h;
}

} // namespace FuzzCheck
