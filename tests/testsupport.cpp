#include "testsupport.h"

#include "controls/filelist/filelistbox.h"
#include "Form1/form1.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace testsupport {

ScriptedDialogs::ScriptedDialogs() : m_previous(dialogs::setProvider(this)) {}

ScriptedDialogs::~ScriptedDialogs()
{
    dialogs::setProvider(m_previous);
}

QStringList ScriptedDialogs::prompts() const
{
    QStringList result;
    for (const Asked &a : m_asked)
        result << a.prompt;
    return result;
}

QStringList ScriptedDialogs::errors() const
{
    QStringList result;
    for (const Asked &a : m_asked) {
        if (a.kind == Asked::Message && (a.code & dialogs::Critical))
            result << a.prompt;
    }
    return result;
}

int ScriptedDialogs::msgBox(const QString &prompt, int code, const QString &title)
{
    m_asked.append({Asked::Message, prompt, code, title});
    return m_answers.isEmpty() ? dialogs::Ok : m_answers.takeFirst();
}

QString ScriptedDialogs::inputBox(const QString &prompt, const QString &title)
{
    m_asked.append({Asked::Input, prompt, 0, title});
    return m_inputs.isEmpty() ? QString() : m_inputs.takeFirst();
}

Sandbox::Sandbox(bool withList) : m_previousDir(QDir::currentPath())
{
    if (withList)
        QDir(m_dir.path()).mkdir(QStringLiteral("List"));
    QDir::setCurrent(m_dir.path());
}

Sandbox::~Sandbox()
{
    QDir::setCurrent(m_previousDir);
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
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool Sandbox::exists(const QString &name) const
{
    return QFileInfo::exists(entry(name));
}

QByteArray plainEntry(const QByteArray &escapedText)
{
    return QByteArrayLiteral(
               "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*"
               "\\fname Arial;}Arial CYR;}}\r\n\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 ") +
           escapedText + QByteArrayLiteral("\r\n\\par }\r\n");
}

std::unique_ptr<Form1> openForm1()
{
    auto form = std::make_unique<Form1>();
    if (!form->Form1_Load())
        return nullptr;
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    return form;
}

QStringList shownNames(const FileListBox &list)
{
    QStringList names;
    const QAbstractItemModel *model = list.model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
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

} // namespace testsupport
