#pragma once

#include "entryfile/status.h"

#include <QListView>
#include <QString>

class FileListModel;

// The file list: the names of the regular files (and links to regular files) of one
// folder that match a wildcard pattern, in case-insensitive alphabetical order, with
// at most one selected. Hidden names (beginning with ".") and folders are never shown.
// A name cut short at the list's width shows whole as the row's tooltip.
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

    FileListModel *m_model;
    // Set while the view handles the user's mouse or keyboard, so that only the
    // selection changes the user makes raise fileClicked.
    bool m_inUserInput = false;
    bool m_userChangedSelection = false;
};
