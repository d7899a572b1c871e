#include "controls/filelist/filelistbox.h"
#include "controls/filelist/filelistmodel.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "store/store.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>

using testsupport::Sandbox;
using testsupport::ScriptedDialogs;

namespace {

// Types as a user would, one key at a time; keys beyond Latin-1 carry their text.
void typeInto(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClicks(widget, QString(ch));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

void typeSearch(Form1 &form, const QString &text)
{
    form.Text1->setFocus();
    typeInto(form.Text1, text);
}

void tick(Form1 &form)
{
    QTest::qWait(form.Timer1->interval() + 50);
}

// Everything in the base folder and below it, so a test sees any stray file.
QStringList everything(const QString &base)
{
    QStringList found;
    QDirIterator it(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next().mid(base.size());
    found.sort();
    return found;
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    // Design and start-up
    void designCaptionsAndGeometry();
    void startupCount_data();
    void startupCount();
    void startupWithoutListFolder_data();
    void startupWithoutListFolder();
    void startupInADeletedFolder();

    // Browsing, search and the selection timer
    void searchNarrowsAndCounts();
    void searchPatterns_data();
    void searchPatterns();
    void selectingShowsEntryAndCount();
    void selectionShowsFormatting();
    void timerFollowsSelection();
    void changesBehindTheBackShowOnNextKeystroke();
    void vanishedEntryIsReportedAndProgramGoesOn();
    void followsItsFolder_data();
    void followsItsFolder();

    // Adding an entry
    void addCreatesThenSaves();
    void addCancelledCreatesNothing();
    void addRefusesBadNames_data();
    void addRefusesBadNames();
    void addRefusesTakenName();
    void addFailedSaveKeepsText();
    void twoAddsThenOneSave();
    void saveOutsideAnAddWritesNothing();

    // A link dropped on the window
    void dropStartsFilledAdd_data();
    void dropStartsFilledAdd();
};

void TestForm1::designCaptionsAndGeometry()
{
    Sandbox sandbox;
    auto form = testsupport::openForm1();
    QVERIFY(form);
    QCOMPARE(form->windowTitle(), QStringLiteral("Sitebook"));
    QCOMPARE(form->size(), QSize(600, 318));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!(form->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(form->font().family(), QStringLiteral("Arial"));
    QCOMPARE(form->font().pointSizeF(), 9.75);

    const struct {
        const char *name;
        QString caption;
        QRect geometry;
    } design[] = {
        {"Frame1", QStringLiteral("URL list"), QRect(8, 0, 345, 257)},
        {"Text1", QString(), QRect(56, 24, 281, 25)},
        {"l", QString(), QRect(256, 8, 81, 17)},
        {"File1", QString(), QRect(16, 48, 329, 194)},
        {"Frame2", QStringLiteral("Information"), QRect(360, 0, 233, 257)},
        {"Text2", QString(), QRect(8, 16, 217, 233)},
        {"Frame3", QStringLiteral("Statistics:"), QRect(8, 264, 145, 49)},
        {"Command3", QStringLiteral("Add new URL to list"), QRect(160, 264, 105, 49)},
        {"Command5", QStringLiteral("Edit ULR's information"), QRect(264, 264, 105, 49)},
        {"Command6", QStringLiteral("About \"Sitebook\" soft"), QRect(368, 264, 105, 49)},
        {"Command7", QStringLiteral("Delete selected URL"), QRect(472, 264, 105, 49)},
        {"g", QString(), QRect(8, 320, 481, 49)},
        {"Command4", QStringLiteral("Save"), QRect(496, 328, 97, 41)},
    };
    for (const auto &control : design) {
        auto *widget = form->findChild<QWidget *>(QLatin1String(control.name));
        QVERIFY2(widget, control.name);
        QCOMPARE(widget->geometry(), control.geometry);
        QString caption;
        if (auto *frame = qobject_cast<QGroupBox *>(widget))
            caption = frame->title();
        else if (auto *label = qobject_cast<QLabel *>(widget))
            caption = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            caption = button->text();
        QCOMPARE(caption, control.caption);
    }
    QCOMPARE(form->l->palette().color(QPalette::Window), QColor(255, 255, 192));
    // The bars keep their size on a dense screen and are drawn from pictures with as
    // many pixels as the screen has (CTest runs this also at twice the scale).
    for (const PictureButton *button : {form->Command3, form->Command7}) {
        QCOMPARE(button->picture().deviceIndependentSize(), QSizeF(96, 11));
        QCOMPARE(button->picture().devicePixelRatio(), form->devicePixelRatioF());
    }
    // The statistics line, the new-entry band and the storage band lie where the
    // window shows them or hides them.
    QVERIFY(form->Command3->geometry().bottom() < form->height());
    QVERIFY(form->g->geometry().top() >= form->height());
    QVERIFY(form->about->geometry().top() >= Form1::addingHeight);
    QVERIFY(!form->R->isVisible());
    QVERIFY(!form->Group->isVisible());
    QVERIFY(!form->l->isVisible());

    // Tab order follows the design: search box, list, then the buttons.
    QCOMPARE(QApplication::focusWidget(), form->Text1);
    QTest::keyClick(form->Text1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->File1);
    QTest::keyClick(form->File1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->Command3);
}

void TestForm1::startupCount_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty folder") << QStringList() << "URLs in list: 0";
    QStringList twelve;
    for (int i = 0; i < 10; ++i)
        twelve << QStringLiteral("site%1").arg(i);
    twelve << QStringLiteral("notes.rtf") << QStringLiteral("copied by hand.txt");
    QTest::newRow("twelve, with extensions") << twelve << "URLs in list: 12";
}

void TestForm1::startupCount()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    Sandbox sandbox;
    for (const QString &name : files)
        sandbox.write(name, testsupport::plainEntry("x"));
    // Neither hidden files nor folders are entries.
    sandbox.write(QStringLiteral(".hidden"), "h");
    QVERIFY(QDir(sandbox.list()).mkdir(QStringLiteral("sub")));
    auto form = testsupport::openForm1();
    QVERIFY(form);
    QCOMPARE(form->Label1->text(), expected);
    QCOMPARE(form->File1->listCount(), files.size());
    // Label1 sizes itself to its caption, so the count is never cut off.
    QVERIFY(form->Label1->width() >= form->Label1->sizeHint().width());
}

void TestForm1::startupWithoutListFolder_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("creatable");
    QTest::newRow("Yes creates the folder and opens the empty list") << int(dialogs::Yes) << true;
    QTest::newRow("No ends") << int(dialogs::No) << true;
    QTest::newRow("a folder that cannot be made is reported") << int(dialogs::Yes) << false;
}

void TestForm1::startupWithoutListFolder()
{
    QFETCH(int, answer);
    QFETCH(bool, creatable);
    Sandbox sandbox(false);
    ScriptedDialogs dialogs;
    dialogs.answerMessages({answer});
    if (!creatable && !testsupport::setImmutable(sandbox.base(), true))
        QSKIP("the base folder cannot be made immutable here");
    const auto undo = qScopeGuard([&] { testsupport::setImmutable(sandbox.base(), false); });
    const mode_t umaskBefore = ::umask(022);
    Form1 form;
    const bool loaded = form.Form1_Load();
    ::umask(umaskBefore);
    const bool opens = answer == dialogs::Yes && creatable;
    QCOMPARE(loaded, opens);
    QCOMPARE(dialogs.asked().first().code, dialogs::YesNo | dialogs::Question);
    QCOMPARE(dialogs.asked().first().title, QStringLiteral("Sitebook"));
    QVERIFY2(dialogs.asked().first().prompt.contains(sandbox.list()),
             qPrintable(dialogs.prompts().first()));
    // What could not be made is reported with the system's reason.
    QCOMPARE(testsupport::reportMismatch(dialogs, creatable ? 0 : 1,
                                         sandbox.list() + "\": Operation not permitted"),
             QString());
    struct stat made {};
    QCOMPARE(::stat(QFile::encodeName(sandbox.list()).constData(), &made) == 0, opens);
    if (opens) {
        QCOMPARE(made.st_mode & 07777, mode_t(0755));
        QCOMPARE(form.Label1->text(), QStringLiteral("URLs in list: 0"));
    }
}

// Started from a folder deleted meanwhile, there is no base folder to look in: that is
// said, and no List folder is offered anywhere else.
void TestForm1::startupInADeletedFolder()
{
    Sandbox sandbox(false);
    QVERIFY(QDir().rmdir(sandbox.base()));
    ScriptedDialogs dialogs;
    dialogs.answerMessages({dialogs::No});
    Form1 form;
    QVERIFY(!form.Form1_Load());
    QCOMPARE(dialogs.asked().size(), 1);
    QVERIFY2(dialogs.errors().value(0).contains(QLatin1String("no longer exists")),
             qPrintable(dialogs.prompts().join(u" | ")));
}

void TestForm1::searchNarrowsAndCounts()
{
    Sandbox sandbox;
    const QStringList names = {"abc",   "xaby",  "ZAB",  "alpha", "beta",
                               "gamma", "delta", "news", "mail",  "maps"};
    for (const QString &name : names)
        sandbox.write(name, testsupport::plainEntry("x"));
    auto form = testsupport::openForm1();
    QVERIFY(form);
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 10"));

    typeSearch(*form, QStringLiteral("ab"));
    QVERIFY(form->l->isVisible());
    QCOMPARE(form->l->text(), QStringLiteral(" Found: 3"));
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList({"abc", "xaby", "ZAB"}));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 10"));

