// The writer's bytes, and that what it writes reads back the same.

#include "controls/richtext/richtextbox.h"

#include <QFile>
#include <QRandomGenerator>
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

// What a reader sees in a document: per paragraph its format, and runs of text
// with the formatting the writer can express, adjacent equal runs merged.
QStringList describe(const QTextDocument &document)
{
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        lines << QStringLiteral("P a%1 %2 %3 %4")
                     .arg(int(bf.alignment() & Qt::AlignHorizontal_Mask))
                     .arg(qRound(bf.leftMargin() * 15))
                     .arg(qRound(bf.rightMargin() * 15))
                     .arg(qRound(bf.textIndent() * 15));
        QString lastKey;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString family = f.fontFamilies().toStringList().value(0);
            const auto color = [&f](int property) {
                return f.hasProperty(property) ? f.brushProperty(property).color().name()
                                               : QString();
            };
            const QString key =
                QStringLiteral("%1|%2|b%3i%4u%5s%6|fg%7|bg%8|v%9|%10")
                    .arg(family == QLatin1String("Arial") ? QString() : family)
                    .arg(f.hasProperty(QTextFormat::FontPointSize) ? qRound(f.fontPointSize() * 2)
                                                                   : 20)
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

// A random choice from a '|'-separated list; an empty choice means "not set".
QString pick(QRandomGenerator &rng, const QString &choices)
{
    const QStringList list = choices.split(u'|');
    return list.at(rng.bounded(list.size()));
}

// Runs of text and formatting mixing every feature the writer has, with text that
// looks like RTF, characters in and out of code page 1251 and astral ones.
QString randomText(QRandomGenerator &rng)
{
    QString text;
    for (int i = 1 + rng.bounded(4); i > 0; --i)
        text += pick(rng, QStringLiteral("http://example.com/|word| |  |\\|{|}|\t|\u2028|Привет|"
                                         "Ёё№«»—€|αβγ|中文|😃|𐌲|\u00a0|?;\"'|0123|ñü|\\par|"
                                         "}{\\rtf1|\u00ad|\uFB01"));
    return text;
}

QTextCharFormat randomFormat(QRandomGenerator &rng)
{
    QTextCharFormat f;
    if (rng.bounded(3) == 0)
        return f;
    if (const QString family =
            pick(rng, QStringLiteral("|Times New Roman|Courier New|Comic Sans MS"));
        !family.isEmpty())
        f.setFontFamilies({family});
    if (const double size = pick(rng, QStringLiteral("0|8|12|14.5|20|36")).toDouble(); size > 0)
        f.setFontPointSize(size);
    f.setFontWeight(rng.bounded(2) ? QFont::Bold : QFont::Normal);
    f.setFontItalic(rng.bounded(2));
    f.setFontUnderline(rng.bounded(3) == 0);
    f.setFontStrikeOut(rng.bounded(4) == 0);
    if (const QColor c(pick(rng, QStringLiteral("|red|#0000ff|#123456"))); c.isValid())
        f.setForeground(c);
    if (const QColor c(pick(rng, QStringLiteral("|red|#0000ff|#123456"))); c.isValid())
        f.setBackground(c);
    f.setVerticalAlignment(QTextCharFormat::VerticalAlignment(qMax(0, rng.bounded(5) - 2)));
    if (const QString link = pick(rng, QStringLiteral("|http://example.com/|mailto:me@example.com|"
                                                      "https://пример.рф/путь?a=1&b={2}"));
        !link.isEmpty()) {
        f.setAnchor(true);
        f.setAnchorHref(link);
    }
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
};

void TestRtfWriter::plainForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("body");
    const auto row = [](const char *name, const char *text, const QByteArray &body) {
        QTest::newRow(name) << QString::fromUtf8(text) << body;
    };
    row("empty", "", "");
    row("address", "http://example.com/ news", "http://example.com/ news");
    row("escapes", "a\\b{c}d", "a\\\\b\\{c\\}d");
    row("cyrillic", "Привет Ёё", "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 \\'a8\\'b8");
    row("cp1251 punctuation", "«—»№€\u00a0", "\\'ab\\'97\\'bb\\'b9\\'88\\'a0");
    row("greek", "αβ", "\\u945?\\u946?");
    row("cjk", "中", "\\u20013?");
    row("latin outside cp1251", "ñ", "\\u241?");
    row("negative", "\uFB01x", "\\u-1279?x");
    row("emoji", "😃!", "\\u-10179?\\u-8701?!");
    row("two paragraphs", "T1\nT2", "T1\r\n\\par T2");
    row("empty last paragraph", "x\n", "x\r\n\\par ");
    row("leading space", "x\n y", "x\r\n\\par  y");
    row("tab", "a\tb\t", "a\\tab b\\tab ");
    row("line break", "a\u2028b", "a\\line b");
    row("control word look-alike", "\\par }", "\\\\par \\}");
}

