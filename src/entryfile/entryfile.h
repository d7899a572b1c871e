#pragma once

#include "entryfile/status.h"

#include <QByteArray>
#include <QString>

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

// Reads a regular file (or the file a link points to) whole. Anything else under the
// name, a folder, a device or a FIFO, is refused without blocking, and so is a file
// larger than kMaxBytes. The stamp, when asked for, is the file's as it was opened.
Status read(const QString &path, QByteArray &contents, Stamp *stamp = nullptr);

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

// Why a typed name cannot be an entry's file name, or an empty string when it can. A
// name that would address anything outside the entry folder is always refused.
QString nameProblem(const QString &name);

// True when a file (or anything else) already answers to the path.
bool exists(const QString &path);

} // namespace entryfile
