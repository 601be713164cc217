// Copies the lines of a text file into a writer in the program's line format (every line
// followed by a carriage return and a line feed), reading through a small buffer; and adds
// lines to a file in that format.
#pragma once

#include "core/Files.h"
#include "core/SaveNote.h"

#include <QByteArray>
#include <QList>

class SafeWriter;

namespace LineCopy {

// Open failures and read errors throw as for loading a line list; with MissingIsEmpty a file
// that does not exist gives no lines.
void copyLines(const QString &fileName, SafeWriter &out,
               Files::ReadFile::Missing missing = Files::ReadFile::MissingFails);

// Saves the file's lines followed by `lines`, all in the line format: the result a line list
// loaded from the file, extended and saved gives. Fails as that save does (checked first),
// then as that load does.
//
// A file already in the line format, but perhaps for the break after its last line, is not
// rewritten: its bytes are what a rewrite would give, so the new bytes are added at its end,
// through a note (see SaveNote), and synced. The cost is one read of the file instead of a read
// and a write of it, and its old lines are never at risk. Any other file is rewritten whole
// through SafeWriter.
void appendLines(const QString &fileName, const QList<QByteArray> &lines,
                 Files::ReadFile::Missing missing = Files::ReadFile::MissingFails);
// The same for lines already in the line format: `text` is the lines with their breaks, in
// pieces of any number of whole lines, after the kept answers `kept` (see SaveNote).
void appendText(const QString &fileName, const QList<QByteArray> &text,
                Files::ReadFile::Missing missing = Files::ReadFile::MissingFails,
                const QList<SaveNote::Claimed> &kept = {});

} // namespace LineCopy
