// Keeps an edit field to the characters the program can store: what a field shows is exactly
// what is compared and written to the files. Characters outside the code page, and line breaks
// that would split a line of a text file, never enter the field; those outside the code page
// are reported, so the field can say what it did not take.
#pragma once

#include <QStringList>
#include <QValidator>

class Cp1251Validator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;

    // Always Acceptable: the input loses what cannot be stored, the cursor staying in its place.
    State validate(QString &input, int &pos) const override;

    // How many distinct refused characters a report names at the most.
    static constexpr qsizetype MostReported = 6;

signals:
    // The first distinct characters that were left out, in their order, up to MostReported; a
    // character outside the basic plane counts as one.
    void refused(const QStringList &characters);
};
