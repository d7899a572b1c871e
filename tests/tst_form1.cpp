#include "controls/filelist/filelistbox.h"
#include "controls/filelist/filelistmodel.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <private/qguiapplication_p.h>
#include <QAccessible>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace testsupport;

// Where the program is started: in a folder without a List folder, in one where none
// can be made, or in a folder deleted since.
enum Base { NoList, Unmakeable, Deleted };
// What is under way when a key is pressed: nothing selected, an entry selected (its
// buttons enabled or, between two ticks, still disabled), the selection gone before the
// tick disables them, an add, or the editor open.
enum State { Idle, Selected, Disabled, Deselected, Adding, Editing };
// What another program does to the folder while the window shows it, "beta" selected.
enum Change { Made, OtherDeleted, Rewritten, Renamed, SelectedDeleted, Burst, EditorSave };

class TestForm1 : public QObject {
    Q_OBJECT

public slots:
    // Stands in for the browser.
    void open(const QUrl &url) { m_opened << url.toString(); }

private slots:
    void initTestCase() { QDesktopServices::setUrlHandler("https", this, "open"); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("https"); }
    void cleanup() { closeEditors(); }
    void design();
    void startup_data();
    void startup();
    void browsing();
    void followsItsFolder_data();
    void followsItsFolder();
    void adding();
    void keys_data();
    void keys();
    void dropStartsFilledAdd_data();
    void dropStartsFilledAdd();

private:
    QStringList m_opened;
};

// What the user sees on the window and in its boxes, and what a screen reader is told.
void TestForm1::design()
{
    Session s;
    const QString news = "<b>news &lt;"; // what looks like markup shows as typed
    QVERIFY(s.open({"zeta", news}));
    Form1 &form = *s.form;
    QCOMPARE(form.windowTitle(), "Sitebook");
    // The bars keep their size on a dense screen and are drawn from pictures with as many
    // pixels as the screen has (CTest runs this also at twice the scale).
    QCOMPARE(form.Command3->picture().deviceIndependentSize(), QSizeF(96, 11));
    QCOMPARE(form.Command3->picture().devicePixelRatio(), form.devicePixelRatioF());

    // Offscreen no screen reader listens; this stands in for one.
    // What a screen reader is told, as "control: text".
    static QStringList told;
    QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
        const QString control = event->object()->objectName() + QStringLiteral(": ");
        if (event->type() == QAccessible::TextUpdated)
            told << control + static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted();
        else if (event->type() == QAccessible::NameChanged)
            told << control + event->accessibleInterface()->text(QAccessible::Name);
    });
    QPlatformAccessibility *bridge = QGuiApplicationPrivate::platformIntegration()->accessibility();
    bridge->setActive(true);
    const auto stop = qScopeGuard([&] {
        bridge->setActive(false);
        QAccessible::installUpdateHandler(nullptr);
    });
    typeSearch(form, "e");
    QVERIFY(select(form, news));
    QVERIFY2(told.contains("l:  Found: 2") && told.contains("Text2: " + news + " notes"),
             qPrintable(told.join(u'|')));
    // A picture button is named by its caption, the two counts by what they show.
    QStringList names;
    for (QWidget *control : QWidgetList{form.l, form.Label1, form.Command7})
        names << QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
    QCOMPARE(names, QStringList({" Found: 2", "URLs in list: 2", "Delete selected URL"}));

    // The About text as stored, its lines ended by CR LF.
    s.dialogs.clear();
    QTest::mouseClick(form.Command6, Qt::LeftButton);
    QVERIFY(s.dialogs.prompts().value(0).startsWith("Sitebook\r\n\r\nhttps://"));

    // The real message box, read and answered No as soon as it is up, shows the name as
    // typed, never as markup.
    dialogs::setProvider(nullptr);
    QString shown;
    QTimer::singleShot(0, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = (box->textFormat() == Qt::PlainText ? "" : "as markup: ") + box->text();
            box->done(QMessageBox::No);
        }
    });
    QTest::mouseClick(form.Command7, Qt::LeftButton);
    QCOMPARE(shown, "Do you really want to delete " + news + " site?");
    QVERIFY(s.sandbox.exists(news));

    // No display name is set, which Qt would append to every window title: the display
    // name follows the application name.
    Form1::setUpApplication();
    QCOMPARE(QCoreApplication::applicationName(), "Sitebook");
    QCoreApplication::setApplicationName("another");
    QCOMPARE(QGuiApplication::applicationDisplayName(), "another");
    QCoreApplication::setApplicationName("Sitebook");
}