    QTest::keyClick(form->Text1, Qt::Key_Backspace);
    QCOMPARE(form->l->text(), QStringLiteral(" Found: 9"));
    QTest::keyClick(form->Text1, Qt::Key_Backspace);
    QVERIFY(!form->l->isVisible());
    QCOMPARE(form->File1->listCount(), 10);
}

void TestForm1::searchPatterns_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("question mark is any one character") << "n?ws" << QStringList({"news", "nows"});
    QTest::newRow("star is any run") << "a*z" << QStringList({"a[1]z", "abz"});
    QTest::newRow("bracket is literal") << "[1]" << QStringList({"a[1]z"});
    QTest::newRow("letter case ignored") << "NEWS" << QStringList({"news"});
    QTest::newRow("Cyrillic letter case ignored")
        << QStringLiteral("ПОЧТА") << QStringList({QStringLiteral("почта")});
    QTest::newRow("nothing matches") << "zzz" << QStringList();
}

void TestForm1::searchPatterns()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);
    Sandbox sandbox;
    for (const QString &name :
         {QStringLiteral("news"), QStringLiteral("nows"), QStringLiteral("a[1]z"),
          QStringLiteral("abz"), QStringLiteral("site.org"), QStringLiteral("почта")})
        sandbox.write(name, testsupport::plainEntry("x"));
    auto form = testsupport::openForm1();
    QVERIFY(form);
    typeSearch(*form, typed);
    QCOMPARE(testsupport::shownNames(*form->File1), shown);
    QCOMPARE(form->l->text(), QStringLiteral(" Found: ") + QString::number(shown.size()));
}