void TestRtfWriter::plainForm()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, body);
    RichTextBox box;
    QTextCursor cursor(box.document());
    cursor.insertText(text); // '\n' starts a paragraph, as Return would
    QCOMPARE(box.textRTF(), kHead + body + kTail);
}

void TestRtfWriter::typedTextIsPlainForm()
{
    RichTextBox box;
    box.show();
    // A document in another font and size must not leak its format into typed text.
    box.setTextRTF("{\\rtf1{\\fonttbl{\\f0 Times New Roman;}}\\f0\\fs40\\b\\i big}");
    box.setText(QString());
    // One key press per character, as a keyboard in any layout would.
    for (const QChar ch : QStringLiteral("Сайт {1}"))
        QTest::sendKeyEvent(QTest::Click, &box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClicks(&box, QStringLiteral("x"));
    QCOMPARE(box.textRTF(), kHead + "\\'d1\\'e0\\'e9\\'f2 \\{1\\}\r\n\\par x" + kTail);
}

void TestRtfWriter::formattedForm()
{
    RichTextBox box;
    QTextCursor cursor(box.document());
    QTextCharFormat bold, link, big;
    bold.setFontWeight(QFont::Bold);
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("http://x.org/?q=\"a\""));
    link.setForeground(QColor(0, 0, 255));
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
    QCOMPARE(box.textRTF(),
             "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname "
             "Arial;}Arial CYR;}{\\f1\\fnil\\fcharset204 Times New Roman;}}\r\n"
             "{\\colortbl ;\\red0\\green0\\blue255;}\r\n"
             "\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 a \\b b\\b0  "
             "{\\field{\\*\\fldinst{HYPERLINK \"http://x.org/?q=%22a%22\"}}{\\fldrslt{\\cf1 site}}}"
             "\r\n\\par\\pard\\qc\\li720 \\f1\\fs28 \\'d2\r\n\\par }\r\n");
}

// Generated documents, saved to a file and loaded again, show the same text and
// formatting, and are saved again byte for byte.
void TestRtfWriter::roundTripGenerated()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("новый сайт"));
    QRandomGenerator rng(20261206);
    for (int n = 0; n < 300; ++n) {
        RichTextBox original;
        QTextCursor cursor(original.document());
        for (int b = 0, blocks = 1 + rng.bounded(5); b < blocks; ++b) {
            if (b > 0)
                cursor.insertBlock();
            QTextBlockFormat f;
            if (rng.bounded(2)) {
                f.setAlignment(Qt::Alignment(pick(rng, QStringLiteral("1|4|2|8")).toInt()));
                f.setLeftMargin(rng.bounded(2) * rng.bounded(100));
                f.setRightMargin(rng.bounded(3) == 0 ? rng.bounded(50) : 0);
                f.setTextIndent(rng.bounded(3) == 0 ? rng.bounded(60) - 30 : 0);
            }
            cursor.setBlockFormat(f);
            for (int r = rng.bounded(6); r > 0; --r)
                cursor.insertText(randomText(rng), randomFormat(rng));
        }
        QVERIFY(original.saveFile(path).ok());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes, original.textRTF());
        RichTextBox copy;
        QVERIFY(copy.loadFile(path).ok());
        QCOMPARE(describe(*copy.document()), describe(*original.document()));
        QCOMPARE(copy.textRTF(), bytes);
        if (QTest::currentTestFailed()) {
            qWarning("document %d:\n%s", n, bytes.constData());
            return;
        }
    }
}

QTEST_MAIN(TestRtfWriter)
#include "tst_rtfwriter.moc"
