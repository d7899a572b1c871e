// The writer's bytes, and that what it writes reads back the same.

#include "controls/richtext/richtextbox.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QByteArray kHead = QByteArrayLiteral(
    "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname "
    "Arial;}Arial CYR;}}\r\n\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 ");
const QByteArray kTail = QByteArrayLiteral("\r\n\\par }\r\n");

// Puts text into the box the way typing would: '\n' starts a paragraph,
// U+2028 is a line break inside one.
void insertText(QTextCursor &cursor, const QString &text, const QTextCharFormat &format = {})
{
    const QStringList paragraphs = text.split(u'\n');
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            cursor.insertBlock();
        if (!paragraphs[i].isEmpty())
            cursor.insertText(paragraphs[i], format);
    }
}

// What a reader sees in a document: per paragraph its format, and runs of text
// with the formatting the writer can express, adjacent equal runs merged.
QStringList describe(const QTextDocument &document)
{
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        lines << QStringLiteral("P align=%1 l=%2 r=%3 f=%4")
                     .arg(int(bf.alignment() & Qt::AlignHorizontal_Mask))
                     .arg(qRound(bf.leftMargin() * 15))
                     .arg(qRound(bf.rightMargin() * 15))
                     .arg(qRound(bf.textIndent() * 15));
        QString lastKey;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QStringList families = f.fontFamilies().toStringList();
            QString family = families.isEmpty() ? QString() : families.first();
            if (family == QLatin1String("Arial"))
                family.clear();
            const int halfPoints =
                f.hasProperty(QTextFormat::FontPointSize) ? qRound(f.fontPointSize() * 2) : 20;
            const auto color = [&f](int property) {
                return f.hasProperty(property) ? f.brushProperty(property).color().name()
                                               : QString();
            };
            const QString key =
                QStringLiteral("%1|%2|b%3i%4u%5s%6|fg%7|bg%8|v%9|%10")
                    .arg(family)
                    .arg(halfPoints)
                    .arg(f.fontWeight() >= QFont::DemiBold)
                    .arg(f.fontItalic())
                    .arg(f.fontUnderline())
                    .arg(f.fontStrikeOut())
                    .arg(color(QTextFormat::ForegroundBrush), color(QTextFormat::BackgroundBrush))
                    .arg(int(f.verticalAlignment()))
                    .arg(f.isAnchor() ? f.anchorHref() : QString());
            if (key == lastKey)
                lines.last() += it.fragment().text();
            else
                lines << key + QStringLiteral(" :") + it.fragment().text();
            lastKey = key;
        }
    }
    return lines;
}

// Types text as a keyboard in any layout would, one key press per character.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

QString randomText(QRandomGenerator &rng)
{
    static const QStringList pieces = {QStringLiteral("http://example.com/"),
                                       QStringLiteral("word"),
                                       QStringLiteral(" "),
                                       QStringLiteral("  "),
                                       QStringLiteral("\\"),
                                       QStringLiteral("{"),
                                       QStringLiteral("}"),
                                       QStringLiteral("\t"),
                                       QString(QChar::LineSeparator),
                                       QStringLiteral("Привет"),
                                       QStringLiteral("Ёё№«»—€"),
                                       QStringLiteral("αβγ"),
                                       QStringLiteral("中文"),
                                       QStringLiteral("😃"),
                                       QStringLiteral("𐌲"),
                                       QStringLiteral("\u00a0"),
                                       QStringLiteral("?;\"'"),
                                       QStringLiteral("0123"),
                                       QStringLiteral("ñü"),
                                       QStringLiteral("\\par"),
                                       QStringLiteral("}{\\rtf1"),
                                       QStringLiteral("\u00ad")};
    QString text;
    const int n = 1 + rng.bounded(4);
    for (int i = 0; i < n; ++i)
        text += pieces.at(rng.bounded(pieces.size()));
    return text;
}

