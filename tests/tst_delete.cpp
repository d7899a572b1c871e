#include "controls/filelist/filelistbox.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <QCursor>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using testsupport::plainEntry;
using testsupport::Sandbox;
using testsupport::ScriptedDialogs;

namespace {

QStringList filesIn(const Sandbox &sandbox)
{
    return QDir(sandbox.list())
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

void writeEntries(const Sandbox &sandbox, const QStringList &names)
{
    for (const QString &name : names)
        sandbox.write(name, plainEntry(name.toUtf8()));
}

// Selects the entry and waits for the selection timer to enable the buttons.
bool select(Form1 &form, const QString &name)
{
    return testsupport::clickEntry(*form.File1, name) &&
           QTest::qWaitFor([&] { return form.Command7->isEnabled(); });
}

// Which of the four buttons show the highlighted picture, in the order the handlers
// set them; a button showing neither picture is marked with "?".
QString highlighted(const Form1 &form)
{
    const qint64 normal = form.Image3->pixmap().cacheKey();
    const qint64 bright = form.Image2->pixmap().cacheKey();
    QStringList names;
    for (const PictureButton *button :
         {form.Command6, form.Command3, form.Command5, form.Command7}) {
        const qint64 key = button->picture().cacheKey();
        if (key == bright)
            names << button->objectName();
        else if (key != normal)
            names << button->objectName() + QLatin1Char('?');
    }
    return names.join(QLatin1Char(' '));
}

// A point of the window, in its own coordinates, where the pointer is over the control
// itself rather than over one of its children; the window's background for nullptr.
QPoint spotOver(Form1 &form, const QWidget *control)
{
    const QWidget *target = control;
    if (auto *area = qobject_cast<const QAbstractScrollArea *>(control))
        target = area->viewport();
    const QRect within =
        control ? QRect(control->mapTo(&form, QPoint(0, 0)), control->size()) : form.rect();
    for (int y = within.top() + 2; y < within.bottom() - 1; y += 2) {
        for (int x = within.left() + 2; x < within.right() - 1; x += 2) {
            if (form.childAt(x, y) == target)
                return QPoint(x, y);
        }
    }
    return QPoint(-1, -1);
}

bool movePointer(Form1 &form, const QWidget *control)
{
    const QPoint spot = spotOver(form, control);
    if (spot == QPoint(-1, -1))
        return false;
    QTest::mouseMove(&form, spot);
    return true;
}

} // namespace

class TestDelete : public QObject {
    Q_OBJECT

private slots:
    void init();

    void question_data();
    void question();
    void deletingDuringSearchCountsMatches();
    void nothingSelectedAsksNothing();
    void failedDeletionIsReported();
    void aboutMessage();
    void buttonsStartNormal();
    void hover_data();
    void hover();
    void pointerLeavingTheWindowKeepsTheHighlight();
};

void TestDelete::init()
{
    // The pointer starts away from every window.
    QCursor::setPos(5000, 5000);
}

void TestDelete::question_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("answer");
    QTest::newRow("news, No") << "news" << int(dialogs::No);
    QTest::newRow("news, Yes") << "news" << int(dialogs::Yes);
    QTest::newRow("spaces and dots, Yes") << " my site.html " << int(dialogs::Yes);
    QTest::newRow("Cyrillic, No") << QStringLiteral("Новости") << int(dialogs::No);
    QTest::newRow("Cyrillic, Yes") << QStringLiteral("Новости") << int(dialogs::Yes);
    QTest::newRow("wildcard characters, Yes") << "*?" << int(dialogs::Yes);
}

