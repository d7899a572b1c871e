#pragma once

#include <QString>

class QWidget;

// The modal message box and input box, behind one door so that tests can answer
// them from a script without any window appearing.
namespace dialogs {

// Button, icon and default-button codes, added together, and the answers, as the
// program's callers pass and read them. Escape gives the answer Ok in an OkOnly box,
// No in a YesNo box and Cancel in a SaveDiscardCancel box.
enum Code : int {
    OkOnly = 0,
    // The classic Yes/No/Cancel box with its buttons named for what they do.
    SaveDiscardCancel = 3,
    YesNo = 4,
    Critical = 16,
    Question = 32,
    Information = 64,
    DefaultButton2 = 256, // the second button (No, Discard) is the default
};
enum Answer : int {
    Ok = 1,
    Cancel = 2,
    Yes = 6,
    No = 7,
    Save = Yes,
    Discard = No,
};

inline const QString defaultTitle = QStringLiteral("Sitebook");

// Shows a modal message box and returns the answer.
int msgBox(const QString &prompt, int code = OkOnly, const QString &title = defaultTitle);

// Shows the modal input box, its text field holding defaultText, and returns the text
// as the user leaves it, or "" on Cancel.
QString inputBox(const QString &prompt, const QString &title = defaultTitle,
                 const QString &defaultText = QString());

// What actually shows the boxes. The default one uses QMessageBox and QInputDialog;
// a test installs its own.
class Provider {
public:
    virtual ~Provider() = default;
    virtual int msgBox(const QString &prompt, int code, const QString &title) = 0;
    virtual QString inputBox(const QString &prompt, const QString &title,
                             const QString &defaultText) = 0;
};

// Installs a provider (nullptr restores the default) and returns the previous one.
Provider *setProvider(Provider *provider);

} // namespace dialogs
