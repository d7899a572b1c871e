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

    // True when the text may leave the window (`before` says for what, e.g. "closing"):
    // it holds no unsaved changes, or the user asked to save them and they were saved,
    // or chose to discard them. False leaves everything as it was.
    bool mayLetTextGo(const QString &before);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    editprofile();

    void Command1_Click();
    // Saves the text to the loaded entry, asking first when the file changed since.
    bool saveText();
};
