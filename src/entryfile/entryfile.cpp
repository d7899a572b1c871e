#include "entryfile/entryfile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <climits>
#include <cstdio>
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

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

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
                      const QByteArray &bytes, mode_t mode)
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
    return Status::success();
}

} // namespace

Status read(const QString &path, QByteArray &contents)
{
    // The open does not block, so a FIFO under the entry's name is refused instead of
    // hanging the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Status::failure(readFailure(path, qt_error_string(errno)));
    const FdCloser closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return Status::failure(readFailure(path, qt_error_string(errno)));
    if (S_ISDIR(info.st_mode))
        return Status::failure(readFailure(path, qt_error_string(EISDIR)));
    if (!S_ISREG(info.st_mode))
        return Status::failure(readFailure(path, QStringLiteral("Not a regular file")));
    if (info.st_size > kMaxBytes)
        return Status::failure(readFailure(path, tooLarge()));

    QByteArray data;
    data.resize(static_cast<qsizetype>(info.st_size));
    qsizetype done = 0;
    for (;;) {
        if (done == data.size()) {
            // The file may have grown since fstat; read on, within the cap.
            if (data.size() >= kMaxBytes)
                return Status::failure(readFailure(path, tooLarge()));
            data.resize(std::min<qsizetype>(data.size() + 65536, kMaxBytes + 1));
        }
        const ssize_t n = ::read(fd, data.data() + done, static_cast<size_t>(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Status::failure(readFailure(path, qt_error_string(errno)));
        }
        if (n == 0)
            break;
        done += n;
    }
    data.truncate(done);
    contents = std::move(data);
    return Status::success();
}

Status replace(const QString &path, const QByteArray &bytes)
{
    // A link stays a link: its target is what gets the new text.
    QString target = path;
    if (const QFileInfo info(path); info.isSymLink() && info.exists())
        target = info.canonicalFilePath();

    // The new file gets the old one's permissions, or those a new file would get.
    struct stat old {};
    const bool replacing =
        ::stat(QFile::encodeName(target).constData(), &old) == 0 && S_ISREG(old.st_mode);
    QTemporaryFile temporary;
    if (Status written =
            writeTemporary(temporary, path, target, bytes, replacing ? old.st_mode & 07777 : newFileMode());
        !written)
        return written;
    if (::rename(QFile::encodeName(temporary.fileName()).constData(),
                 QFile::encodeName(target).constData()) != 0)
        return Status::failure(writeFailure(path, qt_error_string(errno)));
    temporary.setAutoRemove(false);
    return Status::success();
}

Status create(const QString &path, const QByteArray &bytes)
{
    const auto failure = [&path](const QString &reason) {
        return Status::failure(
            QStringLiteral("Cannot create the entry \"%1\": %2").arg(path, reason));
    };
    if (exists(path))
        return failure(QStringLiteral("an entry of that name already exists"));
    QTemporaryFile temporary;
    if (Status written = writeTemporary(temporary, path, path, bytes, newFileMode()); !written)
        return written;
    const QByteArray from = QFile::encodeName(temporary.fileName());
    const QByteArray to = QFile::encodeName(path);
    // Renamed into place only if the name is still free; where the file system cannot
    // rename on that condition, a hard link does the same.
    int result = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
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

bool exists(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace entryfile
