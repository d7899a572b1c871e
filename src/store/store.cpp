#include "store/store.h"

#include "controls/filelist/dirlistbox.h"
#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"

#include <QFile>

#include <cerrno>
#include <cstring>
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

bool entryFolderMissing(const DirListBox &dir)
{
    return !entryfile::exists(entryFolder(dir));
}

Status createEntryFolder(const DirListBox &dir)
{
    const QString folder = entryFolder(dir);
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0) {
        const int error = errno;
        return Status::failure(
            QStringLiteral("Cannot create the folder \"%1\": %2").arg(folder, systemReason(error)));
    }
    return Status::success();
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
    return statisticsCaption + QString::number(count);
}

QString foundLine(int count)
{
    return QStringLiteral(" Found: ") + QString::number(count);
}

Status loadEntry(const QString &path, RichTextBox &box)
{
    return box.loadFile(path);
}

Status saveEntry(const QString &path, RichTextBox &box, RichTextBox::SaveMode mode)
{
    return box.saveFile(path, mode);
}

QString conflictQuestion(const QString &name, const Status &conflict, const QString &since)
{
    switch (conflict.conflict()) {
    case Status::Conflict::Deleted:
        return QStringLiteral("The entry \"%1\" was deleted since %2. Save your text under "
                              "that name again?")
            .arg(name, since);
    case Status::Conflict::Replaced:
        return QStringLiteral("The entry \"%1\" was replaced by another file since %2. "
                              "Replace it with your text?")
            .arg(name, since);
    default:
        return QStringLiteral("The entry \"%1\" was changed by another program since %2. "
                              "Replace it with your text?")
            .arg(name, since);
    }
}

Status createEntry(const QString &path, RichTextBox &box)
{
    return box.createFile(path);
}

Status deleteEntry(const QString &path)
{
    // unlink() never removes a folder, whatever the name says.
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        return Status::failure(
            QStringLiteral("Cannot delete the entry \"%1\": %2").arg(path, systemReason(errno)));
    return Status::success();
}

} // namespace store
