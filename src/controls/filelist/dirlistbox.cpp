#include "controls/filelist/dirlistbox.h"

#include <QDir>

DirListBox::DirListBox(QWidget *parent) : QWidget(parent), m_path(QDir::currentPath()) {}
