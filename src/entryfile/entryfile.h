#pragma once

#include "entryfile/status.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Entry files on disk: what a name may be, reading one whole within a bound, and
// writing one so that a failure at any moment leaves the old bytes or the new ones,
// never a mix. Nothing here knows of windows or controls.
namespace entryfile {

// Larger entries are not notes about a web site; reading them whole could exhaust memory.
constexpr qint64 kMaxBytes = 64 * 1024 * 1024;

// What a file was when it was read or written. A save that holds it can tell whether
// anything wrote the file, put another in its place or deleted it since.
struct Stamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modified = 0; // nanoseconds since the epoch
    friend bool operator==(const Stamp &, const Stamp &) = default;
};

// The stamp of the file the path names now (a link followed); false when there is none.
bool currentStamp(const QString &path, Stamp &stamp);

// Reads a regular file (or the file a link points to) whole. Anything else under the
// name, a folder, a device or a FIFO, is refused without blocking, and so is a file
// larger than kMaxBytes. The stamp, when asked for, is the file's as it was opened.
Status read(const QString &path, QByteArray &contents, Stamp *stamp = nullptr);
// The same bounded read for any file a user names, such as one to import; on failure
// `reason` holds the system's reason or the size refusal.
bool readWhole(const QString &path, QByteArray &contents, QString &reason);

// Replaces the file whole or not at all: the bytes go to a short hidden temporary beside
// it, are flushed to the disk and only then renamed over it. A link stays a link (its
// target, in the target's own folder, gets the bytes) and the file keeps its permissions.
// Only a regular file is ever replaced: anything else at the name, and a file this user
// may not write, is refused and left as it is. With `expected`, the file must still be
// the one it describes when the rename is about to happen; if not, nothing is written
// and Status::conflict() says what became of it. `written` gets the new file's stamp.
Status replace(const QString &path, const QByteArray &bytes, const Stamp *expected = nullptr,
               Stamp *written = nullptr);

// Writes a new file in the same way, never replacing anything already at the path.
Status create(const QString &path, const QByteArray &bytes, Stamp *written = nullptr);

struct NewEntry {
    QString name;
    QByteArray bytes;
};
// Creates many new entries in the folder as one batch, with create()'s promise for each
// but made durable together: every entry's bytes go to a hidden temporary of its own,
// one syncfs() puts them all on the disk, and only then is each renamed to its name,
// never over anything. Stopped at any moment, the batch leaves whole entries or none,
// never an empty or partial one. One Status per entry, in order.
std::vector<Status> createMany(const QString &folder, const std::vector<NewEntry> &entries);

// Why a typed name cannot be an entry's file name, or an empty string when it can. A
// name that would address anything outside the entry folder is always refused.
QString nameProblem(const QString &name);

// A name from elsewhere (a page title) mended so that nameProblem() has nothing to say:
// "/" becomes "-", control characters become spaces, white space is folded to single
// spaces, leading dots (and spaces after them) go, and the name is cut to 255 bytes.
// Empty when nothing is left.
QString mendedName(const QString &name);

// The longest start of the name that takes at most `bytes` bytes on disk, cut between
// characters as the user sees them (an accent stays with its letter).
QString cutName(const QString &name, qsizetype bytes);

// True when a file (or anything else) already answers to the path, or when its folder
// holds the same name in another Unicode normalisation ("e" and a combining accent for
// "é", as macOS and some copy tools write it), which would look the same in a list.
bool exists(const QString &path);

} // namespace entryfile
