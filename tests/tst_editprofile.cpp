#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

using testsupport::plainEntry;
using testsupport::Sandbox;
using testsupport::ScriptedDialogs;

namespace {

// Every editor window; or only the one the user sees, as closed ones linger until
// their deletion.
QList<editprofile *> editors(bool shownOnly = false)
{
    QList<editprofile *> found;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *editor = qobject_cast<editprofile *>(window);
        if (editor && (editor->isVisible() || !shownOnly))
            found << editor;
    }
    return found;
}

// Types text in any script: a keyboard layout or an input method delivers each
// character as one key event carrying it, a pair of surrogates included.
void type(RichTextBox &box, const QString &text)
{
    for (qsizetype i = 0, length = 1; i < text.size(); i += length) {
        length = text.at(i).isHighSurrogate() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, &box, Qt::Key_unknown, text.mid(i, length),
                            Qt::NoModifier);
    }
}

// The character format in force at the first character of the first occurrence.
QTextCharFormat formatOf(QTextDocument &document, const QString &text)
{
    QTextCursor at = document.find(text, 0, QTextDocument::FindCaseSensitively);
    at.setPosition(at.selectionStart() + 1);
    return at.charFormat();
}

// The List folder, hidden names included, as "name=bytes".
QStringList listed(const Sandbox &sandbox)
{
    QStringList found;
    for (const QString &name :
         QDir(sandbox.list())
             .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        found << name + QLatin1Char('=') + QString::fromLatin1(sandbox.read(name));
    return found;
}

} // namespace

class TestEditprofile : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void editing_data();
    void editing();
    void formattingSurvivesSaveAndReload();
};

void TestEditprofile::cleanup()
{
    // An editor is a window of its own, not owned by the main window; none may reach
    // the next test.
    qDeleteAll(editors());
}

void TestEditprofile::editing_data()
{
    // What the user does, step by step, with entries A and B holding their own names.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("errors");
    // The editor left open, as "name=text" (or none); a last Save must write it there.
    QTest::addColumn<QString>("shown");
    // The List folder at the end, as "name=text".
    QTest::addColumn<QStringList>("files");
    const auto row = [](const char *name, const char *steps, int errors, const char *shown,
                        const char *files) {
        QTest::newRow(name) << QString::fromUtf8(steps).split(QStringLiteral(", ")) << errors
                            << QString::fromUtf8(shown)
                            << QString::fromUtf8(files).split(QStringLiteral(", "));
    };
    row("Save writes the loaded entry, not the selected one",
        "select A, edit, type, select B, save, edit", 0, "B=B", "A=A typed, B=B");
    row("opening on B drops A's edits once discarded",
        "select A, edit, type, select B, answer Discard, edit, type", 0, "B=B typed",
        "A=A, B=B typed");
    row("reopening after a save is fresh", "select A, edit, type, save, edit", 0, "A=A typed",
        "A=A typed, B=B");
    row("close box discards", "select A, edit, type, answer Discard, close box, edit", 0, "A=A",
        "A=A, B=B");
    row("Save recreates an entry deleted meanwhile",
        "select A, edit, type, delete A, answer Yes, save", 0, "", "A=A typed, B=B");
    // Disk-full, read-only, and every other command without its folder: tst_faults.
    row("Save into a vanished folder, main window closed meanwhile",
        "select A, edit, type, List away, save, close Form1, List back", 1, "A=A typed",
        "A=A typed, B=B");
    row("nothing selected opens nothing", "select A, deselect, edit", 0, "", "A=A, B=B");
    // No window is left that could save to a path it never loaded.
    row("failed load closes a new editor", "select A, remove A, edit", 1, "", "B=B");
    row("failed load keeps the open editor",
        "select B, edit, type, select A, remove A, answer Discard, edit", 1, "B=B typed",
        "B=B typed");
}

