// What the user reads where the scripted dialogs cannot look: the real Qt message
// boxes, and the titles the window system is given.

#include "controls/filelist/filelistbox.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace testsupport;

class TestRealDialogs : public QObject {
    Q_OBJECT

private slots:
    void namesShowAsTyped_data();
    void namesShowAsTyped();
    void titlesGetNoDisplayName();
};

void TestRealDialogs::namesShowAsTyped_data()
{
    QTest::addColumn<QString>("name");
    // The entry's file is gone when it is clicked, so an error report shows its path;
    // otherwise the delete question shows its name.
    QTest::addColumn<bool>("vanished");
    QTest::newRow("question: tag") << "<b>bold news" << false;
    QTest::newRow("question: entity") << "x &lt; y" << false;
    QTest::newRow("report: tag") << "HTML <title> tag" << true;
}

void TestRealDialogs::namesShowAsTyped()
{
    QFETCH(QString, name);
    QFETCH(bool, vanished);
    Sandbox sandbox;
    sandbox.write(name, plainEntry("text"));
    auto form = openForm1();
    QVERIFY(form);

    // The box is read and answered "No" as soon as it is up.
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    QTimer reader;
    connect(&reader, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            format = box->textFormat();
            shown = box->text();
            box->done(QMessageBox::No);
        }
    });
    reader.start(10);
    if (vanished) {
        QVERIFY(QFile::remove(sandbox.entry(name)));
        clickEntry(*form->File1, name);
    } else {
        QVERIFY(select(*form, name));
        QTest::mouseClick(form->Command7, Qt::LeftButton);
    }
    QCOMPARE(format, Qt::PlainText);
    QVERIFY2(shown.contains(vanished ? sandbox.entry(name)
                                     : QStringLiteral("delete ") + name + QStringLiteral(" site?")),
             qPrintable(shown));
    QCOMPARE(sandbox.exists(name), !vanished);
}

// Once an application display name is set, Qt appends it to every window title that
// does not end in it (" — Sitebook" on X11, after the editor's caption). None is set,
// so the display name follows the application name.
void TestRealDialogs::titlesGetNoDisplayName()
{
    Form1::setUpApplication();
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Sitebook"));
    QCoreApplication::setApplicationName(QStringLiteral("another"));
    const QString displayName = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(QStringLiteral("Sitebook"));
    QCOMPARE(displayName, QStringLiteral("another"));
}

QTEST_MAIN(TestRealDialogs)
#include "tst_realdialogs.moc"