void TestForm1::selectingShowsEntryAndCount()
{
    Sandbox sandbox;
    sandbox.write(QStringLiteral("news"), testsupport::plainEntry("news text"));
    sandbox.write(QStringLiteral("mail"), testsupport::plainEntry("mail text"));
    sandbox.write(QStringLiteral("maps"), testsupport::plainEntry("maps text"));
    auto form = testsupport::openForm1();
    QVERIFY(form);
    typeSearch(*form, QStringLiteral("ma"));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 3"));
    QVERIFY(testsupport::clickEntry(*form->File1, QStringLiteral("maps")));
    QCOMPARE(form->Text2->toPlainText(), QStringLiteral("maps text"));
    // A selection rewrites the statistics line with the count after the filter.
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 2"));

    // Moving the selection with the keyboard shows the next entry too.
    QTest::keyClick(form->File1, Qt::Key_Up);
    QCOMPARE(form->File1->fileName(), QStringLiteral("mail"));
    QCOMPARE(form->Text2->toPlainText(), QStringLiteral("mail text"));
}

void TestForm1::selectionShowsFormatting()
{
    Sandbox sandbox;
    sandbox.write(
        QStringLiteral("formatted"),
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
        "\\pard\\f0\\fs20 {\\b bold} {\\cf1 red} \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2\\par\r\n}");
    auto form = testsupport::openForm1();
    QVERIFY(form);
    QVERIFY(testsupport::clickEntry(*form->File1, QStringLiteral("formatted")));
    QTextDocument *doc = form->Text2->document();
    QCOMPARE(doc->toPlainText(), QStringLiteral("bold red Привет"));
    QTextCursor cursor(doc);
    cursor.setPosition(2);
    QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Bold));
    cursor.setPosition(7);
    QCOMPARE(cursor.charFormat().foreground().color(), QColor(255, 0, 0));
    QVERIFY(cursor.charFormat().fontWeight() != int(QFont::Bold));
    // The pane is a view: typing into it changes nothing.
    form->Text2->setFocus();
    QTest::keyClicks(form->Text2, QStringLiteral("typed"));
    QCOMPARE(doc->toPlainText(), QStringLiteral("bold red Привет"));
}