void TestEditprofile::editing()
{
    QFETCH(QStringList, steps);
    QFETCH(int, errors);
    QFETCH(QString, shown);
    QFETCH(QStringList, files);
    Sandbox sandbox;
    sandbox.write(QStringLiteral("A"), plainEntry("A"));
    sandbox.write(QStringLiteral("B"), plainEntry("B"));
    ScriptedDialogs dialogs;
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QDir base(sandbox.base());
    QStringList away;

    for (const QString &step : steps) {
        const QString name = step.section(QLatin1Char(' '), 1);
        QPointer<editprofile> editor = editors(true).value(0);
        if (step.startsWith(QLatin1String("select "))) {
            QVERIFY(testsupport::clickEntry(*form->File1, name));
            // The selection timer enables the button at its next tick.
            QTRY_VERIFY(form->Command5->isEnabled());
        } else if (step == QLatin1String("deselect")) {
            // The click lands in the moment before the timer sees the selection gone.
            form->File1->clearSelection();
            form->File1->setCurrentIndex(QModelIndex());
            QCOMPARE(form->File1->fileName(), QString());
            QVERIFY(form->Command5->isEnabled());
        } else if (step == QLatin1String("edit")) {
            QTest::mouseClick(form->Command5, Qt::LeftButton);
            // One editor at most: opening again reuses the window already open.
            if (editor)
                QCOMPARE(editors(true).value(0), editor.data());
            if (editprofile *opened = editors(true).value(0))
                QCOMPARE(opened->focusWidget(), opened->RichTextBox1);
        } else if (step == QLatin1String("type")) {
            QVERIFY(editor);
            QTest::keyClick(editor->RichTextBox1, Qt::Key_End, Qt::ControlModifier);
            type(*editor->RichTextBox1, QStringLiteral(" typed"));
        } else if (step == QLatin1String("save")) {
            QVERIFY(editor);
            const qsizetype before = dialogs.errors().size();
            QTest::mouseClick(editor->Command1, Qt::LeftButton);
            // A save either closes the editor or is reported and leaves it as it was.
            if (dialogs.errors().size() == before)
                QVERIFY(QTest::qWaitFor([&] { return editor.isNull(); }));
            else
                QCOMPARE(editors(true).value(0), editor.data());
        } else if (step == QLatin1String("close box")) {
            QVERIFY(editor && editor->close());
            QVERIFY(QTest::qWaitFor([&] { return editor.isNull(); }));
        } else if (step == QLatin1String("delete A")) {
            dialogs.answerMessages({dialogs::Yes});
            QTest::mouseClick(form->Command7, Qt::LeftButton);
            QVERIFY(!sandbox.exists(name));
        } else if (step.startsWith(QLatin1String("answer "))) {
            dialogs.answerMessages(
                {name == QLatin1String("Yes") ? dialogs::Yes : dialogs::Discard});
        } else if (step == QLatin1String("remove A")) {
            QVERIFY(QFile::remove(sandbox.entry(name)));
        } else if (step == QLatin1String("List away")) {
            away = listed(sandbox);
            QVERIFY(base.rename(QStringLiteral("List"), QStringLiteral("Elsewhere")));
        } else if (step == QLatin1String("List back")) {
            // Nothing was made in the folder's place, nor changed in it.
            QVERIFY(base.rename(QStringLiteral("Elsewhere"), QStringLiteral("List")));
            QCOMPARE(listed(sandbox), away);
        } else if (step == QLatin1String("close Form1")) {
            QVERIFY(form->close());
            QTest::qWait(10);
        } else {
            QFAIL(qPrintable(step));
        }
    }

    QCOMPARE(dialogs.errors().size(), errors);
    for (const QString &error : dialogs.errors())
        QVERIFY2(error.contains(sandbox.entry(QStringLiteral("A"))), qPrintable(error));
    QCOMPARE(dialogs.asked().size(), errors + steps.count(QStringLiteral("delete A")) +
                                         steps.filter(QStringLiteral("answer ")).size());
    QTRY_COMPARE(editors().size(), shown.isEmpty() ? 0 : 1);
    if (!shown.isEmpty()) {
        QPointer<editprofile> editor = editors(true).value(0);
        QVERIFY(editor);
        // The caption names the entry being edited, once; it does not grow.
        const QString name = shown.section(QLatin1Char('='), 0, 0);
        QCOMPARE(editor->windowTitle(), QStringLiteral("Edit URL Description - ") + name);
        QCOMPARE(editor->Label1->text(), sandbox.entry(name));
        QCOMPARE(editor->RichTextBox1->toPlainText(), shown.section(QLatin1Char('='), 1));
        // Neither modal nor owned: the main window stays usable beside it.
        QVERIFY(!editor->parentWidget());
        QCOMPARE(editor->windowModality(), Qt::NonModal);
        // The path label lies below the client area, out of the user's sight.
        QVERIFY(!editor->rect().intersects(editor->Label1->geometry()));
        QTest::mouseClick(editor->Command1, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return editor.isNull(); }));
    }
    QStringList expected;
    for (const QString &file : files)
        expected << file.section(QLatin1Char('='), 0, 0) + QLatin1Char('=') +
                        QString::fromLatin1(plainEntry(file.section(QLatin1Char('='), 1).toUtf8()));
    QCOMPARE(listed(sandbox), expected);
}

