#pragma once

#include "controls/richtext/richtextbox.h"
#include "entryfile/entryfile.h"
#include "entryfile/status.h"

#include <QString>

class DirListBox;
class FileListBox;

// The entry store: where the list lives, how entry paths are formed, and the entry
// operations. Plain functions over the controls; nothing is remembered between calls.
namespace store {

// Base directory & "/List": plain concatenation, so a root base gives "//List".
QString entryFolder(const DirListBox &dir);
// Entry folder & "/" & name.
QString entryPath(const DirListBox &dir, const QString &name);

Status pointListAtFolder(FileListBox &list, const DirListBox &dir);
// True when nothing at all stands at the entry folder's path (a link to nowhere is
// something: it is not replaced by a new folder).
bool entryFolderMissing(const DirListBox &dir);
// Makes the entry folder, with the permissions the user's umask gives a new folder.
Status createEntryFolder(const DirListBox &dir);
int countEntries(const FileListBox &list);
QString selectedEntry(const FileListBox &list);
// The statistics line's caption, to which the entry count is appended.
inline const QString statisticsCaption = QStringLiteral("URLs in list: ");
// "URLs in list: " & count.
QString statisticsLine(int count);
// " Found: " & count, the found-count line of a search.
QString foundLine(int count);

Status loadEntry(const QString &path, RichTextBox &box);
// Saves the box's text to the entry. When the entry is the file the box last loaded,
// saved or created and something changed, replaced or deleted it since, nothing is
// written and Status::conflict() says which, unless the mode is ReplaceAnyway.
Status saveEntry(const QString &path, RichTextBox &box,
                 RichTextBox::SaveMode mode = RichTextBox::CheckFile);
// The question asked before a save replaces what became of the entry since the user
// began writing (`since`, e.g. "you opened it"); Yes replaces it.
QString conflictQuestion(const QString &name, const Status &conflict, const QString &since);
// Saves a new entry; an existing file is never replaced, and on failure nothing is
// left at the path. The box remembers the file it made.
Status createEntry(const QString &path, RichTextBox &box);
// Removes the one file or link at path; never a folder.
Status deleteEntry(const QString &path);

using entryfile::nameProblem;
// True when a file (or anything else) already answers to this entry path, or to the
// same name written in another Unicode normalisation.
inline bool entryExists(const QString &path)
{
    return entryfile::exists(path);
}

} // namespace store
