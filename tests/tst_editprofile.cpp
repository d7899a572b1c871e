#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using testsupport::plainEntry;
using testsupport::Sandbox;
using testsupport::ScriptedDialogs;

namespace {

const QString A = QStringLiteral("A");
const QString B = QStringLiteral("B");

QString caption(const QString &name)
{
    return QStringLiteral("Edit URL Description - ") + name;
}

// The editor the user can see, if any. A closed one may linger until its deletion.
editprofile *shownEditor()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *editor = qobject_cast<editprofile *>(window); editor && editor->isVisible())
            return editor;
    }
    return nullptr;
}

int editorCount()
{
    int count = 0;
    for (QWidget *window : QApplication::topLevelWidgets())
        count += qobject_cast<editprofile *>(window) != nullptr;
    return count;
}

// Selects the entry and clicks "Edit ULR's information", as the user does.
editprofile *openEditorOn(Form1 &form, const QString &name)
{
    if (!testsupport::clickEntry(*form.File1, name))
        return nullptr;
    // The selection timer enables the button at its next tick.
    if (!QTest::qWaitFor([&] { return form.Command5->isEnabled(); }))
        return nullptr;
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    return shownEditor();
}

// Types at the end of the text, where a user adding a note would.
void typeAtEnd(RichTextBox &box, const QString &text)
{
    QTest::keyClick(&box, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(&box, text);
}

// Types text in any script: a keyboard layout or an input method delivers each
// character as one key event carrying it, a pair of surrogates included.
void typeText(RichTextBox &box, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text.at(i).isHighSurrogate() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, &box, Qt::Key_unknown, text.mid(i, length),
                            Qt::NoModifier);
        i += length - 1;
    }
}

bool waitUntilDeleted(const QPointer<editprofile> &editor)
{
    return QTest::qWaitFor([&] { return editor.isNull(); });
}

// The character format in force at the first character of the first occurrence.
QTextCharFormat formatOf(const QTextDocument &document, const QString &text)
{
    const QTextCursor found = document.find(text);
    if (found.isNull())
        return QTextCharFormat();
    QTextCursor at(const_cast<QTextDocument *>(&document));
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

} // namespace

class TestEditprofile : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void savesToTheLoadedEntryWhateverIsSelected();
    void openingAgainReplacesTextAndCaption();
    void savingUnloadsAndReopeningIsFresh();
    void closeBoxDiscards();
    void saveRecreatesAnEntryDeletedMeanwhile();
    void saveIntoVanishedFolderKeepsEditorOpen();
    void formattingSurvivesSaveAndReload();
    void nothingSelectedOpensNothing();
    void loadFailure_data();
    void loadFailure();
    void editorOutlivesMainWindow();
};

void TestEditprofile::cleanup()
{
    // An editor is a window of its own, not owned by the main window; none may reach
    // the next test.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<editprofile *>(window))
            delete window;
    }
}

void TestEditprofile::savesToTheLoadedEntryWhateverIsSelected()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    sandbox.write(B, plainEntry("beta"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    editprofile *editor = openEditorOn(*form, A);
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), caption(A));
    QCOMPARE(editor->Label1->text(), sandbox.entry(A));
    QCOMPARE(editor->RichTextBox1->toPlainText(), QStringLiteral("alpha"));
    // Neither modal nor owned: the main window stays usable beside it.
    QVERIFY(!editor->parentWidget());
    QCOMPARE(editor->windowModality(), Qt::NonModal);
    QCOMPARE(editor->focusWidget(), editor->RichTextBox1);
    // The path label lies below the client area, out of the user's sight.
    QVERIFY(!editor->rect().intersects(editor->Label1->geometry()));

    typeAtEnd(*editor->RichTextBox1, QStringLiteral(" more"));
    QVERIFY(testsupport::clickEntry(*form->File1, B));
    QTest::mouseClick(editor->Command1, Qt::LeftButton);

    QCOMPARE(sandbox.read(A), plainEntry("alpha more"));
    QCOMPARE(sandbox.read(B), plainEntry("beta"));
    QVERIFY(dialogs.asked().isEmpty());
    QVERIFY(!shownEditor());
}

