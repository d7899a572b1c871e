#pragma once

#include "bookmarks/bookmarkfile.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// Bookmarks into and out of the entry folder: one entry per site bookmark, written as
// the program writes entries, and one bookmark per entry that has a site address.
namespace bookmarks {

// The names in use in a folder, compared in Unicode normalisation form C, so that a
// name spelled with composed or decomposed accents is one name.
class TakenNames {
public:
    void add(const QString &name);
    // The name, or if it is taken the name with " (2)", " (3)"... (its base cut so that
    // the whole stays within 255 bytes); the result is taken from then on.
    QString claim(const QString &name);

private:
    QSet<QString> m_taken;
    QHash<QString, int> m_nextNumber;
};

struct ImportSummary {
    qsizetype imported = 0;
    qsizetype duplicates = 0;   // address already an entry's, or earlier in the file
    qsizetype otherSchemes = 0; // not http, https, ftp or mailto
    qsizetype unreadable = 0;   // existing entries whose address could not be read
    QStringList failures;       // what failed and why, one line per bookmark
};

// Called now and then with the bookmarks handled so far and their number.
using Progress = std::function<void(qsizetype done, qsizetype total)>;

// Makes an entry of every site bookmark whose address no entry of the folder (nor an
// earlier bookmark) has, never changing an existing entry. Entries are written in
// batches with entryfile::createMany, so a failure part way leaves only whole entries
// and importing again completes the work.
ImportSummary importInto(const QString &listFolder, const BookmarkFile &file,
                         const Progress &progress = {});

struct ExportSummary {
    qsizetype exported = 0;
    qsizetype withoutAddress = 0;
    QStringList failures; // entries that could not be read
};

// The whole list as a bookmark file: each entry's name as the title, its address as
// the HREF and the rest of its text as the description.
QByteArray exportList(const QString &listFolder, ExportSummary &summary);

} // namespace bookmarks
