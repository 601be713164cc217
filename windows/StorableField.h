// An edit field that takes only what the program can store, without a length limit, and says
// so next to the field when it leaves a character out.
#pragma once

class QLineEdit;

namespace StorableField {

// Gives the field its code-page validator and lifts Qt's default limit on typed text.
void install(QLineEdit *field);

} // namespace StorableField