void TestEditprofile::formattingSurvivesSaveAndReload()
{
    Sandbox sandbox;
    sandbox.write(QStringLiteral("A"), plainEntry("A"));
    ScriptedDialogs dialogs;
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QVERIFY(testsupport::clickEntry(*form->File1, QStringLiteral("A")));
    QTRY_VERIFY(form->Command5->isEnabled());
    QTest::mouseClick(form->Command5, Qt::LeftButton);
    editprofile *editor = editors(true).value(0);
    QVERIFY(editor);
    RichTextBox &box = *editor->RichTextBox1;
    QTest::keyClick(&box, Qt::Key_End, Qt::ControlModifier);
    type(box, QStringLiteral(" "));
    box.setFontWeight(QFont::Bold);
    type(box, QStringLiteral("bold"));
    box.setFontWeight(QFont::Normal);
    type(box, QStringLiteral(" "));
    box.setTextColor(QColor(200, 0, 0));
    type(box, QStringLiteral("red"));
    box.setTextColor(QColor(Qt::black));
    type(box, QStringLiteral(" Привет 😀"));
    const QString typed = QStringLiteral("A bold red Привет 😀");
    QCOMPARE(box.toPlainText(), typed);
    QTest::mouseClick(editor->Command1, Qt::LeftButton);
    const QByteArray firstSave = sandbox.read(QStringLiteral("A"));
    // Cyrillic goes out in the code page, as hexadecimal escapes.
    QVERIFY2(firstSave.toLower().contains("\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2"), firstSave.constData());

    QTest::mouseClick(form->Command5, Qt::LeftButton);
    QTRY_VERIFY((editor = editors(true).value(0)));
    QTextDocument &document = *editor->RichTextBox1->document();
    QCOMPARE(document.toPlainText(), typed);
    QCOMPARE(formatOf(document, QStringLiteral("A")).fontWeight(), int(QFont::Normal));
    QCOMPARE(formatOf(document, QStringLiteral("bold")).fontWeight(), int(QFont::Bold));
    QCOMPARE(formatOf(document, QStringLiteral("red")).foreground().color(), QColor(200, 0, 0));
    QCOMPARE(formatOf(document, QStringLiteral("red")).fontWeight(), int(QFont::Normal));

    // Saving what was loaded, untouched, writes the same bytes again.
    QTest::mouseClick(editor->Command1, Qt::LeftButton);
    QCOMPARE(sandbox.read(QStringLiteral("A")), firstSave);
    // And the main window shows the same text.
    QVERIFY(testsupport::clickEntry(*form->File1, QStringLiteral("A")));
    QCOMPARE(form->Text2->toPlainText(), typed);
}

QTEST_MAIN(TestEditprofile)
#include "tst_editprofile.moc"
