// Copies the lines of a text file into a writer in the program's line format (every line
// followed by a carriage return and a line feed), reading through a small buffer.
#pragma once

#include "core/Files.h"

class SafeWriter;

namespace LineCopy {

// Open failures and read errors throw as for loading a line list; with MissingIsEmpty a file
// that does not exist gives no lines.
void copyLines(const QString &fileName, SafeWriter &out,
               Files::ReadFile::Missing missing = Files::ReadFile::MissingFails);

} // namespace LineCopy