void TestForm1::startup_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("answer");
    // The statistics line when the list is shown; else what the error report says, "" when
    // the program ends without one.
    QTest::addColumn<QString>("outcome");
    const auto row = [](const char *tag, Base base, int answer, const char *outcome) {
        QTest::newRow(tag) << int(base) << answer << outcome;
    };
    row("no List: Yes makes it", NoList, dialogs::Yes, "URLs in list: 0");
    row("no List: No ends", NoList, dialogs::No, "");
    row("no List, none can be made", Unmakeable, dialogs::Yes, "/List\": Operation not permitted");
    row("start folder deleted: nothing offered", Deleted, dialogs::Yes, "no longer exists");
}

void TestForm1::startup()
{
    QFETCH(int, base);
    QFETCH(int, answer);
    QFETCH(QString, outcome);
    Sandbox sandbox(false);
    ScriptedDialogs dialogs;
    dialogs.answerMessages({answer});
    if (base == Deleted)
        QVERIFY(QDir().rmdir(sandbox.base()));
    if (base == Unmakeable && !setImmutable(sandbox.base(), true))
        QSKIP("the base folder cannot be made immutable here");
    const auto undo = qScopeGuard([&] { setImmutable(sandbox.base(), false); });
    const mode_t umaskBefore = ::umask(022);
    Form1 form;
    const bool loaded = form.Form1_Load();
    ::umask(umaskBefore);
    const QString shown = loaded ? form.Label1->text() : dialogs.errors().value(0);
    QVERIFY2(loaded == outcome.startsWith("URLs") && shown.contains(outcome), qPrintable(shown));
    QCOMPARE(dialogs.errors().size(), int(!loaded && !outcome.isEmpty()));
    QVERIFY(!loaded || form.Label1->width() >= form.Label1->sizeHint().width());
    // Without a List folder the user is asked whether to make it, the folder named.
    QCOMPARE(dialogs.asked().size(), int(base != Deleted) + dialogs.errors().size());
    QVERIFY(base == Deleted || dialogs.asked()[0].prompt.contains(sandbox.list()));
    struct stat made {};
    QCOMPARE(::stat(QFile::encodeName(sandbox.list()).constData(), &made) == 0, loaded);
    QVERIFY(!loaded || (made.st_mode & 07777) == 0755);
}

void TestForm1::browsing()
{
    Session s;
    s.sandbox.write("xaby", "{\\rtf1\\ansi {\\b xaby} text www.example.org/a, then\\par}");
    QVERIFY(s.open({"abc", "ZAB", "news", "nows"}));
    Form1 &form = *s.form;
    QCOMPARE(QApplication::focusWidget(), form.Text1);
    // With nothing selected, the timer disables Edit and Delete.
    QTRY_VERIFY(!form.Command5->isEnabled() && !form.Command7->isEnabled());
    // The button under the pointer lights up; a disabled one never does, the pointer over
    // it being over the window.
    const qint64 unlit = form.Image3->pixmap().cacheKey();
    QTest::mouseMove(form.Command3, form.Command3->rect().center());
    QVERIFY(form.Command3->picture().cacheKey() != unlit);
    QTest::mouseMove(form.Command7, form.Command7->rect().center());
    QVERIFY(form.Command3->picture().cacheKey() == unlit &&
            form.Command7->picture().cacheKey() == unlit);

    // Letter case is ignored; the statistics line keeps its count until a selection.
    typeSearch(form, "aB");
    QCOMPARE(shownNames(*form.File1), QStringList({"abc", "xaby", "ZAB"}));
    QCOMPARE(form.l->isVisible() ? form.l->text() : "hidden", " Found: 3");
    QCOMPARE(form.Label1->text(), "URLs in list: 5");

    // A click shows the entry at once, its addresses as links, and counts what the search
    // shows; the next tick enables Edit and Delete.
    QVERIFY(clickEntry(*form.File1, "xaby"));
    QCOMPARE(form.Text2->toPlainText(), "xaby text www.example.org/a, then");
    QCOMPARE(form.Label1->text(), "URLs in list: 3");
    QTextCursor link(form.Text2->document());
    link.setPosition(16);
    QVERIFY(link.charFormat().fontUnderline());
    QTRY_VERIFY(form.Command5->isEnabled() && form.Command7->isEnabled());

    // Emptied key by key, the search shows all again. "?" is any one character. A search
    // that hides the selected entry leaves none selected: the next tick disables Edit and
    // Delete and empties the pane.
    QTest::keyClick(form.Text1, Qt::Key_Backspace);
    QTest::keyClick(form.Text1, Qt::Key_Backspace);
    QVERIFY(!form.l->isVisible() && form.File1->listCount() == 5);
    typeSearch(form, "n?ws");
    QCOMPARE(shownNames(*form.File1), QStringList({"news", "nows"}));
    QCOMPARE(form.l->text(), " Found: 2");
    QTRY_VERIFY(!form.Command5->isEnabled() && !form.Command7->isEnabled() &&
                form.Text2->document()->isEmpty());

    // Delete asks first, naming the entry: No changes nothing; Yes removes exactly that
    // file, and the list and its count follow, the search kept.
    QVERIFY(select(form, "news"));
    deleteSelected(form, s.dialogs, dialogs::No);
    QCOMPARE(folderContents(s.sandbox.list()).size(), 5);
    QCOMPARE(form.File1->fileName() + '|' + form.Label1->text(), "news|URLs in list: 2");
    deleteSelected(form, s.dialogs, dialogs::Yes);
    QCOMPARE(s.dialogs.asked().size(), 2);
    QCOMPARE(folderContents(s.sandbox.list()), QStringList({"ZAB", "abc", "nows", "xaby"}));
    QCOMPARE(shownNames(*form.File1), QStringList("nows"));
    QCOMPARE(form.Label1->text(), "URLs in list: 1");
    QTRY_VERIFY(!form.Command7->isEnabled());
}

