#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class RichTextBox;

// The description editor: edits the rich text of one entry and saves it back to the
// file it was loaded from, whose path its hidden label keeps.
class editprofile : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(editprofile)

public:
    // There is at most one editor: the open one, or a new one made from the design.
    static editprofile *openOne();
    static QString designedCaption() { return QStringLiteral("Edit URL Description"); }

    RichTextBox *RichTextBox1;
    QPushButton *Command1;
    QLabel *Label1;

private:
    editprofile();

    void Command1_Click();
};
