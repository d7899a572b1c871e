#include "testsupport.h"

#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testsupport {

// One key event per character, carrying it, as a keyboard in any layout or an input
// method delivers text; a pair of surrogates goes in one event.
static void typeKeys(QWidget *widget, const QString &text)
{
    widget->setFocus();
    for (qsizetype i = 0, length = 1; i < text.size(); i += length) {
        length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text.mid(i, length),
                            Qt::NoModifier);
    }
}

QStringList ScriptedDialogs::prompts(int kind) const
{
    QStringList result;
    for (const Asked &a : m_asked)
        if (kind == 0 || (a.code & kind))
            result << a.prompt;
    return result;
}

int ScriptedDialogs::msgBox(const QString &prompt, int code, const QString &title)
{
    m_asked.append({prompt, code, title, QString()});
    return m_answers.isEmpty() ? dialogs::Ok : m_answers.takeFirst();
}

QString ScriptedDialogs::inputBox(const QString &prompt, const QString &title,
                                  const QString &defaultText)
{
    m_asked.append({prompt, 0, title, defaultText});
    return m_inputs.isEmpty() ? QString() : m_inputs.takeFirst();
}

Sandbox::Sandbox(bool withList) : m_previousDir(QDir::currentPath())
{
    if (withList)
        QDir(m_dir.path()).mkdir(QStringLiteral("List"));
    QDir::setCurrent(m_dir.path());
}

void Sandbox::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(entry(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test entry %s", qPrintable(file.fileName()));
}

QByteArray Sandbox::read(const QString &name) const
{
    QFile file(entry(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray plainEntry(const QByteArray &escapedText)
{
    return QByteArrayLiteral(
               "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*"
               "\\fname Arial;}Arial CYR;}}\r\n\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 ") +
           escapedText + QByteArrayLiteral("\r\n\\par }\r\n");
}

QStringList shownNames(const FileListBox &list)
{
    QStringList names;
    for (int row = 0; row < list.model()->rowCount(); ++row)
        names << list.model()->index(row, 0).data().toString();
    return names;
}

bool clickEntry(FileListBox &list, const QString &name)
{
    const int row = shownNames(list).indexOf(name);
    if (row < 0)
        return false;
    const QModelIndex index = list.model()->index(row, 0);
    list.scrollTo(index);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                      list.visualRect(index).center());
    return list.fileName() == name;
}

QStringList folderContents(const QString &folder)
{
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
    names.sort();
    return names;
}

bool select(Form1 &form, const QString &name)
{
    return clickEntry(*form.File1, name) &&
           QTest::qWaitFor([&] { return form.Command7->isEnabled(); });
}

void typeSearch(Form1 &form, const QString &text)
{
    typeKeys(form.Text1, text);
}

void typeAtEnd(RichTextBox &box, const QString &text)
{
    QTest::keyClick(&box, Qt::Key_End, Qt::ControlModifier);
    typeKeys(&box, text);
}

void startAdd(Form1 &form, ScriptedDialogs &dialogs, const QString &name)
{
    dialogs.answerInputs({name});
    QTest::mouseClick(form.Command3, Qt::LeftButton);
}

editprofile *shownEditor()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *editor = qobject_cast<editprofile *>(window); editor && editor->isVisible())
            return editor;
    return nullptr;
}

editprofile *openEditor(Form1 &form)
{
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    return shownEditor();
}

bool saveAndClose(editprofile &editor)
{
    QTest::mouseClick(editor.Command1, Qt::LeftButton);
    return QTest::qWaitFor([] { return shownEditor() == nullptr; });
}

void closeEditors()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (qobject_cast<editprofile *>(window))
            delete window;
}

void deleteSelected(Form1 &form, ScriptedDialogs &dialogs, int answer)
{
    dialogs.answerMessages({answer});
    QTest::mouseClick(form.Command7, Qt::LeftButton);
}

QString reportMismatch(const ScriptedDialogs &dialogs, qsizetype count, const QString &path)
{
    const QStringList errors = dialogs.errors();
    if (errors.size() == count && (count == 0 || errors.constLast().contains(path)))
        return QString();
    return QStringLiteral("%1 reports, wanted %2 naming %3: %4")
        .arg(QString::number(errors.size()), QString::number(count), path,
             dialogs.prompts().join(u" | "));
}

bool Session::open(const QStringList &entries)
{
    for (const QString &name : entries)
        sandbox.write(name, plainEntry(name.toUtf8() + " notes"));
    form = std::make_unique<Form1>();
    if (!form->Form1_Load())
        return false;
    form->show();
    return QTest::qWaitForWindowExposed(form.get());
}

QString Session::addAndShow(const QString &name, const QString &text)
{
    const qsizetype asked = dialogs.asked().size();
    startAdd(*form, dialogs, name);
    typeAtEnd(*form->g, text);
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    // The add asks for the name and tells the user to type; anything more went wrong.
    if (!select(*form, name) || form->Command4->isEnabled() || dialogs.asked().size() != asked + 2)
        return "the add of \"" + name + "\" failed: " + dialogs.prompts().mid(asked).join(u" | ");
    const QString shown = form->Text2->toPlainText();
    return shown == text ? QString() : "the pane shows \"" + shown + '"';
}

void resetPeakMemory()
{
    // Writing 5 to clear_refs sets the peak (VmHWM) back to the present size.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

qint64 peakMemoryMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return -1;
}

bool sanitized()
{
    return SITEBOOK_SANITIZED != 0;
}

SmallDisk::SmallDisk(const QString &folder, int kibibytes) : m_folder(folder)
{
    const QByteArray options = "size=" + QByteArray::number(kibibytes) + "k,mode=0755";
    m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                        options.constData()) == 0;
    if (!m_mounted)
        m_why = QStringLiteral("mounting a tmpfs on %1 was refused: %2")
                    .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
}

SmallDisk::~SmallDisk()
{
    free();
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

bool SmallDisk::fill()
{
    const QByteArray path = QFile::encodeName(m_folder + QStringLiteral("/.filler"));
    const int fd =
        m_mounted ? ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    if (fd < 0)
        return false;
    // Whole pages, then single bytes, until not one more byte fits.
    const QByteArray page(4096, 'x');
    while (::write(fd, page.constData(), size_t(page.size())) > 0 || ::write(fd, "x", 1) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}

void SmallDisk::free()
{
    if (m_mounted)
        ::unlink(QFile::encodeName(m_folder + QStringLiteral("/.filler")).constData());
}

bool setImmutable(const QString &path, bool immutable)
{
    return QProcess::execute(QStringLiteral("chattr"), {immutable ? "+i" : "-i", path}) == 0;
}

} // namespace testsupport
