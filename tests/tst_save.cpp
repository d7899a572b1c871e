#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "rtf/rtfmeasure.h"
#include "testsupport.h"

#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace testsupport;

class TestSave : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeEditors(); }
    void editorSavesTheEntryItLoaded();
    void typedText_data();
    void typedText();
    void refusals_data();
    void refusals();
};

// One editor at most, not modal, not owned by the main window: it writes the entry it
// loaded last, whatever the main window selects meanwhile, and outlives that window.
void TestSave::editorSavesTheEntryItLoaded()
{
    Session s;
    QVERIFY(s.open({"A", "B"}));
    Form1 &form = *s.form;
    QVERIFY(select(form, "A"));
    const QPointer<editprofile> editor = openEditor(form);
    QVERIFY(editor);
    QVERIFY(select(form, "B"));
    QCOMPARE(openEditor(form), editor.data());
    typeAtEnd(*editor->RichTextBox1, " typed 😀");
    QVERIFY(select(form, "A"));
    QVERIFY(form.close());
    QVERIFY(saveAndClose(*editor));
    QCOMPARE(s.sandbox.read("A") + s.sandbox.read("B"),
             plainEntry("A notes") + plainEntry("B notes typed \\u-10179?\\u-8704?"));
    QCOMPARE(s.dialogs.prompts(), QStringList());
}

void TestSave::typedText_data()
{
    // Text is typed into the editor on A, or into the new-entry box of an add of N; then
    // the entry changes behind the window, or the List folder goes away; then the user
    // saves, asks the editor to open B, or closes the window, and answers the question.
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    // Then: whether the file holds the typed text, and what the window that held it shows
    // ("" once it has closed).
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("shows");
    const auto row = [](const char *tag, bool adding, const char *change, const char *action,
                        int answer, const QString &question, bool written, const char *shows) {
        QTest::newRow(tag) << adding << change << action << answer << question << written << shows;
    };
    const QString conflict = "The entry \"%1\" was %2 since you %3 it. %4?";
    const QString replace = "Replace it with your text";
    const QString changed = conflict.arg("A", "changed by another program", "opened", replace);
    const QString deleted =
        conflict.arg("A", "deleted", "opened", "Save your text under that name again");
    const QString replaced = conflict.arg("A", "replaced by another file", "opened", replace);
    const QString added = conflict.arg("N", "changed by another program", "added", replace);
    const QString openB = "Save your changes to the entry \"A\" before opening \"B\"?";
    const QString closing = "Save your changes to the entry \"A\" before closing?";
    const QString closingAdd = "Save the text you typed for the new entry \"N\" before closing?";
    const char *typed = "A notes typed";
    row("rewritten, No", false, "rewritten", "save", dialogs::No, changed, false, typed);
    row("deleted, Yes", false, "deleted", "save", dialogs::Yes, deleted, true, "");
    row("replaced, No", false, "replaced", "save", dialogs::No, replaced, false, typed);
    row("add: rewritten, No", true, "rewritten", "save", dialogs::No, added, false, "N typed");
    row("editor to open B, Save", false, "", "open B", dialogs::Save, openB, true, "B notes");
    row("editor to open B, Cancel", false, "", "open B", dialogs::Cancel, openB, false, typed);
    row("editor closed, Discard", false, "", "close", dialogs::Discard, closing, false, "");
    row("closed, Save fails", false, "List away", "close", dialogs::Save, closing, false, typed);
    row("add: closed, Save", true, "", "close", dialogs::Save, closingAdd, true, "");
    row("add: closed, Cancel", true, "", "close", dialogs::Cancel, closingAdd, false, "N typed");
}

void TestSave::typedText()
{
    QFETCH(bool, adding);
    QFETCH(QString, change);
    QFETCH(QString, action);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(bool, written);
    QFETCH(QString, shows);
    Session s;
    QVERIFY(s.open({"A", "B"}));
    Form1 &form = *s.form;
    const QString name = adding ? "N" : "A";
    QPointer<editprofile> editor;
    if (adding)
        startAdd(form, s.dialogs, name);
    else
        QVERIFY(select(form, name) && (editor = openEditor(form)));
    typeAtEnd(adding ? *form.g : *editor->RichTextBox1, adding ? "N typed" : " typed");
    if (action == "open B")
        QVERIFY(select(form, "B"));
    // What stands at the name when the user answers.
    QByteArray theirs = s.sandbox.read(name);
    if (change == "rewritten" || change == "replaced")
        s.sandbox.write(change == "replaced" ? ".theirs" : name, theirs = plainEntry("theirs"));
    if (change == "replaced")
        QVERIFY(QFile::remove(s.sandbox.entry(name)) &&
                QFile::rename(s.sandbox.entry(".theirs"), s.sandbox.entry(name)));
    if (change == "deleted" && QFile::remove(s.sandbox.entry(name)))
        theirs = "<unreadable>";
    const QString away = s.sandbox.base() + "/List.away";
    if (change == "List away")
        QVERIFY(QDir().rename(s.sandbox.list(), away));
    s.dialogs.clear();
    s.dialogs.answerMessages({answer});

    if (action == "save")
        QTest::mouseClick(adding ? form.Command4 : editor->Command1, Qt::LeftButton);
    else if (action == "open B")
        QTest::mouseClick(form.Command5, Qt::LeftButton);
    else
        adding ? form.close() : editor->close();
    if (change == "List away")
        QVERIFY(QDir().rename(away, s.sandbox.list()));
    // The question, then the report of a failed save.
    QCOMPARE(s.dialogs.prompts().value(0), question);
    QCOMPARE(s.dialogs.asked().size(), 1 + s.dialogs.errors().size());
    QCOMPARE(s.dialogs.errors().size(), int(change == "List away"));
    QCOMPARE(s.sandbox.read(name),
             written ? plainEntry(adding ? "N typed" : "A notes typed") : theirs);
    // The text waits in its window for another Save, or the window has closed.
    if (adding)
        QCOMPARE(form.isVisible() && form.Command4->isEnabled() ? form.g->toPlainText() : "",
                 shows);
    else
        QTRY_COMPARE(editor ? editor->RichTextBox1->toPlainText() : "", shows);
}

