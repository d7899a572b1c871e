#include "store/store.h"

#include "controls/filelist/dirlistbox.h"
#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {
namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString entryFolder(const DirListBox &dir)
{
    return dir.path() + QStringLiteral("/List");
}

QString entryPath(const DirListBox &dir, const QString &name)
{
    return entryFolder(dir) + QStringLiteral("/") + name;
}

Status pointListAtFolder(FileListBox &list, const DirListBox &dir)
{
    return list.setPath(entryFolder(dir));
}

int countEntries(const FileListBox &list)
{
    return list.listCount();
}

QString selectedEntry(const FileListBox &list)
{
    return list.fileName();
}

QString statisticsLine(int count)
{
    return QStringLiteral("URLs in list: ") + QString::number(count);
}

Status loadEntry(const QString &path, RichTextBox &box)
{
    return box.loadFile(path);
}

Status saveEntry(const QString &path, const RichTextBox &box)
{
    return box.saveFile(path);
}

Status createEntry(const QString &path, const RichTextBox &box)
{
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return Status::failure(
                QStringLiteral(
                    "Cannot create the entry \"%1\": an entry of that name already exists")
                    .arg(path));
        return Status::failure(
            QStringLiteral("Cannot create the entry \"%1\": %2").arg(path, systemReason(error)));
    }
    ::close(fd);
    Status saved = box.saveFile(path);
    if (!saved)
        ::unlink(encoded.constData());
    return saved;
}

Status deleteEntry(const QString &path)
{
    // unlink() never removes a folder, whatever the name says.
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        return Status::failure(
            QStringLiteral("Cannot delete the entry \"%1\": %2").arg(path, systemReason(errno)));
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

bool entryExists(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace store
