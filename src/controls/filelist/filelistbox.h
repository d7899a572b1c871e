#pragma once

#include "controls/filelist/filelistmodel.h"
#include "entryfile/status.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QListView>
#include <QString>

#include <utility>

class QFileSystemWatcher;
class QTimer;

// The file list: the names of the regular files (and links to regular files) of one
// folder that match a wildcard pattern, in case-insensitive alphabetical order, with
// at most one selected. Hidden names (beginning with ".") and folders are never shown.
// A name cut short at the list's width shows whole as the row's tooltip.
//
// The list follows its folder: where the system can report changes (inotify), names
// that other programs make or remove are shown or dropped by themselves, and a change
// to the selected name's file is passed on. Bursts of changes are taken in together,
// read on a worker thread so the window never waits for a large folder.
class FileListBox : public QListView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileListBox)

public:
    explicit FileListBox(QWidget *parent = nullptr);
    ~FileListBox() override;

    // Points the list at a folder and reads it at once. A folder that cannot be read
    // is a failure; the list then keeps its previous path and names.
    Status setPath(const QString &path);
    QString path() const;

    // Takes a new pattern ("*" any run of characters, "?" any one character, every
    // other character literal, letter case and Unicode normalisation ignored) and shows
    // the names that match, reading the folder again unless it is provably unchanged
    // since the last read.
    Status setPattern(const QString &pattern);
    QString pattern() const;

    // Reads the folder again with the current path and pattern.
    Status refresh();

    // The selected name without its folder, or "" when nothing is selected. When the list
    // is read again or filtered anew, the selected name stays selected while it is still
    // shown; otherwise nothing is selected, and showing it later does not select it again.
    QString fileName() const;
    // The number of names shown now.
    int listCount() const;

    // Selects the shown name in this row as the user's choice, raising fileClicked as
    // a click on it does. A row that is not shown changes nothing.
    void chooseRow(int row);

signals:
    // The user changed the selection, with the mouse or the keyboard.
    void fileClicked();
    // Something changed the folder or the selected name's file behind the list's back,
    // and the list has taken it in: the names are those of the folder now, filtered by
    // the pattern, and the selection is kept while its name is shown.
    void folderChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;

private:
    template <typename Change> Status keepingSelection(Change change);
    template <typename Handle> void handleUserInput(Handle handle, bool reshowSelected = false);
    void selectName(const QString &name, bool scroll);

    // Following the folder.
    void noticed(bool inFolder);
    void settled();
    void startReading();
    void readingDone();
    void watchFolderAndSelected(bool renewFileWatch = false);
    bool changePending() const;

    FileListModel *m_model;
    // None where the system cannot report changes: Qt would poll instead, which the
    // list never does.
    QFileSystemWatcher *m_watcher = nullptr;
    // Restarted on each change, so a burst is taken in once it pauses, or at the latest
    // a moment after it began.
    QTimer *m_settle;
    QElapsedTimer m_burst;
    QFutureWatcher<FileListModel::Reading> m_reading;
    bool m_readInFlight = false;
    bool m_readAgain = false;
    // The next settle reads the folder (not only the selected file changed).
    bool m_folderChanged = false;
    // A change was noticed that folderChanged() has not told yet.
    bool m_unreported = false;
    // The next read, or the one under way, only makes sure of a listing read too soon
    // after a change.
    bool m_makingSure = false;
    bool m_readingToMakeSure = false;
    std::pair<quint64, quint64> m_watchedFolder;
    QString m_watchedFile;
    // Set while the view handles the user's mouse or keyboard, so that only the
    // selection changes the user makes raise fileClicked.
    bool m_inUserInput = false;
    bool m_userChangedSelection = false;
};
