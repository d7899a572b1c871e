#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QScopeGuard>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

// The click that meets a fault, and the fault, undone again before the same click is
// retried: the List folder gone, the disk full, the entry or the List folder immutable.
enum Click { AddFirstSave, AddSave, EditorSave, Delete };

const QByteArray kNotUtf8 = "caf\xe9 \xff\xfe";

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeEditors(); }
    void writeFails_data();
    void writeFails();
    void entryReplacedByAFolder();
    void unusualNames_data();
    void unusualNames();
};

void TestFaults::writeFails_data()
{
    QTest::addColumn<int>("click");
    // The entry's bytes once the same click is made again, the fault undone.
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("List folder gone: the add's first save") << int(AddFirstSave) << plainEntry("");
    QTest::newRow("disk full: the add's Save") << int(AddSave) << plainEntry(" typed");
    QTest::newRow("immutable entry: the editor's Save")
        << int(EditorSave) << plainEntry("old notes typed");
    QTest::newRow("immutable List folder: Delete") << int(Delete) << QByteArray("<unreadable>");
}

// A click that cannot write is reported once, naming the entry; the files stay as they
// were (no partial or temporary file, nothing made in a vanished folder's place) and
// the typed text stays in its window. Once the fault is undone, the same click succeeds.
void TestFaults::writeFails()
{
    QFETCH(int, click);
    QFETCH(QByteArray, written);
    const QString name = click == AddFirstSave || click == AddSave ? "new" : "old";
    Session s;
    std::unique_ptr<SmallDisk> disk;
    if (click == AddSave) {
        disk = std::make_unique<SmallDisk>(s.sandbox.list(), 64);
        if (!disk->mounted())
            QSKIP(qPrintable(disk->why()));
    }
    QVERIFY(s.open({"old"}));
    Form1 &form = *s.form;
    QPointer<editprofile> editor;
    if (click == AddSave)
        startAdd(form, s.dialogs, name);
    if (click == EditorSave || click == Delete)
        QVERIFY(select(form, "old"));
    if (click == EditorSave)
        QVERIFY((editor = openEditor(form)));
    if (click == AddSave || click == EditorSave)
        typeAtEnd(editor ? *editor->RichTextBox1 : *form.g, " typed");
    const QStringList before = folderContents(s.sandbox.list());
    const QByteArray bytes = s.sandbox.read(name);
    const auto act = [&] {
        if (click == AddFirstSave)
            startAdd(form, s.dialogs, name);
        else if (click == Delete)
            deleteSelected(form, s.dialogs, dialogs::Yes);
        else
            QTest::mouseClick(editor ? editor->Command1 : form.Command4, Qt::LeftButton);
    };
    const QString away = s.sandbox.base() + "/List.away";
    const QString locked = click == EditorSave ? s.sandbox.entry(name) : s.sandbox.list();
    const auto impose = [&](bool on) {
        if (click == AddFirstSave)
            return on ? QDir().rename(s.sandbox.list(), away)
                      : QDir().rename(away, s.sandbox.list());
        return disk ? (on ? disk->fill() : (disk->free(), true)) : setImmutable(locked, on);
    };
    if (!impose(true))
        QSKIP("the fault cannot be imposed here");
    const auto undo = qScopeGuard([&] { impose(false); });
    act();
    QCOMPARE(reportMismatch(s.dialogs, 1, s.sandbox.entry(name)), QString());
    QCOMPARE(folderContents(s.sandbox.base()),
             QStringList(click == AddFirstSave ? "List.away" : "List"));
    QVERIFY(impose(false));
    QCOMPARE(folderContents(s.sandbox.list()), before);
    QCOMPARE(s.sandbox.read(name), bytes);
    QCOMPARE(shownEditor(), editor.data());
    QCOMPARE(form.Command4->isEnabled(), click == AddSave);
    act();
    QCOMPARE(s.sandbox.read(name), written);
    QCOMPARE(s.dialogs.errors().size(), 1);
}

