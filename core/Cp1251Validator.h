// Keeps an edit field to the characters the program can store: what a field shows is exactly
// what is compared and written to the files. Characters outside the code page, and line breaks
// that would split a line of a text file, never enter the field. The characters outside the
// code page are reported, so the field can say what it did not take.
#pragma once

#include <QStringList>
#include <QValidator>

class Cp1251Validator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

    // The first `most` distinct characters of the text that the code page cannot hold, in their
    // order; a character outside the basic plane counts as one.
    static QStringList unstorableCharacters(const QString &text, qsizetype most);

    // How many distinct refused characters a report names at the most.
    static constexpr qsizetype MostReported = 6;

signals:
    // Some characters offered to the field were left out: the first of them, up to MostReported.
    void refused(const QStringList &characters);
};
