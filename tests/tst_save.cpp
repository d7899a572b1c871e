#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "rtf/rtfmeasure.h"
#include "testsupport.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// Types after the entry's text, so that it reads "<name> typed": in the new-entry box
// of an add of that name, or in the editor opened on it, which is returned.
QPointer<editprofile> typeInto(Session &s, const QString &name, bool adding, bool type = true)
{
    QPointer<editprofile> editor;
    if (adding)
        startAdd(*s.form, s.dialogs, name);
    else if (select(*s.form, name))
        editor = openEditor(*s.form);
    RichTextBox *box = adding ? s.form->g : editor ? editor->RichTextBox1 : nullptr;
    if (box && type)
        typeAtEnd(*box, adding ? name + QStringLiteral(" typed") : QStringLiteral(" typed"));
    return editor;
}

} // namespace

class TestSave : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeEditors(); }
    void typedText_data();
    void typedText();
    void refusals_data();
    void refusals();
};

void TestSave::typedText_data()
{
    // Text is typed into the editor on A, or into the new-entry box of an add of N
    // (adding); then the entry changes behind the window, or the List folder goes away;
    // then the user saves, asks the editor to open B, or closes the window, and gives the
    // answer (0: nothing was typed) to the question asked, if any.
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    const auto row = [](const QByteArray &name, bool adding, const char *change, const char *action,
                        int answer, const QString &question) {
        QTest::newRow(name.constData()) << adding << QString::fromLatin1(change)
                                        << QString::fromLatin1(action) << answer << question;
    };
    const QString conflict = QStringLiteral("The entry \"%1\" was %2 since you %3 it. %4?");
    const QString replace = QStringLiteral("Replace it with your text");
    for (const int answer : {dialogs::Yes, dialogs::No}) {
        const QByteArray said = answer == dialogs::Yes ? ", Yes" : ", No";
        row("rewritten by another program" + said, false, "rewritten", "save", answer,
            conflict.arg("A", "changed by another program", "opened", replace));
        row("deleted" + said, false, "deleted", "save", answer,
            conflict.arg("A", "deleted", "opened", "Save your text under that name again"));
        row("deleted and added again in the main window" + said, false, "added again", "save",
            answer, conflict.arg("A", "replaced by another file", "opened", replace));
        row("add's Save, rewritten by another program" + said, true, "rewritten", "save", answer,
            conflict.arg("N", "changed by another program", "added", replace));
    }
    row("unchanged: no question", false, "", "save", dialogs::Yes, QString());

    const std::tuple<QByteArray, bool, const char *, QString> actions[] = {
        {"editor asked to open B", false, "open B",
         "Save your changes to the entry \"A\" before opening \"B\"?"},
        {"editor closed", false, "close", "Save your changes to the entry \"A\" before closing?"},
        {"main window closed during an add", true, "close",
         "Save the text you typed for the new entry \"N\" before closing?"}};
    const std::pair<int, QByteArray> answers[] = {
        {dialogs::Save, ", Save"}, {dialogs::Discard, ", Discard"}, {dialogs::Cancel, ", Cancel"}};
    for (const auto &[name, adding, action, question] : actions) {
        row(name + ", nothing typed", adding, "", action, 0, QString());
        for (const auto &[answer, said] : answers)
            row(name + said, adding, "", action, answer, question);
        row(name + ", Save fails", adding, "List away", action, dialogs::Save, question);
    }
}

void TestSave::typedText()
{
    QFETCH(bool, adding);
    QFETCH(QString, change);
    QFETCH(QString, action);
    QFETCH(int, answer);
    QFETCH(QString, question);
    Session s;
    s.sandbox.write(QStringLiteral("A"), plainEntry("A"));
    s.sandbox.write(QStringLiteral("B"), plainEntry("B"));
    QVERIFY(s.open());
    Form1 &form = *s.form;
    const QString name = adding ? QStringLiteral("N") : QStringLiteral("A");
    const QString typed = name + QStringLiteral(" typed");
    const QPointer<editprofile> editor = typeInto(s, name, adding, answer != 0);
    QVERIFY(adding || editor);
    if (action == QLatin1String("open B"))
        QVERIFY(select(form, QStringLiteral("B")));
    // What stands at the name when the user answers ("<unreadable>": nothing).
    QByteArray theirs = plainEntry(adding ? "" : "A");
    if (change == QLatin1String("rewritten")) {
        theirs = plainEntry("their longer text");
        s.sandbox.write(name, theirs);
    } else if (change == QLatin1String("deleted")) {
        QVERIFY(QFile::remove(s.sandbox.entry(name)));
        theirs = "<unreadable>";
    } else if (change == QLatin1String("added again")) {
        deleteSelected(form, s.dialogs, dialogs::Yes);
        QCOMPARE(s.addAndShow(name, QStringLiteral("new text")), QString());
        theirs = plainEntry("new text");
    }
    const QString away = s.sandbox.base() + QStringLiteral("/List.away");
    if (change == QLatin1String("List away"))
        QVERIFY(QDir().rename(s.sandbox.list(), away));
    s.dialogs.clear();
    s.dialogs.answerMessages({answer});

    if (action == QLatin1String("save"))
        QTest::mouseClick(adding ? form.Command4 : editor->Command1, Qt::LeftButton);
    else if (action == QLatin1String("open B"))
        QTest::mouseClick(form.Command5, Qt::LeftButton);
    else if (adding)
        form.close();
    else
        editor->close();
    QStringList asked(question);
    if (change == QLatin1String("List away")) {
        QVERIFY(QDir().rename(away, s.sandbox.list()));
        asked << "Cannot write the entry \"" + s.sandbox.entry(name) +
                     "\": No such file or directory";
    }
    asked.removeAll(QString());
    QCOMPARE(s.dialogs.prompts(), asked);
    const bool saved = (action == QLatin1String("save") && question.isEmpty()) ||
                       (answer == dialogs::Yes && change != QLatin1String("List away"));
    QCOMPARE(s.sandbox.read(name), saved ? plainEntry(typed.toUtf8()) : theirs);
    // No, Cancel or a failed Save leaves the text in its window, ready for another Save.
    const bool kept =
        !saved && answer != 0 && (action == QLatin1String("save") || answer != dialogs::Discard);
    if (adding) {
        QCOMPARE(form.Command4->isEnabled(), !saved);
        QCOMPARE(form.isVisible(), kept || action == QLatin1String("save"));
        QCOMPARE(form.g->toPlainText(), answer ? typed : QString());
    } else if (kept) {
        QCOMPARE(shownEditor(), editor.data());
        QCOMPARE(editor->RichTextBox1->toPlainText(), typed);
    } else if (action == QLatin1String("open B")) {
        QCOMPARE(shownEditor(), editor.data());
        QCOMPARE(editor->RichTextBox1->toPlainText(), QStringLiteral("B"));
        // Freshly loaded, the text counts as unchanged: closing asks nothing.
        QVERIFY(editor->close());
    } else {
        QVERIFY(QTest::qWaitFor([&] { return editor.isNull(); }));
    }
}