void TestEditprofile::openingAgainReplacesTextAndCaption()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    sandbox.write(B, plainEntry("beta"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    QPointer<editprofile> first = openEditorOn(*form, A);
    QVERIFY(first);
    typeAtEnd(*first->RichTextBox1, QStringLiteral(" unsaved"));

    editprofile *second = openEditorOn(*form, B);
    QCOMPARE(second, first.data());
    QCOMPARE(editorCount(), 1);
    // The caption names the entry being edited, once; it does not grow.
    QCOMPARE(second->windowTitle(), caption(B));
    QCOMPARE(second->Label1->text(), sandbox.entry(B));
    QCOMPARE(second->RichTextBox1->toPlainText(), QStringLiteral("beta"));

    typeAtEnd(*second->RichTextBox1, QStringLiteral(" edited"));
    QTest::mouseClick(second->Command1, Qt::LeftButton);
    QCOMPARE(sandbox.read(B), plainEntry("beta edited"));
    QCOMPARE(sandbox.read(A), plainEntry("alpha"));
    QVERIFY(dialogs.asked().isEmpty());
}

void TestEditprofile::savingUnloadsAndReopeningIsFresh()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    sandbox.write(B, plainEntry("beta"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    QPointer<editprofile> first = openEditorOn(*form, A);
    QVERIFY(first);
    openEditorOn(*form, B);
    typeAtEnd(*first->RichTextBox1, QStringLiteral("!"));
    QTest::mouseClick(first->Command1, Qt::LeftButton);
    QVERIFY(!first->isVisible());
    QVERIFY(waitUntilDeleted(first));
    QCOMPARE(editorCount(), 0);

    editprofile *fresh = openEditorOn(*form, A);
    QVERIFY(fresh);
    QCOMPARE(fresh->windowTitle(), caption(A));
    QCOMPARE(fresh->Label1->text(), sandbox.entry(A));
    QCOMPARE(fresh->RichTextBox1->toPlainText(), QStringLiteral("alpha"));
    QCOMPARE(sandbox.read(B), plainEntry("beta!"));
}

void TestEditprofile::closeBoxDiscards()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    QPointer<editprofile> editor = openEditorOn(*form, A);
    QVERIFY(editor);
    typeAtEnd(*editor->RichTextBox1, QStringLiteral(" thrown away"));
    QVERIFY(editor->close());
    QVERIFY(waitUntilDeleted(editor));

    QCOMPARE(sandbox.read(A), plainEntry("alpha"));
    QVERIFY(dialogs.asked().isEmpty());
    QCOMPARE(openEditorOn(*form, A)->RichTextBox1->toPlainText(), QStringLiteral("alpha"));
}

void TestEditprofile::saveRecreatesAnEntryDeletedMeanwhile()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    sandbox.write(B, plainEntry("beta"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    editprofile *editor = openEditorOn(*form, A);
    QVERIFY(editor);
    typeAtEnd(*editor->RichTextBox1, QStringLiteral(" kept"));

    // The user deletes the same entry in the main window.
    dialogs.answerMessages({dialogs::Yes});
    QTest::mouseClick(form->Command7, Qt::LeftButton);
    QVERIFY(!sandbox.exists(A));
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList{B});

    QTest::mouseClick(editor->Command1, Qt::LeftButton);
    QCOMPARE(sandbox.read(A), plainEntry("alpha kept"));
    QVERIFY(dialogs.errors().isEmpty());

    // The list shows it again once it reads the folder again, as a search does.
    QTest::keyClicks(form->Text1, QStringLiteral("A"));
    QTest::keyClick(form->Text1, Qt::Key_Backspace);
    QCOMPARE(testsupport::shownNames(*form->File1), (QStringList{A, B}));
}

void TestEditprofile::saveIntoVanishedFolderKeepsEditorOpen()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    QPointer<editprofile> editor = openEditorOn(*form, A);
    QVERIFY(editor);
    typeAtEnd(*editor->RichTextBox1, QStringLiteral(" mended"));

    QDir base(sandbox.base());
    QVERIFY(base.rename(QStringLiteral("List"), QStringLiteral("Elsewhere")));
    QTest::mouseClick(editor->Command1, Qt::LeftButton);

    const QStringList errors = dialogs.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(sandbox.entry(A)), qPrintable(errors.first()));
    QVERIFY(editor);
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->RichTextBox1->toPlainText(), QStringLiteral("alpha mended"));
    QCOMPARE(editor->Label1->text(), sandbox.entry(A));
    QCOMPARE(editor->windowTitle(), caption(A));
    // Nothing was made in place of the folder.
    QVERIFY(!QFileInfo::exists(sandbox.list()));

    QVERIFY(base.rename(QStringLiteral("Elsewhere"), QStringLiteral("List")));
    QCOMPARE(sandbox.read(A), plainEntry("alpha"));
    QTest::mouseClick(editor->Command1, Qt::LeftButton);
    QCOMPARE(sandbox.read(A), plainEntry("alpha mended"));
    QCOMPARE(dialogs.errors().size(), 1);
    QVERIFY(waitUntilDeleted(editor));
    // The atomic save leaves no temporary file behind.
    QCOMPARE(QDir(sandbox.list()).entryList(QDir::Files | QDir::Hidden), QStringList{A});
}