void TestForm1::timerFollowsSelection()
{
    Sandbox sandbox;
    sandbox.write(QStringLiteral("news"), testsupport::plainEntry("news text"));
    sandbox.write(QStringLiteral("mail"), testsupport::plainEntry("mail text"));
    auto form = testsupport::openForm1();
    QVERIFY(form);
    tick(*form);
    QVERIFY(!form->Command5->isEnabled());
    QVERIFY(!form->Command7->isEnabled());

    QVERIFY(testsupport::clickEntry(*form->File1, QStringLiteral("news")));
    QCOMPARE(form->Text2->toPlainText(), QStringLiteral("news text"));
    tick(*form);
    QVERIFY(form->Command5->isEnabled());
    QVERIFY(form->Command7->isEnabled());
    QCOMPARE(form->Text2->toPlainText(), QStringLiteral("news text"));

    // A search that hides the selected entry leaves nothing selected: the next tick
    // disables both buttons and empties the pane.
    typeSearch(*form, QStringLiteral("mai"));
    tick(*form);
    QCOMPARE(form->File1->fileName(), QString());
    QVERIFY(!form->Command5->isEnabled());
    QVERIFY(!form->Command7->isEnabled());
    QVERIFY(form->Text2->document()->isEmpty());
}

void TestForm1::changesBehindTheBackShowOnNextKeystroke()
{
    Sandbox sandbox;
    sandbox.write(QStringLiteral("alpha"), testsupport::plainEntry("a"));
    sandbox.write(QStringLiteral("alpine"), testsupport::plainEntry("b"));
    // An old folder: its listing may be reused until something changes it.
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(sandbox.list()).constData(), old, 0) == 0);
    auto form = testsupport::openForm1();
    QVERIFY(form);
    typeSearch(*form, QStringLiteral("a"));
    QCOMPARE(form->l->text(), QStringLiteral(" Found: 2"));

    // Within the same second as the listing was read.
    sandbox.write(QStringLiteral("alps"), testsupport::plainEntry("c"));
    QTest::keyClicks(form->Text1, QStringLiteral("l"));
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList({"alpha", "alpine", "alps"}));
    QVERIFY(QFile::remove(sandbox.entry(QStringLiteral("alpine"))));
    QTest::keyClicks(form->Text1, QStringLiteral("p"));
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList({"alpha", "alps"}));
    QCOMPARE(form->l->text(), QStringLiteral(" Found: 2"));
}

void TestForm1::vanishedEntryIsReportedAndProgramGoesOn()
{
    Sandbox sandbox;
    sandbox.write(QStringLiteral("kept"), testsupport::plainEntry("kept text"));
    sandbox.write(QStringLiteral("gone"), testsupport::plainEntry("gone text"));
    auto form = testsupport::openForm1();
    QVERIFY(form);
    ScriptedDialogs dialogs;
    QVERIFY(testsupport::clickEntry(*form->File1, QStringLiteral("kept")));
    typeSearch(*form, QStringLiteral("e"));
    const QString label = form->Label1->text();
    QVERIFY(QFile::remove(sandbox.entry(QStringLiteral("gone"))));
    QVERIFY(testsupport::clickEntry(*form->File1, QStringLiteral("gone")));
    QCOMPARE(dialogs.errors().size(), 1);
    QVERIFY2(dialogs.errors().first().contains(sandbox.entry(QStringLiteral("gone"))),
             qPrintable(dialogs.errors().first()));
    QCOMPARE(form->Text2->toPlainText(), QStringLiteral("kept text"));
    QCOMPARE(form->Label1->text(), label);
    // Still usable.
    QVERIFY(testsupport::clickEntry(*form->File1, QStringLiteral("kept")));
    QCOMPARE(form->Text2->toPlainText(), QStringLiteral("kept text"));
}

namespace {
enum FolderChange {
    Made,
    OtherDeleted,
    RewrittenInPlace,
    ReplacedByRename,
    SelectedDeleted,
    Burst,
    EditorSave
};
}