void TestForm1::followsItsFolder_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("pane"); // "" when nothing is selected then
    const auto row = [](const char *tag, Change change, const char *search, const char *pane) {
        QTest::newRow(tag) << int(change) << search << pane;
    };
    row("entries made, search active", Made, "et", "beta notes");
    row("another entry deleted", OtherDeleted, "", "beta notes");
    row("selected rewritten in place", Rewritten, "", "rewritten");
    row("selected replaced by a rename", Renamed, "b", "renamed");
    row("selected deleted", SelectedDeleted, "", "");
    row("3,000 entries in a burst, search active", Burst, "t", "beta notes");
    row("the editor saves the selected entry", EditorSave, "", "beta notes, edited");
}

// The window catches up with the folder by itself and asks nothing; a burst is read
// about once a second while it lasts, however many files it writes.
void TestForm1::followsItsFolder()
{
    QFETCH(int, change);
    QFETCH(QString, search);
    QFETCH(QString, pane);
    Session s;
    QVERIFY(s.open({"alpha", "beta", "gamma"}));
    Form1 &form = *s.form;
    typeSearch(form, search);
    QVERIFY(select(form, "beta"));
    const auto &model = *qobject_cast<const FileListModel *>(form.File1->model());
    const int readsBefore = model.readCount();
    QElapsedTimer clock;
    clock.start();
    if (change == Made)
        for (const char *name : {"better", "omega"})
            s.sandbox.write(name, plainEntry(name));
    for (int i = 0; change == Burst && i < 3000; ++i) {
        // As a sync tool writes: the window handles its events meanwhile.
        s.sandbox.write(QString::asprintf("burst %04d", i), plainEntry("x"));
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    if (change == OtherDeleted || change == SelectedDeleted)
        QVERIFY(QFile::remove(s.sandbox.entry(change == OtherDeleted ? "alpha" : "beta")));
    if (change == Rewritten || change == Renamed)
        s.sandbox.write(change == Renamed ? ".partial" : "beta", plainEntry(pane.toUtf8()));
    if (change == Renamed)
        QCOMPARE(std::rename(qPrintable(s.sandbox.entry(".partial")),
                             qPrintable(s.sandbox.entry("beta"))),
                 0);
    if (change == EditorSave) {
        editprofile *editor = openEditor(form);
        QVERIFY(editor);
        typeAtEnd(*editor->RichTextBox1, ", edited");
        QVERIFY(saveAndClose(*editor));
    }
    QStringList expected = QDir(s.sandbox.list()).entryList({'*' + search + '*'}, QDir::Files);
    expected.sort(Qt::CaseInsensitive);
    QTRY_COMPARE_WITH_TIMEOUT(shownNames(*form.File1), expected, 20000);
    QCOMPARE(form.Label1->text(), "URLs in list: " + QString::number(expected.size()));
    QCOMPARE(form.l->text(), search.isEmpty() ? "" : " Found: " + QString::number(expected.size()));
    QTRY_COMPARE(form.Text2->toPlainText(), pane);
    QCOMPARE(form.File1->fileName(), pane.isEmpty() ? "" : "beta");
    QCOMPARE(s.dialogs.prompts(), QStringList());
    const qint64 reads = model.readCount() - readsBefore;
    QVERIFY2(reads <= 4 + clock.elapsed() / 1000, qPrintable(QString::number(reads)));
}

void TestForm1::adding()
{
    Session s;
    QVERIFY(s.open({"old"}));
    Form1 &form = *s.form;
    typeSearch(form, "zz");
    startAdd(form, s.dialogs, "café");
    // The search is cleared; the entry is made at once, empty, but not listed or counted
    // before "Save"; the window grows to show the new-entry box and its "Save".
    QVERIFY(form.Text1->text().isEmpty() && !form.l->isVisible());
    QCOMPARE(s.dialogs.asked().value(0).title, "Sitebook");
    QCOMPARE(
        s.dialogs.prompts(),
        QStringList({"Add URL description:", "Enter the site information below and press 'save'"}));
    QCOMPARE(s.sandbox.read("café"), plainEntry(""));
    QCOMPARE(shownNames(*form.File1), QStringList({"old"}));
    QVERIFY(form.Command4->geometry().bottom() < form.height());

    // A second add takes over: the first entry stays empty and the box is emptied.
    typeAtEnd(*form.g, "lost");
    startAdd(form, s.dialogs, "second");
    QCOMPARE(form.g->toPlainText(), QString());
    typeAtEnd(*form.g, "https://example.org/ {notes}");

    // A cancelled or refused add makes nothing and leaves the add under way as it is: a
    // name that climbs out of the folder, one taken, or taken in the other Unicode form.
    QVERIFY(QDir(s.sandbox.list()).mkdir("sub"));
    const QStringList before = folderContents(s.sandbox.base()) + folderContents(s.sandbox.list());
    for (const QString &name :
         {QString(), QString("sub/../../escaped"), QString("second"), QString("cafe\u0301")}) {
        s.dialogs.clear();
        startAdd(form, s.dialogs, name);
        QCOMPARE(s.dialogs.asked().size(), name.isEmpty() ? 1 : 2);
        QVERIFY(name.isEmpty() || s.dialogs.prompts().constLast().contains('"' + name + '"'));
    }
    QCOMPARE(folderContents(s.sandbox.base()) + folderContents(s.sandbox.list()), before);
    QTest::mouseClick(form.Command4, Qt::LeftButton);
    QCOMPARE(s.sandbox.read("café"), plainEntry(""));
    QCOMPARE(s.sandbox.read("second"), plainEntry("https://example.org/ \\{notes\\}"));
    QVERIFY(form.g->geometry().top() >= form.height());
    QCOMPARE(shownNames(*form.File1), QStringList({"café", "old", "second"}));
    QCOMPARE(form.Label1->text(), "URLs in list: 3");
}

void TestForm1::keys_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("key");
    // Then: the buttons the key clicked (so that it does what a click does, and nothing
    // while its button is disabled) | how many questions were asked | the focus | the
    // selected entry | the search text, [marked] when selected | the address opened.
    QTest::addColumn<QString>("after");
    const auto row = [](const char *tag, State state, const char *search, const char *focus,
                        const char *key, const char *after) {
        QTest::newRow(tag) << int(state) << search << focus << key << after;
    };
    row("Down in the search", Idle, "e", "Text1", "Down", " | 0 | File1 | beta | e | ");
    row("Escape in the search", Idle, "ne", "Text1", "Esc", " | 0 | Text1 |  |  | ");
    row("Tab, then Down in the list", Idle, "", "Text1", "Tab, Down", " | 0 | File1 | alpha |  | ");
    row("Up in the list", Idle, "", "File1", "Up", " | 0 | File1 | news |  | ");
    row("Return in the list", Idle, "", "File1", "Down, Return",
        " | 0 | File1 | alpha |  | https://alpha.example/a");
    row("Ctrl+F", Idle, "ne", "File1", "Ctrl+F", " | 0 | Text1 |  | [ne] | ");
    row("Delete", Selected, "", "File1", "Del", "Command7 | 1 | File1 | news |  | ");
    row("Delete, disabled", Disabled, "", "File1", "Del", " | 0 | File1 | news |  | ");
    row("Delete, the selection gone", Deselected, "", "File1", "Del",
        "Command7 | 0 | File1 |  |  | ");
    row("Ctrl+N", Selected, "", "File1", "Ctrl+N", "Command3 | 1 | File1 | news |  | ");
    row("Ctrl+E in the search", Selected, "", "Text1", "Ctrl+E",
        "Command5 | 0 | RichTextBox1 | news |  | ");
    row("F2", Selected, "", "File1", "F2", "Command5 | 0 | RichTextBox1 | news |  | ");
    row("F2, the selection gone", Deselected, "", "File1", "F2", "Command5 | 0 | File1 |  |  | ");
    row("Ctrl+S in the new-entry box", Adding, "", "g", "Ctrl+S",
        "Command4 | 0 | none | news |  | ");
    row("Ctrl+S in the editor", Editing, "", "RichTextBox1", "Ctrl+S",
        "Command1 | 0 | none | news |  | ");
    row("Return on a button", Selected, "", "Command3", "Return",
        "Command3 | 1 | Command3 | news |  | ");
}

