#include "controls/filelist/dirlistbox.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

DirListBox::DirListBox(QWidget *parent) : QWidget(parent)
{
    // Asked directly rather than through QDir::currentPath(), which gives "" when the
    // folder has been deleted, so that every path would start at the root.
    char *path = ::getcwd(nullptr, 0);
    if (path == nullptr) {
        m_error = errno;
        return;
    }
    m_path = QFile::decodeName(path);
    std::free(path);
}

Status DirListBox::status() const
{
    if (m_error == 0)
        return Status::success();
    if (m_error == ENOENT)
        return Status::failure(QStringLiteral("The current folder no longer exists: it has "
                                              "been deleted since it was entered"));
    return Status::failure(QStringLiteral("Cannot tell the path of the current folder: %1")
                               .arg(qt_error_string(m_error)));
}