QTextCharFormat randomFormat(QRandomGenerator &rng)
{
    static const QStringList families = {QString(), QStringLiteral("Times New Roman"),
                                         QStringLiteral("Courier New"),
                                         QStringLiteral("Comic Sans MS")};
    static const QList<double> sizes = {0, 8, 12, 14.5, 20, 36};
    static const QList<QColor> colors = {QColor(), QColor(Qt::red), QColor(0, 0, 255),
                                         QColor(0x12, 0x34, 0x56)};
    static const QStringList links = {QString(), QStringLiteral("http://example.com/"),
                                      QStringLiteral("https://пример.рф/путь?a=1&b={2}"),
                                      QStringLiteral("mailto:me@example.com")};
    QTextCharFormat f;
    if (rng.bounded(3) == 0)
        return f;
    if (const QString family = families.at(rng.bounded(families.size())); !family.isEmpty())
        f.setFontFamilies({family});
    if (const double size = sizes.at(rng.bounded(sizes.size())); size > 0)
        f.setFontPointSize(size);
    if (rng.bounded(2))
        f.setFontWeight(QFont::Bold);
    if (rng.bounded(2))
        f.setFontItalic(true);
    if (rng.bounded(3) == 0)
        f.setFontUnderline(true);
    if (rng.bounded(4) == 0)
        f.setFontStrikeOut(true);
    if (const QColor c = colors.at(rng.bounded(colors.size())); c.isValid())
        f.setForeground(c);
    if (const QColor c = colors.at(rng.bounded(colors.size())); c.isValid() && rng.bounded(2))
        f.setBackground(c);
    if (rng.bounded(5) == 0)
        f.setVerticalAlignment(rng.bounded(2) ? QTextCharFormat::AlignSuperScript
                                              : QTextCharFormat::AlignSubScript);
    if (const QString link = links.at(rng.bounded(links.size())); !link.isEmpty()) {
        f.setAnchor(true);
        f.setAnchorHref(link);
    }
    return f;
}

QTextBlockFormat randomBlockFormat(QRandomGenerator &rng)
{
    static const QList<Qt::Alignment> alignments = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight,
                                                    Qt::AlignJustify};
    QTextBlockFormat f;
    if (rng.bounded(2) == 0)
        return f;
    f.setAlignment(alignments.at(rng.bounded(alignments.size())));
    if (rng.bounded(2))
        f.setLeftMargin(rng.bounded(100));
    if (rng.bounded(3) == 0)
        f.setRightMargin(rng.bounded(50));
    if (rng.bounded(3) == 0)
        f.setTextIndent(rng.bounded(60) - 30);
    return f;
}

} // namespace

class TestRtfWriter : public QObject {
    Q_OBJECT

private slots:
    void plainForm_data();
    void plainForm();
    void typedTextIsPlainForm();
    void formattedForm();
    void roundTripGenerated();
    void savedFileRoundTrip();
};

void TestRtfWriter::plainForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("address") << QStringLiteral("http://example.com/ news")
                             << QByteArray("http://example.com/ news");
    QTest::newRow("escapes") << QStringLiteral("a\\b{c}d") << QByteArray("a\\\\b\\{c\\}d");
    QTest::newRow("cyrillic") << QStringLiteral("Привет Ёё")
                              << QByteArray("\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 \\'a8\\'b8");
    QTest::newRow("cp1251 punctuation")
        << QStringLiteral("«—»№€\u00a0") << QByteArray("\\'ab\\'97\\'bb\\'b9\\'88\\'a0");
    QTest::newRow("greek") << QStringLiteral("αβ") << QByteArray("\\u945?\\u946?");
    QTest::newRow("cjk") << QStringLiteral("中") << QByteArray("\\u20013?");
    QTest::newRow("latin outside cp1251") << QStringLiteral("ñ") << QByteArray("\\u241?");
    QTest::newRow("negative") << QStringLiteral("\uFB01x") << QByteArray("\\u-1279?x");
    QTest::newRow("emoji") << QStringLiteral("😃!") << QByteArray("\\u-10179?\\u-8701?!");
    QTest::newRow("two paragraphs") << QStringLiteral("T1\nT2") << QByteArray("T1\r\n\\par T2");
    QTest::newRow("empty last paragraph") << QStringLiteral("x\n") << QByteArray("x\r\n\\par ");
    QTest::newRow("leading space") << QStringLiteral("x\n y") << QByteArray("x\r\n\\par  y");
    QTest::newRow("tab") << QStringLiteral("a\tb\t") << QByteArray("a\\tab b\\tab ");
    QTest::newRow("line break") << QStringLiteral("a\u2028b") << QByteArray("a\\line b");
    QTest::newRow("control word look-alike")
        << QStringLiteral("\\par }") << QByteArray("\\\\par \\}");
}

