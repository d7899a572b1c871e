#pragma once

#include "controls/twips.h"
#include "Form1/autosizelabel.h"

#include <QKeySequence>
#include <QList>
#include <QWidget>

class DirListBox;
class QAbstractButton;
class QKeyEvent;
class FileListBox;
class PictureButton;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class RichTextBox;

// The main window. Its controls are its only state: every handler reads what it
// needs from them afresh and writes its results back to them.
class Form1 : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    explicit Form1(QWidget *parent = nullptr);

    // The program's name, version and icon, set once before the first window is made.
    static void setUpApplication();

    // The load handler: points the list at the entry folder and writes the count.
    // False when the list cannot be shown; the failure has been reported by then.
    bool Form1_Load();

    // Client heights in logical pixels: as designed (the new-entry band hidden) and
    // while a new entry is being written (the band shown whole). The adding height is
    // the outer 6030 twips less the 375 that frame and title bar took where the window
    // was first drawn, so the band shows whole whatever frame the desktop adds.
    static constexpr int normalHeight = tw(4770);
    static constexpr int addingHeight = tw(5655);

    // The design's controls, named as the program knows them.
    QGroupBox *Frame1;
    QLabel *Label2;
    QLineEdit *Text1;
    QLabel *l;
    FileListBox *File1;
    QGroupBox *Frame2;
    RichTextBox *Text2;
    QGroupBox *Frame3;
    AutoSizeLabel *Label1;
    PictureButton *Command3;
    PictureButton *Command5;
    PictureButton *Command6;
    PictureButton *Command7;
    QTimer *Timer1;
    RichTextBox *g;
    QPushButton *Command4;
    QPlainTextEdit *about;
    QLabel *Group;
    QLabel *Image2;
    QLabel *Image3;
    RichTextBox *R;
    DirListBox *Dir1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // A link dropped from a browser starts an add, as Command3 does, for that address.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createControls();
    void setTabOrders();
    void connectHandlers();
    void describeControls();
    void addShortcut(const QList<QKeySequence> &keys, QAbstractButton *button);
    void watchPointer(QWidget *control);

    // Also run, not by the user, when the list finds the selected entry's file changed.
    void File1_Click(bool byUser = true);
    void File1_FolderChange();
    void File1_DblClick();
    bool File1_KeyDown(const QKeyEvent &key);
    void Text1_Change();
    void showFoundCount();
    bool Text1_KeyDown(const QKeyEvent &key);
    void Timer1_Timer();
    void Command3_Click();
    // The steps of an add, the name prompt holding the proposed name; true once the new
    // entry exists and the window is in the adding state.
    bool beginAdd(const QString &proposedName);
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();

    // The hover pictures: one of the four buttons highlighted, or none.
    void showPictures(const QWidget *highlighted);
    QWidget *pointerControlAt(const QPoint &globalPos) const;
    void setAddingState(bool adding);
};
