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

// Reads a regular file (or the file a link points to) whole. Anything else under the
// name, a folder, a device or a FIFO, is refused without blocking, and so is a file
// larger than kMaxBytes.
Status read(const QString &path, QByteArray &contents);

// Replaces the file whole or not at all: the bytes go to a short hidden temporary beside
// it, are flushed to the disk and only then renamed over it. A link stays a link (its
// target gets the bytes) and the file keeps its permissions.
Status replace(const QString &path, const QByteArray &bytes);

// Writes a new file in the same way, never replacing anything already at the path.
Status create(const QString &path, const QByteArray &bytes);

// Why a typed name cannot be an entry's file name, or an empty string when it can. A
// name that would address anything outside the entry folder is always refused.
QString nameProblem(const QString &name);

// True when a file (or anything else) already answers to the path.
bool exists(const QString &path);

} // namespace entryfile
