// The rich-text control's file members: what a failed load or save leaves behind.

#include "controls/richtext/richtextbox.h"
#include "rtf/rtfdefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

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

QStringList entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

const QByteArray kEntry =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname "
    "Arial;}Arial CYR;}}\r\n\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 "
    "http://example.com/ \\'ed\\'ee\\'e2\\'ee\\'f1\\'f2\\'e8\r\n\\par }\r\n";

} // namespace

class TestRtfControl : public QObject {
    Q_OBJECT

private slots:
    void loadFailureLeavesControl_data();
    void loadFailureLeavesControl();
    void failedSave_data();
    void failedSave();
    void setTextEmptyRestoresDefault();
};

void TestRtfControl::loadFailureLeavesControl_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    const QString missing = QStringLiteral("No such file or directory");
    const QString notRegular = QStringLiteral("Not a regular file");
    const QString tooMuch = QStringLiteral("it holds more than 2000000 characters or 200000 "
                                           "paragraphs, more than Sitebook can show");
    QTest::newRow("missing") << "missing" << missing;
    QTest::newRow("folder") << "folder" << QStringLiteral("Is a directory");
    QTest::newRow("fifo") << "fifo" << notRegular;
    QTest::newRow("device") << "device" << notRegular;
    QTest::newRow("dangling link") << "dangling" << missing;
    QTest::newRow("too large") << "large" << QStringLiteral("The file is larger than 64 MiB");
    QTest::newRow("too many paragraphs") << "paragraphs" << tooMuch;
    QTest::newRow("too many characters") << "characters" << tooMuch;
}

void TestRtfControl::loadFailureLeavesControl()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good"));
    const QString link = dir.filePath(QStringLiteral("link"));
    QVERIFY(writeBytes(good, kEntry) && QFile::link(good, link));
    QString path = dir.filePath(QStringLiteral("bad"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("bad")));
    else if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("device"))
        path = QStringLiteral("/dev/zero");
    else if (kind == QLatin1String("dangling"))
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), path));
    else if (kind == QLatin1String("large"))
        QVERIFY(QFile(path).open(QIODevice::WriteOnly) &&
                QFile::resize(path, qint64(200) * 1024 * 1024)); // sparse: costs no disk
    else if (kind == QLatin1String("paragraphs"))
        QVERIFY(writeBytes(path, "{\\rtf1 " + QByteArray("p\\par ").repeated(200'001) + "}"));
    else if (kind == QLatin1String("characters"))
        QVERIFY(writeBytes(path, "{\\rtf1 " + QByteArray("word ").repeated(400'001) + "}"));

    // An entry in the control's own form, through a link, reads back byte for byte.
    RichTextBox box;
    QVERIFY(box.loadFile(link).ok());
    QCOMPARE(box.toPlainText(), QStringLiteral("http://example.com/ новости"));
    QCOMPARE(box.textRTF(), kEntry);
    // A FIFO that blocked the open would hang here; CTest's timeout would report it.
    const Status status = box.loadFile(path);
    QCOMPARE(status.ok(), false);
    QCOMPARE(status.message(),
             QStringLiteral("Cannot read the entry \"%1\": %2").arg(path, reason));
    QCOMPARE(box.fileName(), link);
    QCOMPARE(box.textRTF(), kEntry);
}

void TestRtfControl::failedSave_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("missing folder") << "List/news" << false << QStringList();
    // A folder under the entry's name cannot be replaced by a file.
    QTest::newRow("folder in the way") << "news" << false << QStringList{"news"};
    // Fails half-way through an existing entry: the file size limit, as a full disk would.
    QTest::newRow("disk full") << "news" << true << QStringList{"news"};
}

// A failed save reports itself, keeps the old file whole and leaves no temporary.
void TestRtfControl::failedSave()
{
    QFETCH(QString, name);
    QFETCH(bool, diskFull);
    QFETCH(QStringList, left);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (diskFull)
        QVERIFY(writeBytes(path, kEntry));
    else if (!name.contains(u'/'))
        QVERIFY(QDir().mkdir(path));
    RichTextBox box;
    box.setTextRTF("{\\rtf1 " + QByteArray(20000, 'x') + "}");

    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = diskFull ? 4096 : old.rlim_cur;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Status status = box.saveFile(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(status.ok(), false);
    QVERIFY2(
        status.message().startsWith(QStringLiteral("Cannot write the entry \"%1\": ").arg(path)),
        qPrintable(status.message()));
    QCOMPARE(entries(dir), left);
    if (diskFull) {
        QCOMPARE(readBytes(path), kEntry);
        // With room again, the same save replaces the file whole.
        QVERIFY(box.saveFile(path).ok());
        QCOMPARE(readBytes(path), box.textRTF());
    }
}

void TestRtfControl::setTextEmptyRestoresDefault()
{
    RichTextBox box;
    box.setTextRTF("{\\rtf1{\\fonttbl{\\f0 Courier New;}}\\f0\\fs48\\b\\ul big}");
    box.setText(QString());
    QCOMPARE(box.document()->blockCount(), 1);
    QCOMPARE(box.currentCharFormat().font(), rtf::entryFont());
    QCOMPARE(box.textRTF(), RichTextBox().textRTF());

    // Formatting chosen in a box that is already empty is reset too.
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    box.setCurrentCharFormat(bold);
    box.setAlignment(Qt::AlignHCenter);
    box.setText(QString());
    QCOMPARE(box.currentCharFormat().font(), rtf::entryFont());
    QCOMPARE(box.document()->firstBlock().blockFormat().alignment(), Qt::AlignLeft);
}

QTEST_MAIN(TestRtfControl)
#include "tst_rtfcontrol.moc"