void TestForm1::followsItsFolder_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("pane");
    const auto row = [](const char *tag, FolderChange change, const char *search,
                        const char *pane) { QTest::newRow(tag) << int(change) << search << pane; };
    row("entries made, search active", Made, "et", "beta text");
    row("other entry deleted", OtherDeleted, "", "beta text");
    row("selected rewritten in place", RewrittenInPlace, "", "rewritten");
    row("selected replaced by a rename", ReplacedByRename, "b", "replaced by a rename");
    row("selected deleted", SelectedDeleted, "", "");
    row("burst of 3,000 entries, search active", Burst, "t", "beta text");
    row("the editor saves the selected entry", EditorSave, "", "beta text, edited");
}

// Other programs change the folder while the window is open and the event loop runs;
// the window catches up by itself and asks nothing. A burst is read about once a second
// while it lasts, however many files it writes.
void TestForm1::followsItsFolder()
{
    QFETCH(int, change);
    QFETCH(QString, search);
    QFETCH(QString, pane);
    Sandbox sandbox;
    for (const char *name : {"alpha", "beta", "gamma"})
        sandbox.write(name, testsupport::plainEntry(QByteArray(name) + " text"));
    auto form = testsupport::openForm1();
    QVERIFY(form);
    ScriptedDialogs dialogs;
    typeSearch(*form, search);
    QVERIFY(testsupport::select(*form, QStringLiteral("beta")));
    const auto &model = *qobject_cast<const FileListModel *>(form->File1->model());
    const int readsBefore = model.readCount();
    QElapsedTimer clock;
    clock.start();

    switch (FolderChange(change)) {
    case Made:
        sandbox.write(QStringLiteral("better"), testsupport::plainEntry("b"));
        sandbox.write(QStringLiteral("omega"), testsupport::plainEntry("o"));
        break;
    case OtherDeleted:
        QVERIFY(QFile::remove(sandbox.entry(QStringLiteral("alpha"))));
        break;
    case RewrittenInPlace:
        sandbox.write(QStringLiteral("beta"), testsupport::plainEntry("rewritten"));
        break;
    case ReplacedByRename:
        sandbox.write(QStringLiteral(".partial"), testsupport::plainEntry("replaced by a rename"));
        QCOMPARE(::rename(QFile::encodeName(sandbox.entry(".partial")).constData(),
                          QFile::encodeName(sandbox.entry("beta")).constData()),
                 0);
        break;
    case SelectedDeleted:
        QVERIFY(QFile::remove(sandbox.entry(QStringLiteral("beta"))));
        break;
    case Burst:
        // As a sync tool writes: the window handles its events meanwhile.
        for (int i = 0; i < 3000; ++i) {
            sandbox.write(QString::asprintf("burst %04d", i), testsupport::plainEntry("x"));
            if (i % 50 == 0)
                QCoreApplication::processEvents();
        }
        break;
    case EditorSave:
        editprofile *editor = testsupport::openEditor(*form);
        QVERIFY(editor);
        testsupport::typeAtEnd(*editor->RichTextBox1, QStringLiteral(", edited"));
        QVERIFY(testsupport::saveAndClose(*editor));
        break;
    }
    QStringList expected = QDir(sandbox.list()).entryList({'*' + search + '*'}, QDir::Files);
    expected.sort(Qt::CaseInsensitive);
    QTRY_COMPARE_WITH_TIMEOUT(testsupport::shownNames(*form->File1), expected, 20000);
    QCOMPARE(form->Label1->text(), store::statisticsLine(int(expected.size())));
    QCOMPARE(form->l->text(),
             search.isEmpty() ? QString() : store::foundLine(int(expected.size())));
    QTRY_COMPARE(form->Text2->toPlainText(), pane);
    QCOMPARE(form->File1->fileName(), pane.isEmpty() ? QString() : QStringLiteral("beta"));
    QCOMPARE(dialogs.prompts(), QStringList());
    const qint64 reads = model.readCount() - readsBefore;
    QVERIFY2(reads <= 4 + clock.elapsed() / 1000, qPrintable(QString::number(reads)));
}

