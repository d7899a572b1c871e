#include "store/store.h"

#include "controls/filelist/dirlistbox.h"
#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"

#include <QFile>

#include <cerrno>
#include <cstring>
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
    return statisticsCaption + QString::number(count);
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
    return entryfile::create(path, box.textRTF());
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
