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
    void hostileEntry_data();
    void hostileEntry();
};

// The file is head + unit × times + tail, made when its row runs. The pane shows the
// text given, or, where the row allows it, the file is refused as more than the program
// can show: reported by name, the pane keeping what it showed.
void TestHostile::hostileEntry_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<int>("times");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QStringList>("shows");
    QTest::addColumn<bool>("refusable");
    const auto row = [](const char *tag, const QByteArray &head, const QByteArray &unit, int times,
                        const QByteArray &tail, const QStringList &shows, bool refusable = false) {
        QTest::newRow(tag) << head << unit << times << tail << shows << refusable;
    };
    row("100,000 nested formatted groups", "{\\rtf1 ", "{\\b\\i\\ul\\fs48\\cf1 x", 100'000,
        "end" + QByteArray(100'000, '}') + "}", {"xx"});
    row("huge sizes and indents",
        "{\\rtf1 {\\fs2000000000 big}{\\fs-2000000000 negative}{\\li2000000000\\fi-2000000000"
        "\\ri2000000000 indented\\par}{\\up2000000000 up}{\\sa2000000000\\sb2000000000 "
        "spaced\\par} end}",
        {}, 0, {}, {"big", "end"});
    row("50,000 paragraphs", "{\\rtf1 ", "p\\par ", 50'000, "}", {"p"});
    row("1,000,000 paragraphs", "{\\rtf1 ", "p\\par ", 1'000'000, "}", {"p"}, true);
    row("word of 1,000,000 letters", "{\\rtf1\\ansi ", "w", 1'000'000, "}", {"wwww"});
    row("8 MB single word", "{\\rtf1\\ansi ", "w", 8 << 20, "}", {"wwww"}, true);
    // Taller than the 8,388,607 pixels Qt can lay out, in a few kilobytes or megabytes.
    row("4,500 words at 1,638 points", "{\\rtf1\\fs3276 ", "x ", 4500, "}", {}, true);
    row("4,300 paragraphs at 1,638 points", "{\\rtf1\\fs3276 ", "x\\par ", 4300, "}", {}, true);
    row("600,000 line breaks", "{\\rtf1 x", "\\line ", 600'000, "}", {}, true);
    row("1 MB of prose at 10 points", "{\\rtf1\\fs20 ",
        QByteArray("Notes on a site worth keeping, and why. ").repeated(12) + "\\par ", 2200, "}",
        {"worth keeping"});
}

void TestHostile::hostileEntry()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, unit);
    QFETCH(int, times);
    QFETCH(QByteArray, tail);
    QFETCH(QStringList, shows);
    QFETCH(bool, refusable);
    // Every row takes at most 3 s and 50 MiB in a normal build, 14 s and 650 MiB under the
    // sanitizers (their quarantine holds up to 256 MiB of freed blocks). The bounds are ten
    // times those, so that a busy machine never fails a row and a runaway always does; a
    // row that never ends is stopped by the test's time limit.
    const qint64 boundMs = (sanitized() ? 150 : 30) * 1000;
    const qint64 boundMiB = sanitized() ? 2048 : 512;
    Session s;
    s.sandbox.write("plain", plainEntry("plain words"));
    s.sandbox.write("hostile", head + unit.repeated(times) + tail);
    QVERIFY(s.open());
    Form1 &form = *s.form;
    QVERIFY(select(form, "plain"));

    resetPeakMemory();
    const qint64 memoryBefore = peakMemoryMiB();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(clickEntry(*form.File1, "hostile"));
    form.Text2->repaint(); // drawn, as the user would see it
    QCoreApplication::processEvents();
    const qint64 loadMs = clock.elapsed(), growth = peakMemoryMiB() - memoryBefore;
    qInfo("shown in %lld ms, peak memory grew by %lld MiB", loadMs, growth);
    QVERIFY2(loadMs < boundMs && growth < boundMiB, "past the bound");

    const QString text = form.Text2->toPlainText();
    if (s.dialogs.errors().isEmpty()) {
        for (const QString &part : shows)
            QVERIFY2(text.contains(part), qPrintable(text.left(200)));
    } else {
        QVERIFY2(refusable, qPrintable(s.dialogs.errors()[0]));
        QCOMPARE(reportMismatch(s.dialogs, 1, s.sandbox.entry("hostile")), QString());
        QCOMPARE(text, "plain words");
    }
    // Hidden by a search, the entry leaves nothing selected, and the next tick empties the
    // pane, whatever it showed.
    typeSearch(form, "pl");
    QTRY_VERIFY(form.Text2->document()->isEmpty());
    // The program goes on: the other entry shows, and a new one can be added.
    QVERIFY(select(form, "plain"));
    QCOMPARE(form.Text2->toPlainText(), "plain words");
    QCOMPARE(s.stillUsable(), QString());
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
