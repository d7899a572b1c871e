#include "entryfile/entryfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace entryfile {
namespace {

QString readFailure(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot read the entry \"%1\": %2").arg(path, reason);
}

QString writeFailure(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot write the entry \"%1\": %2").arg(path, reason);
}

QString tooLarge()
{
    return QStringLiteral("The file is larger than %1 MiB").arg(kMaxBytes >> 20);
}

Stamp stampOf(const struct stat &info)
{
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

// Why a name that is not a regular file is not replaced, in words for the user.
QString notRegular(mode_t mode)
{
    const char *kind = S_ISDIR(mode)                    ? "a folder"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISFIFO(mode)                 ? "a FIFO (named pipe)"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "something else";
    return QStringLiteral("it is %1, not a regular file, and only a regular file is replaced")
        .arg(QLatin1String(kind));
}

// The path with every link and ".." resolved, in its folders and at its end; empty, with
// errno set, when that fails.
QString realPath(const QString &path)
{
    char *real = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!real)
        return QString();
    const QString result = QFile::decodeName(real);
    ::free(real);
    return result;
}

// The last look before the rename. Renaming over a device, a FIFO, a socket or a folder
// would remove it, so one that took the file's place meanwhile is refused; a link is only
// a name, and the rename replaces the link, never what it leads to. With a stamp, the
// file must still be the one it describes.
Status checkTarget(const QString &path, const QString &target, const Stamp *expected)
{
    struct stat now {};
    if (::lstat(QFile::encodeName(target).constData(), &now) != 0) {
        if (errno != ENOENT)
            return Status::failure(writeFailure(path, qt_error_string(errno)));
        return expected
                   ? Status::conflicting(
                         Status::Conflict::Deleted,
                         writeFailure(path, QStringLiteral("it was deleted since it was read")))
                   : Status::success();
    }
    if (!S_ISREG(now.st_mode) && !S_ISLNK(now.st_mode))
        return Status::failure(writeFailure(path, notRegular(now.st_mode)));
    if (!expected)
        return Status::success();
    const Stamp found = stampOf(now);
    if (found.device != expected->device || found.inode != expected->inode)
        return Status::conflicting(
            Status::Conflict::Replaced,
            writeFailure(path, QStringLiteral("another file took its place since it was read")));
    if (found != *expected)
        return Status::conflicting(
            Status::Conflict::Changed,
            writeFailure(path, QStringLiteral("it was changed since it was read")));
    return Status::success();
}

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A new hidden file in the folder, named like QTemporaryFile's but made with the mode
// any new file gets (the kernel applies the umask), so no chmod follows.
int createTemporary(int dir, QByteArray &name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".sitebook-";
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        const int fd =
            ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The bytes in a hidden temporary beside the target, on the disk, with the mode given.
// QSaveFile would do the same, but its temporary name adds seven characters to the
// entry's, so it cannot save an entry whose name is near the file system's 255-byte
// limit; the hidden name here is short and never shown in the list.
Status writeTemporary(QTemporaryFile &temporary, const QString &path, const QString &target,
                      const QByteArray &bytes, mode_t mode, Stamp *written)
{
    temporary.setFileTemplate(QFileInfo(target).absolutePath() +
                              QStringLiteral("/.sitebook-XXXXXX"));
    if (!temporary.open())
        return Status::failure(writeFailure(path, temporary.errorString()));
    // A buffered write that fails only shows at the flush.
    if (temporary.write(bytes) != bytes.size() || !temporary.flush())
        return Status::failure(writeFailure(path, temporary.errorString()));
    if (::fsync(temporary.handle()) != 0)
        return Status::failure(writeFailure(path, qt_error_string(errno)));
    ::fchmod(temporary.handle(), mode);
    // The rename keeps the file's identity and time, so this is the stamp it will have.
    struct stat info {};
    if (written && ::fstat(temporary.handle(), &info) == 0)
        *written = stampOf(info);
    return Status::success();
}

} // namespace

namespace {

// A regular file read whole within kMaxBytes; `info` is the file as it was opened.
bool readBounded(const QString &path, QByteArray &contents, QString &reason, struct stat &info)
{
    // The open does not block, so a FIFO under the name is refused instead of hanging.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = qt_error_string(errno);
        return false;
    }
    const FdCloser closer{fd};

    if (::fstat(fd, &info) != 0) {
        reason = qt_error_string(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode) || !S_ISREG(info.st_mode) || info.st_size > kMaxBytes) {
        reason = S_ISDIR(info.st_mode)    ? qt_error_string(EISDIR)
                 : !S_ISREG(info.st_mode) ? QStringLiteral("Not a regular file")
                                          : tooLarge();
        return false;
    }

