#pragma once

#include "controls/dialogs/dialogs.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class FileListBox;
class Form1;
class RichTextBox;
class editprofile;

namespace testsupport {

// Answers the program's message and input boxes from a script and records every
// question, so a test sees what the user would have been asked.
class ScriptedDialogs final : public dialogs::Provider {
public:
    struct Asked {
        QString prompt;
        int code; // 0 for the input box
        QString title;
        QString defaultText; // what the input box's field held when it was shown
    };

    ScriptedDialogs() : m_previous(dialogs::setProvider(this)) {}
    ~ScriptedDialogs() override { dialogs::setProvider(m_previous); }
    Q_DISABLE_COPY_MOVE(ScriptedDialogs)

    // Answers given in order; when the script runs out, messages get Ok and inputs "".
    void answerInputs(const QStringList &texts) { m_inputs += texts; }
    void answerMessages(const QList<int> &answers) { m_answers += answers; }

    const QList<Asked> &asked() const { return m_asked; }
    // The prompts shown so far, only those of the given kind (such as dialogs::Critical,
    // the error reports) when one is given.
    QStringList prompts(int kind = 0) const;
    QStringList errors() const { return prompts(dialogs::Critical); }
    void clear() { m_asked.clear(); }

    int msgBox(const QString &prompt, int code, const QString &title) override;
    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultText) override;

private:
    QList<Asked> m_asked;
    QStringList m_inputs;
    QList<int> m_answers;
    dialogs::Provider *m_previous;
};

// A temporary base folder holding a List folder, made the current folder while it
// lives, so a window made now takes it as its base directory.
class Sandbox {
public:
    explicit Sandbox(bool withList = true);
    ~Sandbox() { QDir::setCurrent(m_previousDir); }

    QString base() const { return m_dir.path(); }
    QString list() const { return m_dir.path() + QStringLiteral("/List"); }
    QString entry(const QString &name) const { return list() + QLatin1Char('/') + name; }

    void write(const QString &name, const QByteArray &bytes) const;
    // The entry's bytes, or "<unreadable>".
    QByteArray read(const QString &name) const;
    bool exists(const QString &name) const { return QFileInfo::exists(entry(name)); }

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
};

// The bytes an entry holding one paragraph of plain text is saved as.
QByteArray plainEntry(const QByteArray &escapedText);

// Clicks the named entry in the list as a user would; false if it is not shown.
bool clickEntry(FileListBox &list, const QString &name);
QStringList shownNames(const FileListBox &list);

// Everything in the folder, hidden names included, in code-point order; "." and ".." left out.
QStringList folderContents(const QString &folder);

// Clicks the entry and waits for the selection timer to enable the edit and delete
// buttons. False when the list does not show the name.
bool select(Form1 &form, const QString &name);
// Types into the search box key by key, as a user does.
void typeSearch(Form1 &form, const QString &text);
// Types at the end of the box's text, key by key.
void typeAtEnd(RichTextBox &box, const QString &text);
// Clicks "Add new URL to list", answering the input box with the name.
void startAdd(Form1 &form, ScriptedDialogs &dialogs, const QString &name);
// Clicks "Edit ULR's information" on the selected entry; the editor shown, if any.
editprofile *openEditor(Form1 &form);
editprofile *shownEditor();
// Clicks the editor's "Save" and waits for it to close; false if it stays.
bool saveAndClose(editprofile &editor);
// Deletes every editor window, shown or lingering.
void closeEditors();
// Clicks "Delete selected URL", answering the question with the answer.
void deleteSelected(Form1 &form, ScriptedDialogs &dialogs, int answer);

// Empty when exactly `count` error reports were shown and the last names the path;
// else what was shown, for the failure message.
QString reportMismatch(const ScriptedDialogs &dialogs, qsizetype count, const QString &path);

// A sandbox, scripted dialogs and, once open() is called (after the test has put its
// entries in place), the main window on them.
struct Session {
    testsupport::Sandbox sandbox;
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    // Writes these entries, each holding "<name> notes", and opens the main window.
    bool open(const QStringList &entries = {});
    // The whole round a user makes with a new entry: add it with the text, select it and
    // read the text back. Empty on success, else what went wrong.
    QString addAndShow(const QString &name, const QString &text);
    QString stillUsable() { return addAndShow(QStringLiteral("after"), QStringLiteral("usable")); }
};

// The process's peak resident memory since the last reset (or since it started), in
// MiB. Resetting lets a test measure one step rather than the worst of all before it.
void resetPeakMemory();
qint64 peakMemoryMiB();
// True when the program was built with AddressSanitizer, which slows it several times.
bool sanitized();

// A small tmpfs mounted on the (empty) folder for the life of the object, so a test can
// fill a real disk. Where mounting is refused (not root), mounted() is false and why()
// says why; a test then skips.
class SmallDisk {
public:
    SmallDisk(const QString &folder, int kibibytes);
    ~SmallDisk();
    Q_DISABLE_COPY_MOVE(SmallDisk)

    bool mounted() const { return m_mounted; }
    QString why() const { return m_why; }
    // Fills every free block with a hidden file; free() removes it.
    bool fill();
    void free();

private:
    QString m_folder;
    bool m_mounted = false;
    QString m_why;
};

// Sets or clears the immutable attribute (chattr +i), which stops even root from
// changing, replacing or removing the file or the folder's names. False where the file
// system has no such attribute or the test may not set it.
bool setImmutable(const QString &path, bool immutable);

} // namespace testsupport