void TestEditprofile::formattingSurvivesSaveAndReload()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("site"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    editprofile *editor = openEditorOn(*form, A);
    QVERIFY(editor);
    RichTextBox &box = *editor->RichTextBox1;
    typeAtEnd(box, QStringLiteral(" "));
    box.setFontWeight(QFont::Bold);
    QTest::keyClicks(&box, QStringLiteral("bold"));
    box.setFontWeight(QFont::Normal);
    QTest::keyClicks(&box, QStringLiteral(" "));
    box.setTextColor(QColor(200, 0, 0));
    QTest::keyClicks(&box, QStringLiteral("red"));
    box.setTextColor(QColor(Qt::black));
    typeText(box, QStringLiteral(" Привет 😀"));
    const QString typed = QStringLiteral("site bold red Привет 😀");
    QCOMPARE(box.toPlainText(), typed);
    QTest::mouseClick(editor->Command1, Qt::LeftButton);
    const QByteArray firstSave = sandbox.read(A);

    // Cyrillic goes out in the code page, as hexadecimal escapes.
    QVERIFY2(firstSave.toLower().contains("\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2"), firstSave.constData());

    editprofile *reopened = openEditorOn(*form, A);
    QVERIFY(reopened);
    const QTextDocument &document = *reopened->RichTextBox1->document();
    QCOMPARE(document.toPlainText(), typed);
    QCOMPARE(formatOf(document, QStringLiteral("bold")).fontWeight(), int(QFont::Bold));
    QCOMPARE(formatOf(document, QStringLiteral("site")).fontWeight(), int(QFont::Normal));
    QCOMPARE(formatOf(document, QStringLiteral("red")).foreground().color(), QColor(200, 0, 0));
    QCOMPARE(formatOf(document, QStringLiteral("red")).fontWeight(), int(QFont::Normal));

    // Saving what was loaded, untouched, writes the same bytes again.
    QTest::mouseClick(reopened->Command1, Qt::LeftButton);
    QCOMPARE(sandbox.read(A), firstSave);
    // And the main window shows the same text.
    QVERIFY(testsupport::clickEntry(*form->File1, A));
    QCOMPARE(form->Text2->toPlainText(), typed);
}

void TestEditprofile::nothingSelectedOpensNothing()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    QVERIFY(testsupport::clickEntry(*form->File1, A));
    QTRY_VERIFY(form->Command5->isEnabled());
    // The click lands in the moment before the timer sees that the selection is gone.
    form->File1->clearSelection();
    form->File1->setCurrentIndex(QModelIndex());
    QCOMPARE(form->File1->fileName(), QString());
    QVERIFY(form->Command5->isEnabled());
    QTest::mouseClick(form->Command5, Qt::LeftButton);

    QVERIFY(!shownEditor());
    QCOMPARE(editorCount(), 0);
    QVERIFY(dialogs.asked().isEmpty());
}

void TestEditprofile::loadFailure_data()
{
    QTest::addColumn<bool>("editorWasOpen");
    QTest::newRow("new editor") << false;
    QTest::newRow("editor already open on another entry") << true;
}

void TestEditprofile::loadFailure()
{
    QFETCH(bool, editorWasOpen);
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    sandbox.write(B, plainEntry("beta"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    QPointer<editprofile> open;
    if (editorWasOpen) {
        open = openEditorOn(*form, B);
        QVERIFY(open);
        typeAtEnd(*open->RichTextBox1, QStringLiteral(" unsaved"));
    }
    QVERIFY(testsupport::clickEntry(*form->File1, A));
    QTRY_VERIFY(form->Command5->isEnabled());
    QVERIFY(QFile::remove(sandbox.entry(A)));
    QTest::mouseClick(form->Command5, Qt::LeftButton);

    const QStringList errors = dialogs.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(sandbox.entry(A)), qPrintable(errors.first()));
    if (editorWasOpen) {
        QVERIFY(open);
        QCOMPARE(shownEditor(), open.data());
        QCOMPARE(open->RichTextBox1->toPlainText(), QStringLiteral("beta unsaved"));
        QCOMPARE(open->Label1->text(), sandbox.entry(B));
        QCOMPARE(open->windowTitle(), caption(B));
        QTest::mouseClick(open->Command1, Qt::LeftButton);
        QCOMPARE(sandbox.read(B), plainEntry("beta unsaved"));
    } else {
        // No window is left that could save to a path it never loaded.
        QVERIFY(!shownEditor());
        QTRY_COMPARE(editorCount(), 0);
    }
    QVERIFY(!sandbox.exists(A));
}

void TestEditprofile::editorOutlivesMainWindow()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    sandbox.write(A, plainEntry("alpha"));
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    QPointer<editprofile> editor = openEditorOn(*form, A);
    QVERIFY(editor);
    QVERIFY(form->close());
    QVERIFY(!form->isVisible());
    QTest::qWait(10);
    QVERIFY(editor);
    QVERIFY(editor->isVisible());

    typeAtEnd(*editor->RichTextBox1, QStringLiteral(" later"));
    QTest::mouseClick(editor->Command1, Qt::LeftButton);
    QCOMPARE(sandbox.read(A), plainEntry("alpha later"));
    QVERIFY(waitUntilDeleted(editor));
}

QTEST_MAIN(TestEditprofile)
#include "tst_editprofile.moc"