void TestRtfWriter::plainForm()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, body);
    RichTextBox box;
    QTextCursor cursor(box.document());
    insertText(cursor, text);
    QCOMPARE(box.textRTF(), kHead + body + kTail);
}

void TestRtfWriter::typedTextIsPlainForm()
{
    RichTextBox box;
    box.show();
    // A document in another font and size must not leak its format into typed text.
    box.setTextRTF("{\\rtf1{\\fonttbl{\\f0 Times New Roman;}}\\f0\\fs40\\b\\i big}");
    box.setText(QString());
    typeText(&box, QStringLiteral("Сайт {1}"));
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClicks(&box, QStringLiteral("x"));
    QCOMPARE(box.textRTF(), kHead + "\\'d1\\'e0\\'e9\\'f2 \\{1\\}\r\n\\par x" + kTail);
    QCOMPARE(box.currentFont().pointSizeF(), 9.75);
    QCOMPARE(box.currentFont().family(), QStringLiteral("Arial"));
}

void TestRtfWriter::formattedForm()
{
    RichTextBox box;
    QTextCursor cursor(box.document());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("http://x.org/?q=\"a\""));
    link.setForeground(QColor(0, 0, 255));
    QTextCharFormat big;
    big.setFontFamilies({QStringLiteral("Times New Roman")});
    big.setFontPointSize(14);
    cursor.insertText(QStringLiteral("a "), QTextCharFormat());
    cursor.insertText(QStringLiteral("b"), bold);
    cursor.insertText(QStringLiteral(" "), QTextCharFormat());
    cursor.insertText(QStringLiteral("site"), link);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setLeftMargin(48);
    cursor.insertBlock(centred);
    cursor.insertText(QStringLiteral("Т"), big);
    const QByteArray expected =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname "
        "Arial;}Arial CYR;}{\\f1\\fnil\\fcharset204 Times New Roman;}}\r\n"
        "{\\colortbl ;\\red0\\green0\\blue255;}\r\n"
        "\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 a \\b b\\b0  "
        "{\\field{\\*\\fldinst{HYPERLINK \"http://x.org/?q=%22a%22\"}}{\\fldrslt{\\cf1 site}}}"
        "\r\n\\par\\pard\\qc\\li720 \\f1\\fs28 \\'d2\r\n\\par }\r\n";
    QCOMPARE(box.textRTF(), expected);
}

void TestRtfWriter::roundTripGenerated()
{
    QRandomGenerator rng(20261206);
    for (int n = 0; n < 300; ++n) {
        RichTextBox original;
        QTextCursor cursor(original.document());
        const int blocks = 1 + rng.bounded(5);
        for (int b = 0; b < blocks; ++b) {
            if (b > 0)
                cursor.insertBlock();
            cursor.setBlockFormat(randomBlockFormat(rng));
            const int runs = rng.bounded(6);
            for (int r = 0; r < runs; ++r)
                cursor.insertText(randomText(rng), randomFormat(rng));
        }
        const QByteArray first = original.textRTF();
        RichTextBox copy;
        copy.setTextRTF(first);
        QCOMPARE(describe(*copy.document()), describe(*original.document()));
        QCOMPARE(copy.textRTF(), first);
        if (QTest::currentTestFailed()) {
            qWarning("document %d:\n%s", n, first.constData());
            return;
        }
    }
}

void TestRtfWriter::savedFileRoundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("новый сайт"));
    RichTextBox box;
    box.setTextRTF("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset0 Arial;}}"
                   "{\\colortbl;\\red255\\green0\\blue0;}\\f0\\fs24 plain {\\b\\cf1 red bold}"
                   "\\par\\qr right \\u945?}");
    QVERIFY(box.saveFile(path).ok());
    RichTextBox again;
    QVERIFY(again.loadFile(path).ok());
    QCOMPARE(again.fileName(), path);
    QCOMPARE(again.toPlainText(), QStringLiteral("plain red bold\nright α"));
    QCOMPARE(describe(*again.document()), describe(*box.document()));
    QCOMPARE(again.textRTF(), box.textRTF());
}

QTEST_MAIN(TestRtfWriter)
#include "tst_rtfwriter.moc"