void TestForm1::keys()
{
    QFETCH(int, state);
    QFETCH(QString, search);
    QFETCH(QString, focus);
    QFETCH(QString, key);
    QFETCH(QString, after);
    Session s;
    s.sandbox.write("alpha", plainEntry("alpha notes https://alpha.example/a, www.b.example"));
    QVERIFY(s.open({"beta", "news"}));
    Form1 &form = *s.form;
    m_opened.clear();
    typeSearch(form, search);
    // Disabled: the entry is clicked between two ticks, its buttons still disabled.
    QTRY_VERIFY(state != Disabled || (!form.Command7->isEnabled() && (form.Timer1->stop(), true)));
    QVERIFY(state == Idle ||
            (state == Disabled ? clickEntry(*form.File1, "news") : select(form, "news")));
    if (state == Deselected) {
        form.Timer1->stop();
        form.File1->clearSelection();
        form.File1->setCurrentIndex(QModelIndex());
    }
    if (state == Adding)
        startAdd(form, s.dialogs, "fresh");
    QWidget *window = state == Editing ? openEditor(form) : static_cast<QWidget *>(&form);
    QVERIFY(window && QTest::qWaitForWindowActive(window));
    QStringList clicked;
    for (QAbstractButton *each : window->findChildren<QAbstractButton *>())
        connect(each, &QAbstractButton::clicked, this,
                [&, each] { clicked << each->objectName(); });
    window->findChild<QWidget *>(focus)->setFocus();
    s.dialogs.clear();
    s.dialogs.answerMessages({dialogs::No});
    QTest::keySequence(QGuiApplication::focusWindow(), QKeySequence(key));
    const QString marked =
        form.Text1->hasSelectedText() ? '[' + form.Text1->selectedText() + ']' : form.Text1->text();
    QCOMPARE(QStringList(
                 {clicked.join(u' '), QString::number(s.dialogs.asked().size()),
                  QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "none",
                  form.File1->fileName(), marked, m_opened.join(u' ')})
                 .join(" | "),
             after);
    // A selection made by a key shows its entry, as a click does.
    QVERIFY(form.File1->fileName().isEmpty() ||
            form.Text2->toPlainText().startsWith(form.File1->fileName() + " notes"));
}

