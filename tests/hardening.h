#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class Form1;
class editprofile;

namespace testsupport {
class Sandbox;
class ScriptedDialogs;
} // namespace testsupport

// Helpers shared by the fault, bad-input and name tests: driving the windows the way
// a user does, and the faults a root user on a Linux machine can really cause.
namespace hardening {

// Everything in the folder, hidden names included, in code-point order; "." and ".." left out.
QStringList folderContents(const QString &folder);

// Clicks the entry and waits for the selection timer to enable the edit and delete
// buttons. False when the list does not show the name.
bool select(Form1 &form, const QString &name);
// Types into the search box key by key, as a user does.
void typeSearch(Form1 &form, const QString &text);
// Empties the search box with the keyboard.
void clearSearch(Form1 &form);
// Clicks "Add new URL to list", answering the input box with the name.
void startAdd(Form1 &form, testsupport::ScriptedDialogs &dialogs, const QString &name);
// Types into the new-entry box and clicks "Save".
void typeAndSave(Form1 &form, const QString &text);
// Clicks "Edit ULR's information" on the selected entry; the editor shown, if any.
editprofile *openEditor(Form1 &form);
editprofile *shownEditor();
// Deletes every editor window, shown or lingering.
void closeEditors();
// Clicks "Delete selected URL", answering the question with the answer.
void deleteSelected(Form1 &form, testsupport::ScriptedDialogs &dialogs, int answer);

// The whole round a user makes with a new entry: add it with the text, see it listed,
// select it and read the text back. Returns an empty string on success, else what
// went wrong, so a test can say why the program is no longer usable.
QString addAndShow(Form1 &form, testsupport::ScriptedDialogs &dialogs,
                   const testsupport::Sandbox &sandbox, const QString &name, const QString &text);

// The process's peak resident memory since the last reset (or since it started), in
// MiB. Resetting lets a test measure one step rather than the worst of all before it.
void resetPeakMemory();
qint64 peakMemoryMiB();
// True when the program was built with AddressSanitizer, which slows it several times.
bool sanitized();

// A small tmpfs mounted on a folder for the life of the object, so a test can fill a
// real disk or make it read-only. Root can mount on the machines the tests run on;
// where mounting is refused, mounted() is false and why() says why.
class SmallDisk {
public:
    SmallDisk(const QString &folder, int kibibytes);
    ~SmallDisk();
    Q_DISABLE_COPY_MOVE(SmallDisk)

    bool mounted() const { return m_mounted; }
    QString why() const { return m_why; }
    // Fills every free block with a hidden file; freeing removes it again.
    bool fill();
    void free();
    bool setReadOnly(bool readOnly);
    static QString fillerName() { return QStringLiteral(".filler"); }

private:
    QString m_folder;
    bool m_mounted = false;
    QString m_why;
};

// A disk that can be made full: the SmallDisk above where mounting works, otherwise
// a file-size limit of zero for the process (RLIMIT_FSIZE, with SIGXFSZ ignored so a
// write fails with EFBIG instead of killing the program). Made on the empty folder.
class FullDisk {
public:
    explicit FullDisk(const QString &folder);
    ~FullDisk();
    Q_DISABLE_COPY_MOVE(FullDisk)

    QString how() const;
    bool fill();
    void free();

private:
    SmallDisk m_disk;
    bool m_limited = false;
};

// Sets or clears the immutable attribute (chattr +i), which stops even root from
// changing, replacing or removing the file or the folder's names. False (with errno
// set) where the file system has no such attribute.
bool setImmutable(const QString &path, bool immutable);

// Aborts the process when the test is not done in time, saying so, so that a hang
// shows as a failure with its stack (Qt Test prints it on abort) instead of a stuck run.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds);
    ~Watchdog();
    Q_DISABLE_COPY_MOVE(Watchdog)
};

} // namespace hardening