// The selected entry replaced by a folder behind the program's back, before the list
// catches up: select, edit and delete report it and remove nothing; the editor already
// open keeps its entry and text.
void TestFaults::entryReplacedByAFolder()
{
    Session s;
    QVERIFY(s.open({"neighbour", "victim"}));
    Form1 &form = *s.form;
    QVERIFY(select(form, "neighbour"));
    editprofile *editor = openEditor(form);
    QVERIFY(editor);
    typeAtEnd(*editor->RichTextBox1, " typed");
    QVERIFY(QFile::remove(s.sandbox.entry("victim")));
    QVERIFY(QDir(s.sandbox.list()).mkpath("victim/inner"));
    QVERIFY(clickEntry(*form.File1, "victim"));
    s.dialogs.answerMessages({dialogs::Discard});
    QCOMPARE(openEditor(form), editor);
    deleteSelected(form, s.dialogs, dialogs::Yes);
    QCOMPARE(s.dialogs.errors().size(), 3);
    QCOMPARE(s.dialogs.errors().filter(s.sandbox.entry("victim")).size(), 3);
    QVERIFY(QFileInfo(s.sandbox.entry("victim/inner")).isDir());
    QCOMPARE(form.Label1->text(), "URLs in list: 2");
    QVERIFY(saveAndClose(*editor));
    QCOMPARE(s.sandbox.read("neighbour"), plainEntry("neighbour notes typed"));
}

void TestFaults::unusualNames_data()
{
    QTest::addColumn<QString>("name");
    // What the user types into the search box to find it.
    QTest::addColumn<QString>("search");
    const auto row = [](const char *tag, const QString &name, const char *search) {
        QTest::newRow(tag) << name << search;
    };
    row("spaces at both ends", "  spaced  ", "  spaced ");
    row("only spaces", "   ", "   ");
    row("Cyrillic and emoji", "Новости 🌍🚀", "ости 🌍");
    row("backslash, quotes, percent, dollar", "C:\\ \"hi\" 100% $HOME %1", "% $");
    row("decomposed, found composed", "cafe\u0301 paris", "café");
    row("Qt's modified mark", "news [*] draft", "[*]");
    row("what a name not in UTF-8 is shown as", QFile::decodeName(kNotUtf8), "caf");
}

// A name that is allowed is used exactly as typed by every command, in the List folder
// and nowhere else. Beside it lies a name made on another system, in bytes that are not
// UTF-8: it cannot be shown as it is, and what it would be shown as ("caf\uFFFD ...")
// names another file, so the list leaves it out and no command touches it.
void TestFaults::unusualNames()
{
    QFETCH(QString, name);
    QFETCH(QString, search);
    Session s;
    const QByteArray raw = QFile::encodeName(s.sandbox.list()) + '/' + kNotUtf8;
    const int out = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    QVERIFY(out >= 0 && ::write(out, "raw", 3) == 3 && ::close(out) == 0);
    QVERIFY(s.open({"zz decoy"}));
    Form1 &form = *s.form;
    QCOMPARE(s.addAndShow(name, "https://example.org/"), QString());
    QCOMPARE(folderContents(s.sandbox.base()), QStringList("List"));
    QCOMPARE(s.sandbox.read(name), plainEntry("https://example.org/"));
    typeSearch(form, search);
    QCOMPARE(shownNames(*form.File1), QStringList(name));
    editprofile *editor = openEditor(form);
    QVERIFY(editor);
    // The title as the window system gets it, after Qt's own marks are worked out.
    QCOMPARE(editor->windowHandle()->title(), "Edit URL Description - " + name);
    s.dialogs.clear();
    deleteSelected(form, s.dialogs, dialogs::Yes);
    QCOMPARE(s.dialogs.prompts(), QStringList("Do you really want to delete " + name + " site?"));
    QCOMPARE(folderContents(s.sandbox.list()), QStringList("zz decoy"));
    struct stat left {};
    QVERIFY(::stat(raw.constData(), &left) == 0 && left.st_size == 3);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
