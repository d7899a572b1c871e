#pragma once

#include "entryfile/entryfile.h"
#include "entryfile/status.h"

#include <QString>

class DirListBox;
class FileListBox;
class RichTextBox;

// The entry store: where the list lives, how entry paths are formed, and the entry
// operations. Plain functions over the controls; nothing is remembered between calls.
namespace store {

// Base directory & "/List": plain concatenation, so a root base gives "//List".
QString entryFolder(const DirListBox &dir);
// Entry folder & "/" & name.
QString entryPath(const DirListBox &dir, const QString &name);

Status pointListAtFolder(FileListBox &list, const DirListBox &dir);
int countEntries(const FileListBox &list);
QString selectedEntry(const FileListBox &list);
// The statistics line's caption, to which the entry count is appended.
inline const QString statisticsCaption = QStringLiteral("URLs in list: ");
// "URLs in list: " & count.
QString statisticsLine(int count);

Status loadEntry(const QString &path, RichTextBox &box);
Status saveEntry(const QString &path, const RichTextBox &box);
// Saves a new entry; an existing file is never replaced, and on failure nothing is
// left at the path.
Status createEntry(const QString &path, const RichTextBox &box);
// Removes the one file or link at path; never a folder.
Status deleteEntry(const QString &path);

using entryfile::nameProblem;
// True when a file (or anything else) already answers to this entry path.
inline bool entryExists(const QString &path)
{
    return entryfile::exists(path);
}

} // namespace store
