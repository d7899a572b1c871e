#pragma once

#include "controls/dialogs/dialogs.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class FileListBox;
class Form1;

namespace testsupport {

// Answers the program's message and input boxes from a script and records every
// question, so a test sees what the user would have been asked.
class ScriptedDialogs final : public dialogs::Provider {
public:
    struct Asked {
        enum Kind { Message, Input } kind;
        QString prompt;
        int code;
        QString title;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    Q_DISABLE_COPY_MOVE(ScriptedDialogs)

    // Answers given in order; when the script runs out, messages get Ok and inputs "".
    void answerInputs(const QStringList &texts) { m_inputs += texts; }
    void answerMessages(const QList<int> &answers) { m_answers += answers; }

    const QList<Asked> &asked() const { return m_asked; }
    QStringList prompts() const;
    // The prompts of the critical error reports shown so far.
    QStringList errors() const;
    void clear() { m_asked.clear(); }

    int msgBox(const QString &prompt, int code, const QString &title) override;
    QString inputBox(const QString &prompt, const QString &title) override;

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
    ~Sandbox();
    Q_DISABLE_COPY_MOVE(Sandbox)

    QString base() const { return m_dir.path(); }
    QString list() const { return m_dir.path() + QStringLiteral("/List"); }
    QString entry(const QString &name) const { return list() + QLatin1Char('/') + name; }

    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;
    bool exists(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
};

// The bytes an entry holding one paragraph of plain text is saved as.
QByteArray plainEntry(const QByteArray &escapedText);

// A main window made in the current folder, loaded and shown.
std::unique_ptr<Form1> openForm1();

// Clicks the named entry in the list as a user would; false if it is not shown.
bool clickEntry(FileListBox &list, const QString &name);
QStringList shownNames(const FileListBox &list);

} // namespace testsupport
