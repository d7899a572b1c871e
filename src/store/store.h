#pragma once

#include "controls/status.h"

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
// "URLs in list: " & count.
QString statisticsLine(int count);

Status loadEntry(const QString &path, RichTextBox &box);
Status saveEntry(const QString &path, const RichTextBox &box);
// Saves a new entry, claiming the name first so that an existing file is never
// replaced; on failure nothing is left at the path.
Status createEntry(const QString &path, const RichTextBox &box);
// Removes the one file or link at path; never a folder.
Status deleteEntry(const QString &path);

// Why a typed name cannot become an entry, or an empty string when it can. A name
// that would address anything outside the entry folder is always refused.
QString nameProblem(const QString &name);
// True when a file (or anything else) already answers to this entry path.
bool entryExists(const QString &path);

} // namespace store