void TestForm1::dropStartsFilledAdd_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("proposed"); // the name proposed, "" when the drop is ignored
    QTest::addColumn<QString>("address");
    const auto row = [](const char *tag, const char *format, const QByteArray &data,
                        const QString &proposed, const QString &address) {
        QTest::newRow(tag) << format << data << proposed << address;
    };
    const QString mozUrl = "https://example.org/page\nExample / Page";
    row("x-moz-url with its title", "text/x-moz-url",
        QByteArray(reinterpret_cast<const char *>(mozUrl.utf16()), mozUrl.size() * 2),
        "Example - Page", "https://example.org/page");
    row("uri-list", "text/uri-list", "# dragged\r\nhttps://xn--e1afmkfd.xn--p1ai/a%20b\r\n",
        "пример.рф", "https://пример.рф/a%20b");
    row("plain-text address", "text/plain", " mailto:ann@example.org\n", "ann@example.org",
        "mailto:ann@example.org");
    row("local file ignored", "text/uri-list", "file:///etc/passwd\r\n", "", "");
}

void TestForm1::dropStartsFilledAdd()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, data);
    QFETCH(QString, proposed);
    QFETCH(QString, address);
    Session s;
    QVERIFY(s.open());
    s.dialogs.answerInputs({proposed});
    QMimeData mime;
    mime.setData(format, data);
    // Dropped on the list, which takes no drops itself: the window does.
    QWidget *target = s.form->File1->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();
    QCOMPARE(s.dialogs.asked().value(0).defaultText, proposed);
    QCOMPARE(folderContents(s.sandbox.list()),
             proposed.isEmpty() ? QStringList() : QStringList(proposed));
    QCOMPARE(s.form->g->toPlainText(), address);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
