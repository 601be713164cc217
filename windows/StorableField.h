// An edit field that takes only what the program can store, without a length limit, and says
// so next to the field when it leaves a character out.
#pragma once

#include <QStringList>

class QLineEdit;

namespace StorableField {

// Gives the field its code-page validator and lifts Qt's default limit on typed text.
void install(QLineEdit *field);

// The words shown next to the field for the characters it did not take.
QString refusalText(const QStringList &characters);

} // namespace StorableField
