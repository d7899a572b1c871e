#include "controls/filelist/filelistbox.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using testsupport::plainEntry;
using testsupport::Sandbox;
using testsupport::ScriptedDialogs;

namespace {

QStringList split(const char *names)
{
    return QString::fromUtf8(names).split(QStringLiteral(", "), Qt::SkipEmptyParts);
}

// The main window on a folder of these entries, each holding its own name.
std::unique_ptr<Form1> openOn(const Sandbox &sandbox, const QStringList &names)
{
    for (const QString &name : names)
        sandbox.write(name, plainEntry(name.toUtf8()));
    return testsupport::openForm1();
}

// Selects the entry and waits for the selection timer to enable the buttons.
bool select(Form1 &form, const QString &name)
{
    return testsupport::clickEntry(*form.File1, name) &&
           QTest::qWaitFor([&] { return form.Command7->isEnabled(); });
}

// The first message box shown, if any, as "code title: prompt".
QString firstAsked(const ScriptedDialogs &dialogs)
{
    if (dialogs.asked().isEmpty() || dialogs.asked()[0].kind != ScriptedDialogs::Asked::Message)
        return QString();
    const ScriptedDialogs::Asked &asked = dialogs.asked()[0];
    return QStringLiteral("%1 %2: %3").arg(asked.code).arg(asked.title, asked.prompt);
}

// Which of the four buttons show the highlighted picture, in the order the handlers
// set them; a button showing neither picture is marked with "?".
QString highlighted(const Form1 &form)
{
    QStringList names;
    for (const PictureButton *button :
         {form.Command6, form.Command3, form.Command5, form.Command7}) {
        const qint64 key = button->picture().cacheKey();
        if (key != form.Image3->pixmap().cacheKey())
            names << button->objectName() + (key == form.Image2->pixmap().cacheKey() ? "" : "?");
    }
    return names.join(QLatin1Char(' '));
}

// Moves the pointer to a spot where it is over the control itself rather than over one
// of its children; over the window's background for nullptr.
bool movePointer(Form1 &form, const QWidget *control)
{
    const QWidget *target = control;
    if (auto *area = qobject_cast<const QAbstractScrollArea *>(control))
        target = area->viewport();
    const QRect within =
        control ? QRect(control->mapTo(&form, QPoint(0, 0)), control->size()) : form.rect();
    for (int y = within.top() + 2; y < within.bottom() - 1; y += 2) {
        for (int x = within.left() + 2; x < within.right() - 1; x += 2) {
            if (form.childAt(x, y) == target) {
                QTest::mouseMove(&form, QPoint(x, y));
                return true;
            }
        }
    }
    return false;
}

} // namespace

class TestDelete : public QObject {
    Q_OBJECT

private slots:
    void deleting_data();
    void deleting();
    void aboutMessage();
    void hover_data();
    void hover();
};

void TestDelete::deleting_data()
{
    QTest::addColumn<QString>("search");
    // What happens between the selection and the click: the list loses its selection,
    // or the file goes behind the program's back.
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("files");
    const auto row = [](const char *name, const char *search, const char *before, int answer,
                        const char *shown, const char *files) {
        QTest::newRow(name) << QString::fromUtf8(search) << QString::fromUtf8(before) << answer
                            << split(shown) << split(files);
    };
    const char *all = "alpha, news, news.bak, zeta";
    const char *left = "alpha, news.bak, zeta";
    row("No changes nothing", "", "", dialogs::No, all, all);
    row("Yes removes exactly that file", "", "", dialogs::Yes, left, left);
    row("Yes during a search counts the matches left", "ew", "", dialogs::Yes, "news.bak", left);
    row("nothing selected asks nothing", "", "deselect", dialogs::Yes, all, all);
    row("failed deletion is reported", "", "file gone", dialogs::Yes, all, left);
}

void TestDelete::deleting()
{
    QFETCH(QString, search);
    QFETCH(QString, before);
    QFETCH(int, answer);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, files);
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    const auto form = openOn(sandbox, split("alpha, news, news.bak, zeta"));
    QVERIFY(form);
    QTest::keyClicks(form->Text1, search);
    QVERIFY(select(*form, QStringLiteral("news")));
    if (before == QLatin1String("deselect")) {
        // The click lands in the moment before the timer sees that the selection is gone.
        form->File1->clearSelection();
        form->File1->setCurrentIndex(QModelIndex());
        QCOMPARE(form->File1->fileName(), QString());
        QVERIFY(form->Command7->isEnabled());
    } else if (before == QLatin1String("file gone")) {
        QVERIFY(QFile::remove(sandbox.entry(QStringLiteral("news"))));
    }
    dialogs.answerMessages({answer});
    QTest::mouseClick(form->Command7, Qt::LeftButton);

    const bool asks = before != QLatin1String("deselect");
    const int errors = before == QLatin1String("file gone") ? 1 : 0;
    QCOMPARE(firstAsked(dialogs),
             asks ? QStringLiteral("4 Sitebook: Do you really want to delete news site?")
                  : QString());
    QCOMPARE(dialogs.asked().size(), int(asks) + errors);
    QCOMPARE(dialogs.errors().size(), errors);
    if (errors)
        QVERIFY(dialogs.errors()[0].contains(sandbox.entry(QStringLiteral("news"))));
    QCOMPARE(QDir(sandbox.list()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             files);
    for (const QString &file : files)
        QCOMPARE(sandbox.read(file), plainEntry(file.toUtf8()));
    QCOMPARE(testsupport::shownNames(*form->File1), shown);
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: %1").arg(shown.size()));
    const bool stillSelected = shown.contains(QStringLiteral("news")) && asks;
    QCOMPARE(form->File1->fileName(), stillSelected ? QStringLiteral("news") : QString());
    QTRY_COMPARE(form->Command7->isEnabled(), stillSelected);

    // The program goes on: the next deletion works as ever.
    QVERIFY(select(*form, QStringLiteral("news.bak")));
    dialogs.answerMessages({dialogs::Yes});
    QTest::mouseClick(form->Command7, Qt::LeftButton);
    QVERIFY(!sandbox.exists(QStringLiteral("news.bak")));
    QCOMPARE(dialogs.errors().size(), errors);
}