    QByteArray data;
    data.resize(static_cast<qsizetype>(info.st_size));
    qsizetype done = 0;
    for (;;) {
        if (done == data.size()) {
            // The file may have grown since fstat; read on, within the cap.
            if (data.size() >= kMaxBytes) {
                reason = tooLarge();
                return false;
            }
            data.resize(std::min<qsizetype>(data.size() + 65536, kMaxBytes + 1));
        }
        const ssize_t n = ::read(fd, data.data() + done, static_cast<size_t>(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            reason = qt_error_string(errno);
            return false;
        }
        if (n == 0)
            break;
        done += n;
    }
    data.truncate(done);
    contents = std::move(data);
    return true;
}

} // namespace

bool readWhole(const QString &path, QByteArray &contents, QString &reason)
{
    struct stat info {};
    return readBounded(path, contents, reason, info);
}

bool currentStamp(const QString &path, Stamp &stamp)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    stamp = stampOf(info);
    return true;
}

Status read(const QString &path, QByteArray &contents, Stamp *stamp)
{
    QString reason;
    struct stat info {};
    if (!readBounded(path, contents, reason, info))
        return Status::failure(readFailure(path, reason));
    // Taken before the first byte was read: a file written while it was being read
    // differs from its stamp, so a save checked against it asks first.
    if (stamp)
        *stamp = stampOf(info);
    return Status::success();
}

Status replace(const QString &path, const QByteArray &bytes, const Stamp *expected, Stamp *written)
{
    const QByteArray name = QFile::encodeName(path);
    // The new file gets the old one's permissions, or those a new file would get.
    struct stat old {};
    const bool replacing = ::stat(name.constData(), &old) == 0;
    if (!replacing && errno != ENOENT)
        return Status::failure(writeFailure(path, qt_error_string(errno)));
    if (replacing && !S_ISREG(old.st_mode))
        return Status::failure(writeFailure(path, notRegular(old.st_mode)));
    // The rename needs only the folder's permission; whether this user may change the
    // entry is the file's own.
    if (replacing && ::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) != 0)
        return Status::failure(
            writeFailure(path, QStringLiteral("you have no permission to change it (%1)")
                                   .arg(qt_error_string(errno))));

    // A link stays a link: the file it leads to gets the new text, and the temporary
    // is made beside that file, in its real folder.
    const QFileInfo info(path);
    QString target = replacing ? realPath(path) : realPath(info.path());
    if (target.isEmpty())
        return Status::failure(writeFailure(path, qt_error_string(errno)));
    if (!replacing)
        target += QLatin1Char('/') + info.fileName();

    QTemporaryFile temporary;
    if (Status done = writeTemporary(temporary, path, target, bytes,
                                     replacing ? old.st_mode & 07777 : newFileMode(), written);
        !done)
        return done;
    if (Status checked = checkTarget(path, target, expected); !checked)
        return checked;
    if (::rename(QFile::encodeName(temporary.fileName()).constData(),
                 QFile::encodeName(target).constData()) != 0)
        return Status::failure(writeFailure(path, qt_error_string(errno)));
    temporary.setAutoRemove(false);
    return Status::success();
}

Status create(const QString &path, const QByteArray &bytes, Stamp *written)
{
    const auto failure = [&path](const QString &reason) {
        return Status::failure(
            QStringLiteral("Cannot create the entry \"%1\": %2").arg(path, reason));
    };
    if (exists(path))
        return failure(QStringLiteral("an entry of that name already exists"));
    QTemporaryFile temporary;
    if (Status done = writeTemporary(temporary, path, path, bytes, newFileMode(), written); !done)
        return done;
    const QByteArray from = QFile::encodeName(temporary.fileName());
    const QByteArray to = QFile::encodeName(path);
    // Renamed into place only if the name is still free; where the file system cannot
    // rename on that condition, a hard link does the same.
    int result =
        ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (result != 0 && errno == EINVAL) {
        result = ::link(from.constData(), to.constData());
        if (result == 0)
            ::unlink(from.constData());
    }
    if (result != 0)
        return failure(errno == EEXIST ? QStringLiteral("an entry of that name already exists")
                                       : qt_error_string(errno));
    temporary.setAutoRemove(false);
    return Status::success();
}