void TestSave::refusals_data()
{
    // What stands at the entry's name, or "/dev/stdout" (a pipe here).
    QTest::addColumn<QString>("target");
    // Saved by sitebook-rtf resave, as the editor saves, rather than by the rich-text box.
    QTest::addColumn<bool>("byTool");
    QTest::addColumn<QString>("reason");
    const QString special = "it is %1, not a regular file, and only a regular file is replaced";
    QTest::newRow("FIFO") << "FIFO" << false << special.arg("a FIFO (named pipe)");
    QTest::newRow("link to a character device") << "device" << false << special.arg("a device");
    QTest::newRow("too large to show again") << "large" << false << rtf::Measure::refusal();
    QTest::newRow("resave onto a read-only entry")
        << "read-only" << true << "you have no permission to change it (Permission denied)";
    QTest::newRow("resave to /dev/stdout")
        << "/dev/stdout" << true << special.arg("a FIFO (named pipe)");
}

// Each refusal is reported with the path and the reason, and leaves what stands at the
// name as it was, with no temporary beside it.
void TestSave::refusals()
{
    QFETCH(QString, target);
    QFETCH(bool, byTool);
    QFETCH(QString, reason);
    Sandbox sandbox;
    const QString path = target.startsWith(u'/') ? target : sandbox.entry("e");
    const QByteArray raw = QFile::encodeName(path);
    const QByteArray device = QFile::encodeName(sandbox.base() + "/null");
    if (target == "FIFO")
        QCOMPARE(::mkfifo(raw.constData(), 0644), 0);
    // A null device of the test's own: a save that replaced it would harm nothing else.
    if (target == "device" && ::mknod(device.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        QSKIP("cannot make a device node here");
    if (target == "device")
        QCOMPARE(::symlink(device.constData(), raw.constData()), 0);
    if (target == "large" || target == "read-only")
        sandbox.write("e", "old");
    QStringList tool = {SITEBOOK_RTF_TOOL};
    // Root may write any file, so the tool runs as an ordinary user, for whom the List
    // folder is writable: the rename alone would succeed.
    if (target == "read-only" && ::geteuid() == 0) {
        tool = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + tool;
        QVERIFY(::chmod(QFile::encodeName(sandbox.base()).constData(), 0755) == 0 &&
                ::chmod(QFile::encodeName(sandbox.list()).constData(), 0777) == 0);
    }
    QVERIFY(target != "read-only" || ::chmod(raw.constData(), 0444) == 0);
    // What stands at the name: its kind, identity and size.
    struct stat before = {}, after = {};
    ::stat(raw.constData(), &before);
    QString message;
    if (byTool) {
        sandbox.write("in", plainEntry("new"));
        QProcess run;
        run.start(tool.first(), tool.mid(1) << "resave" << sandbox.entry("in") << path);
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 1);
        QCOMPARE(run.readAllStandardOutput(), QByteArray());
        // The last line; Qt may warn before it.
        message = QString::fromLocal8Bit(run.readAllStandardError()).trimmed().section(u'\n', -1);
    } else {
        RichTextBox box;
        box.setPlainText(target == "large" ? QString("word ").repeated(400'001) : "new");
        message = box.saveFile(path).message();
    }
    QCOMPARE(message.remove("sitebook-rtf: "),
             QString("Cannot write the entry \"%1\": %2").arg(path, reason));
    ::stat(raw.constData(), &after);
    QVERIFY(before.st_mode == after.st_mode && before.st_ino == after.st_ino &&
            before.st_size == after.st_size);
    const QStringList left = folderContents(sandbox.list()) + folderContents(sandbox.base());
    QCOMPARE(left.filter(".sitebook-"), QStringList());
}

QTEST_MAIN(TestSave)
#include "tst_save.moc"