void TestDelete::question()
{
    QFETCH(QString, name);
    QFETCH(int, answer);
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    const QStringList others{QStringLiteral("alpha"), QStringLiteral("news.bak"),
                             QStringLiteral("zeta")};
    writeEntries(sandbox, others);
    sandbox.write(name, plainEntry("to go"));
    QVERIFY(QDir(sandbox.list()).mkdir(QStringLiteral("sub")));
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QVERIFY(select(*form, name));
    const QStringList filesBefore = filesIn(sandbox);
    const QStringList shownBefore = testsupport::shownNames(*form->File1);
    const QString labelBefore = form->Label1->text();
    QCOMPARE(labelBefore, QStringLiteral("URLs in list: 4"));

    dialogs.answerMessages({answer});
    QTest::mouseClick(form->Command7, Qt::LeftButton);

    QCOMPARE(dialogs.asked().size(), 1);
    const ScriptedDialogs::Asked &asked = dialogs.asked().first();
    QCOMPARE(asked.kind, ScriptedDialogs::Asked::Message);
    QCOMPARE(asked.prompt,
             QStringLiteral("Do you really want to delete ") + name + QStringLiteral(" site?"));
    QCOMPARE(asked.code, int(dialogs::YesNo));
    QCOMPARE(asked.title, QStringLiteral("Sitebook"));

    if (answer == dialogs::No) {
        QCOMPARE(filesIn(sandbox), filesBefore);
        QCOMPARE(sandbox.read(name), plainEntry("to go"));
        QCOMPARE(testsupport::shownNames(*form->File1), shownBefore);
        QCOMPARE(form->File1->fileName(), name);
        QCOMPARE(form->Label1->text(), labelBefore);
    } else {
        QStringList filesAfter = filesBefore;
        filesAfter.removeOne(name);
        QCOMPARE(filesIn(sandbox), filesAfter);
        QStringList shownAfter = shownBefore;
        shownAfter.removeOne(name);
        QCOMPARE(testsupport::shownNames(*form->File1), shownAfter);
        QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 3"));
        for (const QString &other : others)
            QCOMPARE(sandbox.read(other), plainEntry(other.toUtf8()));
        // With nothing selected any more, the timer disables the button again.
        QTRY_VERIFY(!form->Command7->isEnabled());
        QVERIFY(!form->Command5->isEnabled());
    }
    QVERIFY(dialogs.errors().isEmpty());
}

void TestDelete::deletingDuringSearchCountsMatches()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    writeEntries(sandbox,
                 {QStringLiteral("alpha"), QStringLiteral("alpine"), QStringLiteral("alps"),
                  QStringLiteral("beta"), QStringLiteral("gamma")});
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QTest::keyClicks(form->Text1, QStringLiteral("al"));
    QCOMPARE(
        testsupport::shownNames(*form->File1),
        (QStringList{QStringLiteral("alpha"), QStringLiteral("alpine"), QStringLiteral("alps")}));
    QVERIFY(select(*form, QStringLiteral("alpine")));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 3"));

    dialogs.answerMessages({dialogs::Yes});
    QTest::mouseClick(form->Command7, Qt::LeftButton);

    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 2"));
    QCOMPARE(testsupport::shownNames(*form->File1),
             (QStringList{QStringLiteral("alpha"), QStringLiteral("alps")}));
    QCOMPARE(filesIn(sandbox), (QStringList{QStringLiteral("alpha"), QStringLiteral("alps"),
                                            QStringLiteral("beta"), QStringLiteral("gamma")}));
}

void TestDelete::nothingSelectedAsksNothing()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    writeEntries(sandbox, {QStringLiteral("news")});
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QVERIFY(select(*form, QStringLiteral("news")));
    // The click lands in the moment before the timer sees that the selection is gone.
    form->File1->clearSelection();
    form->File1->setCurrentIndex(QModelIndex());
    QCOMPARE(form->File1->fileName(), QString());
    QVERIFY(form->Command7->isEnabled());
    dialogs.answerMessages({dialogs::Yes});
    QTest::mouseClick(form->Command7, Qt::LeftButton);

    QVERIFY(dialogs.asked().isEmpty());
    QCOMPARE(filesIn(sandbox), QStringList{QStringLiteral("news")});
    QVERIFY(QFileInfo(sandbox.list()).isDir());
}

