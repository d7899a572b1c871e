#pragma once

#include <QString>

class QWidget;

// The modal message box and input box, behind one door so that tests can answer
// them from a script without any window appearing.
namespace dialogs {

// Button and icon codes, and the answers, as the program's callers pass and read them.
enum Code : int {
    OkOnly = 0,
    YesNo = 4,
    Critical = 16,
    Information = 64,
};
enum Answer : int {
    Ok = 1,
    Yes = 6,
    No = 7,
};

inline const QString defaultTitle = QStringLiteral("Sitebook");

// Shows a modal message box and returns the answer (Ok, Yes or No).
int msgBox(const QString &prompt, int code = OkOnly, const QString &title = defaultTitle);

// Shows the modal input box and returns the typed text, or "" on Cancel.
QString inputBox(const QString &prompt, const QString &title = defaultTitle);

// What actually shows the boxes. The default one uses QMessageBox and QInputDialog;
// a test installs its own.
class Provider {
public:
    virtual ~Provider() = default;
    virtual int msgBox(const QString &prompt, int code, const QString &title) = 0;
    virtual QString inputBox(const QString &prompt, const QString &title) = 0;
};

// Installs a provider (nullptr restores the default) and returns the previous one.
Provider *setProvider(Provider *provider);

} // namespace dialogs
