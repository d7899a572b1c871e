#pragma once

#include "entryfile/status.h"

#include <QString>
#include <QWidget>

// The directory list: it only remembers the process's current folder at the moment
// it was made, which is the base of every entry path for the whole run.
class DirListBox : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DirListBox)

public:
    explicit DirListBox(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // A failure, saying why, when there was no current folder to remember: it had been
    // deleted, or the system could not tell its path. path() is then empty.
    Status status() const;

private:
    QString m_path;
    int m_error = 0;
};