void TestDelete::failedDeletionIsReported()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    writeEntries(sandbox, {QStringLiteral("news"), QStringLiteral("other")});
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QVERIFY(select(*form, QStringLiteral("news")));
    QVERIFY(QFile::remove(sandbox.entry(QStringLiteral("news"))));

    dialogs.answerMessages({dialogs::Yes});
    QTest::mouseClick(form->Command7, Qt::LeftButton);
    const QStringList errors = dialogs.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(sandbox.entry(QStringLiteral("news"))),
             qPrintable(errors.first()));
    QCOMPARE(filesIn(sandbox), QStringList{QStringLiteral("other")});

    // The program goes on: the next deletion works as ever.
    QVERIFY(select(*form, QStringLiteral("other")));
    dialogs.answerMessages({dialogs::Yes});
    QTest::mouseClick(form->Command7, Qt::LeftButton);
    QCOMPARE(filesIn(sandbox), QStringList());
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList());
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 0"));
    QCOMPARE(dialogs.errors().size(), 1);
}

void TestDelete::aboutMessage()
{
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QTest::mouseClick(form->Command6, Qt::LeftButton);

    QCOMPARE(dialogs.asked().size(), 1);
    const ScriptedDialogs::Asked &asked = dialogs.asked().first();
    QCOMPARE(asked.kind, ScriptedDialogs::Asked::Message);
    QCOMPARE(asked.code, int(dialogs::Information));
    QCOMPARE(asked.title, QStringLiteral("Sitebook"));
    QCOMPARE(asked.prompt.toUtf8(), QByteArray("Sitebook\r\n"
                                               "\r\n"
                                               "https://sitebook.example.org/\r\n"
                                               "https://www.example.org/sitebook/\r\n"
                                               "\r\n"
                                               "support@sitebook.example.org\r\n"
                                               "author@sitebook.example.org\r\n"
                                               "feedback@sitebook.example.org\r\n"));
}

void TestDelete::buttonsStartNormal()
{
    Sandbox sandbox;
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QVERIFY(!form->Image3->pixmap().isNull());
    QCOMPARE(form->Image3->pixmap().size(), QSize(96, 11));
    QCOMPARE(form->Image2->pixmap().size(), QSize(96, 11));
    QVERIFY(form->Image2->pixmap().toImage() != form->Image3->pixmap().toImage());
    QCOMPARE(highlighted(*form), QString());
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
    // Controls without a movement handler leave the last highlight standing.
    row("Label2", "selected", "Command3", "Label2", "Command3");
    row("Label1", "selected", "Command5", "Label1", "Command5");
    row("new-entry box g", "adding", "Command3", "g", "Command3");
    row("Command4", "adding", "Command7", "Command4", "Command7");
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
    Sandbox sandbox;
    ScriptedDialogs dialogs;
    writeEntries(sandbox, {QStringLiteral("news")});
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    if (state == QLatin1String("selected")) {
        QVERIFY(select(*form, QStringLiteral("news")));
    } else if (state == QLatin1String("adding")) {
        QVERIFY(select(*form, QStringLiteral("news")));
        dialogs.answerInputs({QStringLiteral("fresh")});
        QTest::mouseClick(form->Command3, Qt::LeftButton);
        QVERIFY(form->rect().contains(form->Command4->geometry()));
    } else {
        QTRY_VERIFY(!form->Command7->isEnabled());
    }
    dialogs.clear();

    const auto control = [&](const QString &name) -> QWidget * {
        return name.isEmpty() ? nullptr : form->findChild<QWidget *>(name);
    };
    if (!before.isEmpty()) {
        QVERIFY(movePointer(*form, control(before)));
        QCOMPARE(highlighted(*form), before);
    }
    QVERIFY(over.isEmpty() || control(over));
    QVERIFY2(movePointer(*form, control(over)), "no spot over the control");
    QCOMPARE(highlighted(*form), expected);
    QCOMPARE(form->Command5->isEnabled(), state != QLatin1String("nothing selected"));
    QVERIFY(dialogs.asked().isEmpty());
}

void TestDelete::pointerLeavingTheWindowKeepsTheHighlight()
{
    Sandbox sandbox;
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    QVERIFY(movePointer(*form, form->Command6));
    QCOMPARE(highlighted(*form), QStringLiteral("Command6"));
    QTest::mouseMove(form.get(), QPoint(form->width() + 40, form->height() + 40));
    QCOMPARE(highlighted(*form), QStringLiteral("Command6"));
}

QTEST_MAIN(TestDelete)
#include "tst_delete.moc"
