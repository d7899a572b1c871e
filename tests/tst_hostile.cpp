// Hostile entries through the main window: files that could freeze the layout or take
// all memory are shown within a bound or refused with a report, and the program goes on.

#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "Form1/form1.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QTest>

using namespace testsupport;

class TestHostile : public QObject {
    Q_OBJECT

private slots:
    void hostileEntryThroughTheWindow_data();
    void hostileEntryThroughTheWindow();
};

void TestHostile::hostileEntryThroughTheWindow_data()
{
    // The file is head + unit × times + tail, made when the row runs so that the big
    // ones are not all held at once.
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<int>("times");
    QTest::addColumn<QByteArray>("tail");
    // Text the pane must show when it shows the file.
    QTest::addColumn<QStringList>("shows");
    // Whether the program may instead refuse the file as more than it can show (a
    // clear report naming it, the pane keeping what it showed).
    QTest::addColumn<bool>("refusable");
    const auto row = [](const char *tag, const QByteArray &head, const QByteArray &unit, int times,
                        const QByteArray &tail, const QStringList &shows, bool refusable = false) {
        QTest::newRow(tag) << head << unit << times << tail << shows << refusable;
    };
    row("100,000 nested formatted groups", "{\\rtf1 ", "{\\b\\i\\ul\\fs48\\cf1 x", 100 * 1000,
        "end" + QByteArray(100 * 1000, '}') + "}", {"xx"});
    row("huge sizes and indents",
        "{\\rtf1 {\\fs2000000000 big}{\\fs-2000000000 negative}{\\li2000000000\\fi-2000000000"
        "\\ri2000000000 indented\\par}{\\up2000000000 up}{\\sa2000000000\\sb2000000000 "
        "spaced\\par} end}",
        {}, 0, {}, {"big", "end"});
    row("150,000 paragraphs", "{\\rtf1 ", "p\\par ", 150 * 1000, "}", {"p"});
    row("1,000,000 paragraphs", "{\\rtf1 ", "p\\par ", 1000 * 1000, "}", {"p"}, true);
    row("word of 1,000,000 letters", "{\\rtf1\\ansi ", "w", 1000 * 1000, "}", {"wwww"});
    row("8 MB single word", "{\\rtf1\\ansi ", "w", 8 * 1024 * 1024, "}", {"wwww"}, true);
}

void TestHostile::hostileEntryThroughTheWindow()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, unit);
    QFETCH(int, times);
    QFETCH(QByteArray, tail);
    QFETCH(QStringList, shows);
    QFETCH(bool, refusable);

    // Every row that is shown or refused takes at most 3 s and 50 MiB in a normal build,
    // at most 14 s and 650 MiB under the sanitizers (with up to 256 MiB of freed blocks
    // in their quarantine), on the 2-core machine the suite runs on. The bounds are ten
    // times those, so that a busy machine never fails a row and a runaway always does; a
    // row that never ends is stopped by the test's time limit.
    const qint64 boundMs = (sanitized() ? 150 : 30) * 1000;
    const qint64 boundMiB = sanitized() ? 2048 : 512;
    Session s;
    const QString name = QStringLiteral("hostile");
    s.sandbox.write(QStringLiteral("plain"), plainEntry("plain words"));
    s.sandbox.write(name, head + unit.repeated(times) + tail);
    QVERIFY(s.open());
    Form1 &form = *s.form;
    QVERIFY(select(form, QStringLiteral("plain")));

    resetPeakMemory();
    const qint64 memoryBefore = peakMemoryMiB();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(clickEntry(*form.File1, name));
    // The pane is drawn, as the user would see it.
    form.Text2->repaint();
    QCoreApplication::processEvents();
    const qint64 loadMs = clock.elapsed();
    const qint64 growth = peakMemoryMiB() - memoryBefore;
    qInfo("shown in %lld ms, peak memory grew by %lld MiB", loadMs, growth);
    QVERIFY2(loadMs < boundMs && growth < boundMiB, "past the bound");

    const QString text = form.Text2->toPlainText();
    if (!s.dialogs.errors().isEmpty()) {
        // Refused: reported by name, and the pane keeps what it showed.
        QVERIFY2(refusable, qPrintable(s.dialogs.errors()[0]));
        QCOMPARE(reportMismatch(s.dialogs, 1, s.sandbox.entry(name)), QString());
        QCOMPARE(text, QStringLiteral("plain words"));
    } else {
        for (const QString &part : shows)
            QVERIFY2(text.contains(part), qPrintable(text.left(200)));
    }

    // The program goes on: the other entry shows, and a new one can be added.
    QVERIFY(select(form, QStringLiteral("plain")));
    QCOMPARE(form.Text2->toPlainText(), QStringLiteral("plain words"));
    QCOMPARE(s.stillUsable(), QString());
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
