// The rich-text control's file members: what a failed load or save leaves behind.

#include "controls/richtext/richtextbox.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QByteArray kEntry =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname "
    "Arial;}Arial CYR;}}\r\n\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 "
    "http://example.com/ \\'ed\\'ee\\'e2\\'ee\\'f1\\'f2\\'e8\r\n\\par }\r\n";

} // namespace

class TestRtfControl : public QObject {
    Q_OBJECT

private slots:
    void loadFileReadsEntry();
    void loadFailureLeavesControl_data();
    void loadFailureLeavesControl();
    void saveIntoMissingFolder();
    void failedSaveKeepsOldBytes();
    void setTextEmptyRestoresDefault();
};

void TestRtfControl::loadFileReadsEntry()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("news"));
    QVERIFY(writeBytes(path, kEntry));
    const QString link = dir.filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(path, link));
    RichTextBox box;
    QVERIFY(box.loadFile(link).ok());
    QCOMPARE(box.fileName(), link);
    QCOMPARE(box.toPlainText(), QStringLiteral("http://example.com/ новости"));
    // An entry in the control's own form comes back byte for byte.
    QCOMPARE(box.textRTF(), kEntry);
}

void TestRtfControl::loadFailureLeavesControl_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QStringLiteral("missing")
                             << QStringLiteral("No such file or directory");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("Is a directory");
    QTest::newRow("fifo") << QStringLiteral("fifo") << QStringLiteral("Not a regular file");
    QTest::newRow("device") << QStringLiteral("device") << QStringLiteral("Not a regular file");
    QTest::newRow("dangling link")
        << QStringLiteral("dangling") << QStringLiteral("No such file or directory");
    QTest::newRow("too large") << QStringLiteral("large")
                               << QStringLiteral("The file is larger than 64 MiB");
    const QString tooMuch = QStringLiteral("it holds more than 2000000 characters or 200000 "
                                           "paragraphs, more than Sitebook can show");
    QTest::newRow("too many paragraphs") << QStringLiteral("paragraphs") << tooMuch;
    QTest::newRow("too many characters") << QStringLiteral("characters") << tooMuch;
}

void TestRtfControl::loadFailureLeavesControl()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good"));
    QVERIFY(writeBytes(good, kEntry));
    QString path = dir.filePath(QStringLiteral("bad"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("bad")));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("device")) {
        path = QStringLiteral("/dev/zero");
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), path));
    } else if (kind == QLatin1String("large")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(200) * 1024 * 1024)); // sparse: costs no disk
    } else if (kind == QLatin1String("paragraphs")) {
        QVERIFY(writeBytes(path, "{\\rtf1 " + QByteArray("p\\par ").repeated(200'001) + "}"));
    } else if (kind == QLatin1String("characters")) {
        QVERIFY(writeBytes(path, "{\\rtf1 " + QByteArray("word ").repeated(400'001) + "}"));
    }

    RichTextBox box;
    QVERIFY(box.loadFile(good).ok());
    const QByteArray before = box.textRTF();
    QElapsedTimer timer;
    timer.start();
    const Status status = box.loadFile(path);
    QVERIFY(timer.elapsed() < 2000);
    QVERIFY(!status.ok());
    QCOMPARE(status.message(),
             QStringLiteral("Cannot read the entry \"%1\": %2").arg(path, reason));
    QCOMPARE(box.fileName(), good);
    QCOMPARE(box.textRTF(), before);
}

void TestRtfControl::saveIntoMissingFolder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("List/news"));
    RichTextBox box;
    box.setTextRTF(kEntry);
    const Status status = box.saveFile(path);
    QVERIFY(!status.ok());
    QVERIFY2(
        status.message().startsWith(QStringLiteral("Cannot write the entry \"%1\": ").arg(path)),
        qPrintable(status.message()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());

    // A folder under the entry's name cannot be replaced by a file.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken")));
    QVERIFY(!box.saveFile(dir.filePath(QStringLiteral("taken"))).ok());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("taken")});
}

// A save that fails half-way (here: the file size limit, as a full disk would)
// leaves the old file whole and no temporary file behind.
void TestRtfControl::failedSaveKeepsOldBytes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("news"));
    QVERIFY(writeBytes(path, kEntry));
    RichTextBox box;
    box.setTextRTF("{\\rtf1 " + QByteArray(20000, 'x') + "}");

    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Status status = box.saveFile(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!status.ok());
    QVERIFY2(
        status.message().startsWith(QStringLiteral("Cannot write the entry \"%1\": ").arg(path)),
        qPrintable(status.message()));
    QCOMPARE(readBytes(path), kEntry);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("news")});

    // And with room again, the same save replaces the file whole.
    QVERIFY(box.saveFile(path).ok());
    QCOMPARE(readBytes(path), box.textRTF());
}

void TestRtfControl::setTextEmptyRestoresDefault()
{
    RichTextBox box;
    box.setTextRTF("{\\rtf1{\\fonttbl{\\f0 Courier New;}}\\f0\\fs48\\b\\ul big}");
    QVERIFY(!box.toPlainText().isEmpty());
    box.setText(QString());
    QVERIFY(box.toPlainText().isEmpty());
    QCOMPARE(box.document()->blockCount(), 1);
    const QFont font = box.currentCharFormat().font();
    QCOMPARE(font.family(), QStringLiteral("Arial"));
    QCOMPARE(font.pointSizeF(), 9.75);
    QVERIFY(!font.bold());
    QVERIFY(!font.underline());
    QCOMPARE(box.textRTF(), RichTextBox().textRTF());

    // Formatting chosen in a box that is already empty is reset too.
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    box.setCurrentCharFormat(bold);
    box.setAlignment(Qt::AlignHCenter);
    box.setText(QString());
    QVERIFY(!box.currentCharFormat().font().bold());
    QCOMPARE(box.document()->firstBlock().blockFormat().alignment(), Qt::AlignLeft);
}

QTEST_MAIN(TestRtfControl)
#include "tst_rtfcontrol.moc"