void TestDelete::aboutMessage()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    QCOMPARE(dialogs.asked().size(), 1);
    QCOMPARE(firstAsked(dialogs).toUtf8(),
             QByteArray("64 Sitebook: Sitebook\r\n\r\nhttps://sitebook.example.org/\r\n"
                        "https://www.example.org/sitebook/\r\n\r\nsupport@sitebook.example.org\r\n"
                        "author@sitebook.example.org\r\nfeedback@sitebook.example.org\r\n"));
}

void TestDelete::hover_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("over");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const char *state, const char *before, const char *over,
                        const char *expected) {
        QTest::newRow(name) << QString::fromLatin1(state) << QString::fromLatin1(before)
                            << QString::fromLatin1(over) << QString::fromLatin1(expected);
    };

    // The table: each control the pointer moves over, and the button that lights up.
    row("Command3", "selected", "Command6", "Command3", "Command3");
    row("Command5", "selected", "Command6", "Command5", "Command5");
    row("Command6", "selected", "Command3", "Command6", "Command6");
    row("Command7", "selected", "Command6", "Command7", "Command7");
    row("Form1", "selected", "Command6", "", "");
    row("Frame1", "selected", "Command6", "Frame1", "");
    row("Frame2", "selected", "Command5", "Frame2", "");
    row("Frame3", "selected", "Command3", "Frame3", "");
    row("File1", "selected", "Command7", "File1", "");
    row("Text1", "selected", "Command6", "Text1", "");
    row("Text2", "selected", "Command6", "Text2", "");

    // Straight from one button onto its neighbour: exactly one lit.
    row("Command3 onto Command5", "selected", "Command3", "Command5", "Command5");
    row("Command7 onto Command6", "selected", "Command7", "Command6", "Command6");
    // Controls without a movement handler, and leaving the window, leave the last
    // highlight standing.
    row("Label2", "selected", "Command3", "Label2", "Command3");
    row("Label1", "selected", "Command5", "Label1", "Command5");
    row("new-entry box g", "adding", "Command3", "g", "Command3");
    row("Command4", "adding", "Command7", "Command4", "Command7");
    row("out of the window", "selected", "Command6", "outside", "Command6");
    // A disabled button never lights up; the pointer over it is over the window.
    row("disabled Command7", "nothing selected", "Command6", "Command7", "");
    row("disabled Command5", "nothing selected", "Command3", "Command5", "");
    row("Command6 beside them", "nothing selected", "", "Command6", "Command6");
}

void TestDelete::hover()
{
    QFETCH(QString, state);
    QFETCH(QString, before);
    QFETCH(QString, over);
    QFETCH(QString, expected);
    // The pointer starts away from every window.
    QCursor::setPos(5000, 5000);
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    const auto form = openOn(sandbox, {QStringLiteral("news")});
    QVERIFY(form);
    // Two different pictures; every button starts with the normal one.
    QCOMPARE(form->Image3->pixmap().size(), QSize(96, 11));
    QCOMPARE(form->Image2->pixmap().size(), QSize(96, 11));
    QVERIFY(form->Image2->pixmap().toImage() != form->Image3->pixmap().toImage());
    QCOMPARE(highlighted(*form), QString());
    if (state == QLatin1String("nothing selected"))
        QTRY_VERIFY(!form->Command7->isEnabled());
    else
        QVERIFY(select(*form, QStringLiteral("news")));
    if (state == QLatin1String("adding")) {
        dialogs.answerInputs({QStringLiteral("fresh")});
        QTest::mouseClick(form->Command3, Qt::LeftButton);
        QVERIFY(form->rect().contains(form->Command4->geometry()));
        dialogs.clear();
    }

    const auto control = [&](const QString &name) -> QWidget * {
        return name.isEmpty() ? nullptr : form->findChild<QWidget *>(name);
    };
    if (!before.isEmpty()) {
        QVERIFY(movePointer(*form, control(before)));
        QCOMPARE(highlighted(*form), before);
    }
    if (over == QLatin1String("outside")) {
        QTest::mouseMove(form.get(), QPoint(form->width() + 40, form->height() + 40));
    } else {
        QVERIFY(over.isEmpty() || control(over));
        QVERIFY2(movePointer(*form, control(over)), "no spot over the control");
    }
    QCOMPARE(highlighted(*form), expected);
    QCOMPARE(form->Command5->isEnabled(), state != QLatin1String("nothing selected"));
    QVERIFY(dialogs.asked().isEmpty());
}

QTEST_MAIN(TestDelete)
#include "tst_delete.moc"
