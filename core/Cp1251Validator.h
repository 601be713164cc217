// Keeps an edit field to the characters the program can store: what a field shows is exactly
// what is compared and written to the files. Characters outside the code page, and line breaks
// that would split a line of a text file, never enter the field.
#pragma once

#include <QValidator>

class Cp1251Validator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
};