void TestSave::refusals_data()
{
    // What stands at the entry's name, or "/dev/stdout" (a pipe here).
    QTest::addColumn<QString>("target");
    // Saved by sitebook-rtf resave, as the editor saves, rather than by the rich-text box.
    QTest::addColumn<bool>("byTool");
    QTest::addColumn<QString>("reason");
    const QString special =
        QStringLiteral("it is %1, not a regular file, and only a regular file is replaced");
    const QString fifo = special.arg("a FIFO (named pipe)");
    QTest::newRow("FIFO") << "FIFO" << false << fifo;
    QTest::newRow("link to a character device") << "device" << false << special.arg("a device");
    QTest::newRow("folder") << "folder" << false << special.arg("a folder");
    QTest::newRow("resave onto a read-only entry")
        << "read-only" << true << "you have no permission to change it (Permission denied)";
    QTest::newRow("too large to show again") << "large" << false << rtf::Measure::refusal();
    QTest::newRow("resave onto a FIFO") << "FIFO" << true << fifo;
    QTest::newRow("resave to /dev/stdout") << "/dev/stdout" << true << fifo;
}

// Each refusal is reported with the path and the reason, and leaves what stands at
// the name as it was, with no temporary beside it.
void TestSave::refusals()
{
    QFETCH(QString, target);
    QFETCH(bool, byTool);
    QFETCH(QString, reason);
    Sandbox sandbox;
    const QString path = target.startsWith(u'/') ? target : sandbox.entry(QStringLiteral("e"));
    const QByteArray raw = QFile::encodeName(path);
    const QByteArray device = QFile::encodeName(sandbox.base() + QStringLiteral("/null"));
    if (target == QLatin1String("FIFO")) {
        QCOMPARE(::mkfifo(raw.constData(), 0644), 0);
    } else if (target == QLatin1String("folder")) {
        QCOMPARE(::mkdir(raw.constData(), 0755), 0);
    } else if (target == QLatin1String("device")) {
        // A null device of the test's own: a save that replaced it harms nothing else.
        if (::mknod(device.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("cannot make a device node here");
        QCOMPARE(::symlink(device.constData(), raw.constData()), 0);
    } else if (!target.startsWith(u'/')) {
        sandbox.write(QStringLiteral("e"), "old");
    }
    QStringList tool = {QStringLiteral(SITEBOOK_RTF_TOOL)};
    if (target == QLatin1String("read-only")) {
        QVERIFY(::chmod(raw.constData(), 0444) == 0);
        // Root may write any file, so the tool runs as an ordinary user, for whom the
        // List folder is writable: the rename alone would succeed.
        if (::geteuid() == 0) {
            tool =
                QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + tool;
            QVERIFY(::chmod(QFile::encodeName(sandbox.base()).constData(), 0755) == 0 &&
                    ::chmod(QFile::encodeName(sandbox.list()).constData(), 0777) == 0);
        }
    }
    // What stands at the name: its kind, identity and size.
    const auto found = [&raw] {
        struct stat info {};
        ::stat(raw.constData(), &info);
        return std::tuple(info.st_mode, info.st_ino, info.st_size);
    };
    const auto before = found();

    QString message;
    if (byTool) {
        sandbox.write(QStringLiteral("in"), plainEntry("new"));
        QProcess run;
        const QString program = tool.takeFirst();
        run.start(program, tool << "resave" << sandbox.entry(QStringLiteral("in")) << path);
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 1);
        QCOMPARE(run.readAllStandardOutput(), QByteArray());
        // The last line; Qt may warn before it.
        message = QString::fromLocal8Bit(run.readAllStandardError().trimmed())
                      .section(u'\n', -1)
                      .remove(QStringLiteral("sitebook-rtf: "));
    } else {
        RichTextBox box;
        box.setPlainText(target == QLatin1String("large")
                             ? QStringLiteral("word ").repeated(400'001)
                             : QStringLiteral("new"));
        const Status saved = box.saveFile(path);
        QVERIFY(!saved);
        message = saved.message();
    }
    QCOMPARE(message, QStringLiteral("Cannot write the entry \"%1\": %2").arg(path, reason));
    QVERIFY(found() == before);
    const QStringList left = folderContents(sandbox.list()) + folderContents(sandbox.base());
    QCOMPARE(left.filter(QStringLiteral(".sitebook-")), QStringList());
}

QTEST_MAIN(TestSave)
#include "tst_save.moc"
