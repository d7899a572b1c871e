#pragma once

#include "entryfile/status.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The Netscape bookmark file that every browser exports and imports: <DL> lists of
// <DT> items, an <H3> naming the folder whose <DL> follows it, an <A HREF ADD_DATE> per
// bookmark and an optional <DD> description after it.
namespace bookmarks {

struct Folder {
    int parent = -1; // index into BookmarkFile::folders; -1 at the top
    QString name;
};

struct Bookmark {
    QString title;       // whitespace runs folded to one space
    QString address;     // the HREF, entities decoded
    QString description; // its lines folded and trimmed, joined by '\n'
    int folder = -1;     // index into BookmarkFile::folders; -1 at the top
    qint64 added = 0;    // seconds since 1970; 0 when the file gives no date
};

struct BookmarkFile {
    std::vector<Folder> folders;
    std::vector<Bookmark> bookmarks;

    // "Reading / Tools": the folder's name after those of the folders around it.
    QString folderPath(int folder) const;
};

// Bounds on what a file from anywhere can make a BookmarkFile hold. Folders nested
// deeper than kMaxFolderDepth count as their ancestor at that depth.
constexpr qsizetype kMaxBookmarks = 100000;
constexpr int kMaxFolderDepth = 32;

// Reads a bookmark file with libxml2's HTML parser, in the charset its <META> declares
// (UTF-8 when it declares none). Fails, saying why, for a file that is not a bookmark
// file, holds no bookmarks or holds more than kMaxBookmarks.
Status read(const QByteArray &html, BookmarkFile &file);

// A bookmark file in UTF-8 with the standard header: one <DT><A HREF> per bookmark in
// one list, its description (line breaks kept) in a <DD> after it.
QByteArray write(const std::vector<Bookmark> &bookmarks);

} // namespace bookmarks
