#pragma once

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

private:
    const QString m_path;
};