std::vector<Status> createMany(const QString &folder, const std::vector<NewEntry> &entries)
{
    std::vector<Status> results(entries.size(), Status::success());
    const auto fail = [&](std::size_t i, const QString &reason) {
        results[i] = Status::failure(QStringLiteral("Cannot create the entry \"%1/%2\": %3")
                                         .arg(folder, entries[i].name, reason));
    };
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        const QString reason = qt_error_string(errno);
        for (std::size_t i = 0; i < entries.size(); ++i)
            fail(i, reason);
        return results;
    }
    const FdCloser closer{dir};

    // Every entry's bytes in a hidden temporary of its own, not yet flushed.
    std::vector<QByteArray> temporaries(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (const QString problem = nameProblem(entries[i].name); !problem.isEmpty()) {
            fail(i, problem);
            continue;
        }
        QByteArray temporary;
        const int fd = createTemporary(dir, temporary);
        if (fd < 0) {
            fail(i, qt_error_string(errno));
            continue;
        }
        bool written = writeAll(fd, entries[i].bytes);
        int error = errno;
        if (::close(fd) != 0 && written) {
            written = false;
            error = errno;
        }
        if (!written) {
            ::unlinkat(dir, temporary.constData(), 0);
            fail(i, qt_error_string(error));
            continue;
        }
        temporaries[i] = temporary;
    }

    // One flush puts the whole batch on the disk: a per-file fsync would cost a journal
    // commit for each entry. Only flushed bytes are given an entry's name.
    if (::syncfs(dir) != 0) {
        const QString reason = qt_error_string(errno);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (!temporaries[i].isEmpty()) {
                ::unlinkat(dir, temporaries[i].constData(), 0);
                fail(i, reason);
            }
        }
        return results;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (temporaries[i].isEmpty())
            continue;
        const char *from = temporaries[i].constData();
        const QByteArray to = QFile::encodeName(entries[i].name);
        int result = ::renameat2(dir, from, dir, to.constData(), RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            result = ::linkat(dir, from, dir, to.constData(), 0);
            if (result == 0)
                ::unlinkat(dir, from, 0);
        }
        if (result != 0) {
            const int error = errno;
            ::unlinkat(dir, from, 0);
            fail(i, error == EEXIST ? QStringLiteral("an entry of that name already exists")
                                    : qt_error_string(error));
        }
    }
    // The new names themselves on the disk.
    if (::fsync(dir) != 0) {
        const QString reason = qt_error_string(errno);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (results[i])
                fail(i, reason);
        }
    }
    return results;
}

QString nameProblem(const QString &name)
{
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("a name cannot contain \"/\"");
    if (name.contains(QChar(0)))
        return QStringLiteral("a name cannot contain a NUL character");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("\".\" and \"..\" name folders, not files");
    if (name.startsWith(QLatin1Char('.')))
        return QStringLiteral("a name beginning with \".\" would be hidden from the list");
    if (QFile::encodeName(name).size() > NAME_MAX)
        return QStringLiteral("the name is longer than the file system allows (%1 bytes)")
            .arg(NAME_MAX);
    return QString();
}

QString cutName(const QString &name, qsizetype bytes)
{
    if (QFile::encodeName(name).size() <= bytes)
        return name;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, name);
    qsizetype kept = 0;
    qsizetype used = 0;
    for (qsizetype at = characters.toNextBoundary(); at > 0; at = characters.toNextBoundary()) {
        used += QFile::encodeName(name.mid(kept, at - kept)).size();
        if (used > bytes)
            break;
        kept = at;
    }
    return name.left(kept);
}

QString mendedName(const QString &name)
{
    QString mended;
    mended.reserve(name.size());
    for (const QChar c : name) {
        if (c == u'/')
            mended += u'-';
        else if (c.category() == QChar::Other_Control)
            mended += u' ';
        else
            mended += c;
    }
    mended = mended.simplified();
    qsizetype start = 0;
    while (start < mended.size() && (mended[start] == u'.' || mended[start] == u' '))
        ++start;
    return cutName(mended.mid(start), NAME_MAX).trimmed();
}

bool exists(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
        return true;
    // Else the folder is read for the name in another normal form.
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QStringLiteral(".") : path.left(qMax<qsizetype>(slash, 1));
    const QString wanted = path.mid(slash + 1).normalized(QString::NormalizationForm_C);
    const QByteArray wantedBytes = QFile::encodeName(wanted);
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        // An ASCII name is its own normal form; only the others are decoded. A name that
        // is not valid UTF-8 is no entry, only the garbled look-alike of one.
        if (std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; })) {
            found = name == wantedBytes;
        } else {
            const QString decoded = QFile::decodeName(name.toByteArray());
            found = QFile::encodeName(decoded) == name &&
                    decoded.normalized(QString::NormalizationForm_C) == wanted;
        }
        if (found)
            break;
    }
    ::closedir(dir);
    return found;
}

} // namespace entryfile