void TestForm1::addCreatesThenSaves()
{
    Sandbox sandbox;
    sandbox.write(QStringLiteral("old"), testsupport::plainEntry("old"));
    auto form = testsupport::openForm1();
    QVERIFY(form);
    typeSearch(*form, QStringLiteral("zz"));
    ScriptedDialogs dialogs;
    dialogs.answerInputs({QStringLiteral("new site")});
    QTest::mouseClick(form->Command3, Qt::LeftButton);

    QCOMPARE(form->Text1->text(), QString());
    QVERIFY(!form->l->isVisible());
    QCOMPARE(dialogs.asked().size(), 2);
    QCOMPARE(dialogs.asked()[0].prompt, QStringLiteral("Add URL description:"));
    QCOMPARE(dialogs.asked()[0].title, QStringLiteral("Sitebook"));
    QCOMPARE(dialogs.asked()[1].prompt,
             QStringLiteral("Enter the site information below and press 'save'"));
    QCOMPARE(dialogs.asked()[1].code, 64);
    QCOMPARE(dialogs.asked()[1].title, QStringLiteral("Sitebook"));
    QCOMPARE(sandbox.read(QStringLiteral("new site")), testsupport::plainEntry(""));
    QCOMPARE(form->Group->text(), QStringLiteral("new site"));
    QCOMPARE(form->height(), Form1::addingHeight);
    QVERIFY(form->g->geometry().bottom() < form->height());
    QVERIFY(form->Command4->geometry().bottom() < form->height());
    // Not listed, not counted until "Save".
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList({"old"}));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 1"));

    form->g->setFocus();
    QTest::keyClicks(form->g, QStringLiteral("https://example.org/ {notes}"));
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    QCOMPARE(sandbox.read(QStringLiteral("new site")),
             testsupport::plainEntry("https://example.org/ \\{notes\\}"));
    QCOMPARE(form->height(), Form1::normalHeight);
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList({"new site", "old"}));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 2"));
    QCOMPARE(dialogs.errors(), QStringList());
}

void TestForm1::addCancelledCreatesNothing()
{
    Sandbox sandbox;
    auto form = testsupport::openForm1();
    QVERIFY(form);
    typeSearch(*form, QStringLiteral("abc"));
    ScriptedDialogs dialogs;
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    QCOMPARE(dialogs.prompts(), QStringList({QStringLiteral("Add URL description:")}));
    QCOMPARE(form->Text1->text(), QString());
    QCOMPARE(everything(sandbox.base()), QStringList({"/List"}));
    QCOMPARE(form->height(), Form1::normalHeight);
}

void TestForm1::addRefusesBadNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("slash") << "a/b";
    QTest::newRow("climbing out") << "../escaped";
    QTest::newRow("absolute") << "/tmp/escaped";
    QTest::newRow("dot") << ".";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("hidden") << ".secret";
    QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    QTest::newRow("too long") << QString(300, QLatin1Char('x'));
}

void TestForm1::addRefusesBadNames()
{
    QFETCH(QString, name);
    Sandbox sandbox;
    auto form = testsupport::openForm1();
    QVERIFY(form);
    ScriptedDialogs dialogs;
    dialogs.answerInputs({name});
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    QCOMPARE(dialogs.asked().size(), 2);
    const auto &refusal = dialogs.asked()[1];
    QVERIFY2(refusal.prompt.contains(name.left(100)), qPrintable(refusal.prompt));
    QCOMPARE(refusal.title, QStringLiteral("Sitebook"));
    QCOMPARE(everything(sandbox.base()), QStringList({"/List"}));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/escaped")));
    QCOMPARE(form->height(), Form1::normalHeight);
    QVERIFY(!form->Command4->isEnabled());
}

void TestForm1::addRefusesTakenName()
{
    Sandbox sandbox;
    const QByteArray old = testsupport::plainEntry("years of notes");
    sandbox.write(QStringLiteral("news"), old);
    auto form = testsupport::openForm1();
    QVERIFY(form);
    ScriptedDialogs dialogs;
    dialogs.answerInputs({QStringLiteral("news")});
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    QCOMPARE(dialogs.asked().size(), 2);
    QVERIFY(dialogs.asked()[1].prompt.contains(QLatin1String("\"news\"")));
    QCOMPARE(sandbox.read(QStringLiteral("news")), old);
    QCOMPARE(form->height(), Form1::normalHeight);
}

void TestForm1::addFailedSaveKeepsText()
{
    Sandbox sandbox;
    auto form = testsupport::openForm1();
    QVERIFY(form);
    ScriptedDialogs dialogs;
    dialogs.answerInputs({QStringLiteral("site")});
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    form->g->setFocus();
    QTest::keyClicks(form->g, QStringLiteral("precious words"));

    const QString away = sandbox.base() + QStringLiteral("/away");
    QVERIFY(QDir().rename(sandbox.list(), away));
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    QCOMPARE(dialogs.errors().size(), 1);
    QVERIFY(dialogs.errors().first().contains(sandbox.entry(QStringLiteral("site"))));
    QCOMPARE(form->height(), Form1::addingHeight);
    QCOMPARE(form->g->toPlainText(), QStringLiteral("precious words"));

    QVERIFY(QDir().rename(away, sandbox.list()));
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    QCOMPARE(dialogs.errors().size(), 1);
    QCOMPARE(sandbox.read(QStringLiteral("site")), testsupport::plainEntry("precious words"));
    QCOMPARE(form->height(), Form1::normalHeight);
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 1"));
}

void TestForm1::twoAddsThenOneSave()
{
    Sandbox sandbox;
    auto form = testsupport::openForm1();
    QVERIFY(form);
    ScriptedDialogs dialogs;
    dialogs.answerInputs({QStringLiteral("first"), QStringLiteral("second")});
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    form->g->setFocus();
    QTest::keyClicks(form->g, QStringLiteral("lost to the second add"));
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    QCOMPARE(form->g->toPlainText(), QString());
    QTest::keyClicks(form->g, QStringLiteral("second text"));
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    QCOMPARE(sandbox.read(QStringLiteral("first")), testsupport::plainEntry(""));
    QCOMPARE(sandbox.read(QStringLiteral("second")), testsupport::plainEntry("second text"));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 2"));
}

void TestForm1::saveOutsideAnAddWritesNothing()
{
    Sandbox sandbox;
    auto form = testsupport::openForm1();
    QVERIFY(form);
    ScriptedDialogs dialogs;
    QVERIFY(!form->Command4->isEnabled());
    QVERIFY(!form->g->isEnabled());
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    form->Command4->click();
    // Tab never reaches the band below the window's edge.
    form->Text1->setFocus();
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != form->g);
        QVERIFY(QApplication::focusWidget() != form->Command4);
    }
    QCOMPARE(everything(sandbox.base()), QStringList({"/List"}));
    QCOMPARE(dialogs.asked().size(), 0);
}

void TestForm1::dropStartsFilledAdd_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("proposed"); // empty when the drop is ignored
    QTest::addColumn<QString>("address");
    const auto row = [](const char *tag, const char *format, const QByteArray &data,
                        const QString &proposed, const QString &address) {
        QTest::newRow(tag) << format << data << proposed << address;
    };
    const QString mozUrl = QStringLiteral("https://example.org/page\nExample / Page");
    row("x-moz-url with its title", "text/x-moz-url",
        QByteArray(reinterpret_cast<const char *>(mozUrl.utf16()), mozUrl.size() * 2),
        "Example - Page", "https://example.org/page");
    row("uri-list", "text/uri-list", "# dragged\r\nhttps://xn--e1afmkfd.xn--p1ai/a%20b\r\n",
        "пример.рф", "https://пример.рф/a%20b");
    row("plain-text address", "text/plain", " mailto:ann@example.org\n", "ann@example.org",
        "mailto:ann@example.org");
    row("plain text ignored", "text/plain", "see example.org", "", "");
    row("local file ignored", "text/uri-list", "file:///etc/passwd\r\n", "", "");
}

void TestForm1::dropStartsFilledAdd()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, data);
    QFETCH(QString, proposed);
    QFETCH(QString, address);
    Sandbox sandbox;
    auto form = testsupport::openForm1();
    QVERIFY(form);
    ScriptedDialogs dialogs;
    dialogs.answerInputs({proposed});
    QMimeData mime;
    mime.setData(format, data);
    // Dropped on the list, which takes no drops itself: the window does.
    QWidget *target = form->File1->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();

    QCOMPARE(dialogs.asked().size(), proposed.isEmpty() ? 0 : 2);
    QCOMPARE(form->Command4->isEnabled(), !proposed.isEmpty());
    if (!proposed.isEmpty()) {
        QCOMPARE(dialogs.asked()[0].defaultText, proposed);
        QCOMPARE(sandbox.read(proposed), testsupport::plainEntry(""));
        QCOMPARE(form->g->toPlainText(), address);
    }
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
