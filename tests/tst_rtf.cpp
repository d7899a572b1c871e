// The RTF codec: what the reader hands its sink for RTF as many editors write it and
// for input meant to break it, the shared corpus of real files, the writer's bytes, and
// documents that come back the same through a saved file.

#include "rtf/rtfdocumentsink.h"
#include "rtf/rtfmeasure.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

namespace {

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

// What the reader hands its sink, written as data/rtf/reader-examples.txt describes.
class Recorder final : public rtf::Sink {
public:
    QString marked;

    void begin(const rtf::Tables &tables) override { m_tables = &tables; }
    void text(QStringView text, const rtf::CharFormat &format) override
    {
        if (const QString now = describe(format); now != m_format)
            marked += u'<' + (m_format = now) + u'>';
        marked += text.toString().replace(u'\t', u'⇥');
    }
    void lineBreak(const rtf::CharFormat &) override { marked += u'↵'; }
    void paragraphEnd(const rtf::ParaFormat &p) override
    {
        const QString d = join({QStringList{"", "qc", "qr", "qj"}[int(p.alignment)],
                                p.leftTwips ? QStringLiteral("li%1").arg(p.leftTwips) : "",
                                p.rightTwips ? QStringLiteral("ri%1").arg(p.rightTwips) : "",
                                p.firstTwips ? QStringLiteral("fi%1").arg(p.firstTwips) : ""});
        marked += u'¶' + (d.isEmpty() ? d : u'(' + d + u')');
    }
    void end(const rtf::ParaFormat &) override {}

private:
    static QString join(QStringList words) { return words.join(u' ').simplified(); }
    QString describe(const rtf::CharFormat &f) const
    {
        const rtf::Tables &t = *m_tables;
        const auto color = [&t](const char *word, int i) {
            return i <= 0 ? QString()
                          : word + (size_t(i) < t.colors.size() && t.colors[i].isValid()
                                        ? t.colors[i].name()
                                        : QString());
        };
        return join({f.font >= 0 && f.font != t.defaultFont ? t.fonts[f.font].family() : "",
                     f.halfPoints != 24 ? QStringLiteral("fs%1").arg(f.halfPoints) : "",
                     f.bold ? "b" : "", f.italic ? "i" : "", f.underline ? "ul" : "",
                     f.strike ? "strike" : "", QStringList{"", "super", "sub"}[int(f.vertical)],
                     color("cf", f.foreground), color("cb", f.background),
                     f.link >= 0 ? "link=" + t.links[f.link] : ""});
    }

    const rtf::Tables *m_tables = nullptr;
    QString m_format;
};

// The comparison the corpus's own checker makes: NFC, space-like characters as spaces,
// invisible ones dropped, list markers at line starts ignored, white space folded.
QString normalized(QString s)
{
    static const QRegularExpression spaces(QStringLiteral("[\\x{00a0}\\x{2000}-\\x{200a}]"));
    static const QRegularExpression invisible(
        QStringLiteral("[\\x{00ad}\\x{200b}-\\x{200d}\\x{feff}\\x{fffc}]"));
    static const QRegularExpression marker(
        QStringLiteral("^[ \\t]*(?:[\\x{2022}\\x{25e6}\\x{25aa}\\x{00b7}\\x{2023}\\x{2043}]"
                       "|\\d+[.)](?=[ \\t]|$))[ \\t]*"),
        QRegularExpression::MultilineOption);
    static const QRegularExpression white(QStringLiteral("\\s+"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    s = s.normalized(QString::NormalizationForm_C).replace(QChar::LineSeparator, u'\n');
    s.replace(spaces, QStringLiteral(" ")).remove(invisible).remove(marker);
    return s.replace(white, QStringLiteral(" ")).trimmed();
}

// The process's peak resident memory (VmHWM) in KiB; writing 5 to clear_refs sets the
// peak back to the present size.
qint64 peakKiB(bool reset = false)
{
    if (QFile clear(QStringLiteral("/proc/self/clear_refs"));
        reset && clear.open(QIODevice::WriteOnly))
        clear.write("5");
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    return text.mid(text.indexOf("VmHWM:") + 6).trimmed().split(' ').value(0).toLongLong();
}

const QByteArray kHead = QByteArrayLiteral(
    "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname "
    "Arial;}Arial CYR;}}\r\n\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 ");
const QByteArray kTail = QByteArrayLiteral("\r\n\\par }\r\n");

// Random RTF mixing every format the writer has, with text that looks like RTF,
// characters in and out of code page 1251 and astral ones.
QByteArray randomRtf(QRandomGenerator &rng)
{
    static const QList<QByteArray> pieces =
        QByteArray(
            "word| |\\\\par|\\{\\}|\\tab |\\line |\\par |\\pard |\\qc |\\qr |\\qj |\\li330 |"
            "\\ri105 |\\fi-300 |\\b |\\b0 |\\i |\\ul |\\strike |\\super |\\sub |\\nosupersub |"
            "\\f1 |\\fs30 |\\cf1 |\\highlight2 |\\plain |{|}|\\'cf\\'b8\\'b9\\'88\\'a0|\\u945?|"
            "\\u-10179?\\u-8701?|\\u241?|{\\field{\\*\\fldinst HYPERLINK "
            "\"https://e.com/?a=\\{1\\}\"}"
            "{\\fldrslt ")
            .split('|');
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
                     "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";
    for (int i = rng.bounded(1, 40); i > 0; --i)
        rtf += pieces[rng.bounded(pieces.size())];
    return rtf + '}';
}

} // namespace

class TestRtf : public QObject {
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void corpus();
    void everyTruncationOfAFile();
    void floodsTakeLittleMemory_data();
    void floodsTakeLittleMemory();
    void writesPlainForm_data();
    void writesPlainForm();
    void writesFormattedForm();
    void roundTrip();
};

void TestRtf::reads_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("marked");
    QFile examples(QFINDTESTDATA("data/rtf/reader-examples.txt"));
    QVERIFY(examples.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = examples.readAll().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].isEmpty() || lines[i].startsWith('#'))
            continue;
        QTest::addRow("line %lld: %s", i + 1, lines[i].left(40).constData())
            << lines[i] << QString::fromUtf8(lines[i + 1]);
        ++i;
    }
    const auto row = [](const char *tag, const QByteArray &rtf, const char *marked) {
        QTest::newRow(tag) << rtf << QString::fromUtf8(marked);
    };
    // As some editors and copy tools write RTF: after a byte-order mark or white space.
    row("after a byte-order mark", "\xef\xbb\xbf{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\par }\r\n",
        "Пр¶");
    row("after empty lines", "\r\n\r\n{\\rtf1\\ansi After empty lines}\r\n", "After empty lines");
    row("all three", "\xef\xbb\xbf \r\n{\\Rtf1{\\fonttbl{\\f0 Arial;}}\\f0 All three}",
        "All three");
    row("raw trail byte after an escaped lead byte", "{\\rtf1\\ansi\\ansicpg932 \\'82\xa0}", "あ");
    row("line end after a backslash", "{\\rtf1 a\\\nb\\\r\nc}", "a¶b¶c");
    row("bare line ends are no text", "{\\rtf1 a\r\nb\nc}", "abc");
    row("symbols", "{\\rtf1 \\\\\\{\\}\\~\\-\\_}", "\\{}\u00a0\u00ad\u2011");
    row("nothing after the closing brace", QByteArray("{\\rtf1 a}b}{c}\0", 16), "a");
    row("not RTF: UTF-8", "Сайт\r\nhttp://x/", "<fs20>Сайт¶http://x/");
    row("not RTF nor UTF-8: cp1251", "\xd1\xe0\xe9\xf2", "<fs20>Сайт");
    row("empty", "", "");
    row("control word of 100,000 letters", "{\\rtf1 \\" + QByteArray(100000, 'a') + " b}", "b");
    row("parameter of 100,000 digits", "{\\rtf1 \\fs" + QByteArray(100000, '9') + " b}",
        "<fs3276>b");
    // Deeper than the reader's group limit: no recursion, no hang, the text kept and the
    // groups closed in order.
    const auto deep = [](int depth, const QByteArray &close) {
        return QByteArray(depth, '{') + "\\b x" + close.repeated(depth);
    };
    row("100,000 groups never closed", "{\\rtf1 a" + deep(100000, "") + "b}", "a<b>xb");
    row("1,000,000 groups", "{\\rtf1 a" + deep(1000000, "}") + "b}", "a<b>x<>b");
    row("1,000,000 groups skipped", "{\\rtf1 a{\\*\\unknown " + deep(1000000, "}") + "}b}", "ab");
}

void TestRtf::reads()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, marked);
    Recorder recorder;
    rtf::read(view(rtf), recorder);
    QCOMPARE(recorder.marked, marked);
}

// Both the document the program shows and the plain text read from the corpus's real
// files match the corpus's own reading of them.
void TestRtf::corpus()
{
    const QDir dir(QStringLiteral(SITEBOOK_SHARED_DIR "/rtf-corpus"));
    if (!dir.exists(QStringLiteral("files")))
        QSKIP(qPrintable(QStringLiteral("the shared RTF corpus is not here (%1); it sits beside "
                                        "the project's clone only on the team's machines")
                             .arg(dir.path())));
    const QStringList files = QDir(dir.filePath(QStringLiteral("files"))).entryList({"*.rtf"});
    QVERIFY(files.size() >= 80);
    QStringList misses;
    for (const QString &file : files) {
        QFile expected(dir.filePath("expected/" + file.chopped(4) + ".txt"));
        QFile rtf(dir.filePath("files/" + file));
        QVERIFY(expected.open(QIODevice::ReadOnly) && rtf.open(QIODevice::ReadOnly));
        const QByteArray bytes = rtf.readAll();
        QTextDocument document;
        rtf::readInto(view(bytes), document);
        const QString text = normalized(QString::fromUtf8(expected.readAll()));
        if (normalized(document.toPlainText()) != text ||
            normalized(rtf::toPlainText(view(bytes))) != text)
            misses << file;
    }
    qInfo("corpus: %lld of %lld files read as expected", qlonglong(files.size() - misses.size()),
          qlonglong(files.size()));
    QVERIFY2(misses.size() * 20 <= files.size(), qPrintable(misses.join(u' ')));
}

// A file cut at any byte still reads, with the text up to the cut.
void TestRtf::everyTruncationOfAFile()
{
    QTextDocument source;
    rtf::readInto(
        "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 A;}{\\f1\\fcharset128 "
        "J;}}{\\colortbl;\\red1\\green2\\blue3;}\\f0 \\'cf{\\b\\cf1 b}\\u945?{\\f1 \\'82\\'a0}"
        "{\\field{\\*\\fldinst{HYPERLINK \"u\"}}{\\fldrslt{l}}}{\\*\\x\\bin3 }}}\\tab\\par e}",
        source);
    const QByteArray rtf = rtf::write(source);
    const QString full = source.toPlainText();
    // From "{\rtf" on it reads as RTF; the last character may be a half-read one (\u9 of \u945).
    for (qsizetype n = 5; n <= rtf.size(); ++n) {
        QTextDocument cut;
        rtf::readInto(view(rtf.left(n)), cut);
        const QString text = cut.toPlainText();
        QVERIFY2(full.startsWith(text.chopped(qMin<qsizetype>(1, text.size()))),
                 qPrintable(QStringLiteral("%1: %2").arg(n).arg(text)));
    }
}

// A file of nothing but table entries, or of one endless word, is read in a fraction of
// the memory the file takes itself.
void TestRtf::floodsTakeLittleMemory_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<QByteArray>("tail");
    const auto row = [](const char *tag, const char *head, const char *unit, const char *tail) {
        QTest::newRow(tag) << QByteArray(head) << QByteArray(unit) << QByteArray(tail);
    };
    row("fonts", "{\\rtf1{\\fonttbl", "{\\f1 x;}", "}}");
    row("colours", "{\\rtf1{\\colortbl", ";", "}}");
    row("font name", "{\\rtf1{\\fonttbl{\\f0 ", "x", ";}}}");
    row("font's other name", "{\\rtf1{\\fonttbl{\\f0{\\*\\fname ", "x", ";}}}}");
    row("field instruction", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK ", "x", "}{\\fldrslt r}}}");
    row("one word", "{\\rtf1 ", "x", "}");
    row("escaped bytes", "{\\rtf1 ", "\\'e0\\\\", "}");
}

void TestRtf::floodsTakeLittleMemory()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, unit);
    QFETCH(QByteArray, tail);
    constexpr qsizetype kMiB = 8;
    const QByteArray rtf =
        head + unit.repeated(((kMiB << 20) - head.size() - tail.size()) / unit.size()) + tail;
    const qint64 before = peakKiB(true);
    rtf::measure(view(rtf));
    const qint64 growth = (peakKiB() - before) >> 10;
#if defined(__SANITIZE_ADDRESS__)
    // Freed blocks wait in the sanitizer's quarantine of up to 256 MiB.
    QVERIFY2(growth < 256 + kMiB / 4, qPrintable(QString::number(growth)));
#else
    QVERIFY2(growth < kMiB / 4, qPrintable(QString::number(growth)));
#endif
}

void TestRtf::writesPlainForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("body");
    const auto row = [](const char *name, const char *text, const QByteArray &body) {
        QTest::newRow(name) << QString::fromUtf8(text) << body;
    };
    row("empty", "", "");
    row("escapes", "http://e.com/ a\\b{c}d \\par }", "http://e.com/ a\\\\b\\{c\\}d \\\\par \\}");
    row("cp1251", "Привет Ёё«—»№€\u00a0",
        "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 \\'a8\\'b8\\'ab\\'97\\'bb\\'b9\\'88\\'a0");
    row("outside cp1251", "αñ中\uFB01😃!", "\\u945?\\u241?\\u20013?\\u-1279?\\u-10179?\\u-8701?!");
    row("paragraphs", "T1\n y\n", "T1\r\n\\par  y\r\n\\par ");
    row("tab and line break", "a\tb\u2028c\t", "a\\tab b\\line c\\tab ");
}

void TestRtf::writesPlainForm()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, body);
    QTextDocument document;
    QTextCursor(&document).insertText(text); // '\n' starts a paragraph, as Return would
    QCOMPARE(rtf::write(document), kHead + body + kTail);
}

// A document from another editor, with every format the writer has, in the entry form.
void TestRtf::writesFormattedForm()
{
    QTextDocument document;
    rtf::readInto(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}{\\colortbl ;"
        "\\red255\\green255\\blue0;\\red0\\green0\\blue255;}\\f0\\fs20 a {\\b b}{\\i\\ul"
        "\\strike i}{\\super\\highlight1 s}{\\plain p}{\\field{\\*\\fldinst HYPERLINK "
        "\"http://x.org/\"}"
        "{\\fldrslt{\\cf2 site}}}\\par\\pard\\qc\\li720\\ri30\\fi-60\\f1\\fs28 \\u1058?\\par}",
        document);
    QCOMPARE(
        rtf::write(document),
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname "
        "Arial;}Arial CYR;}{\\f1\\fnil\\fcharset204 Times New Roman;}}\r\n{\\colortbl "
        ";\\red255\\green255\\blue0;\\red0\\green0\\blue255;}\r\n\\viewkind4\\uc1\\pard\\lang1049"
        "\\f0\\fs20 a \\b b\\b0\\i\\ul\\strike i\\i0\\ulnone\\strike0\\highlight1\\super "
        "s\\fs24\\highlight0\\nosupersub p{\\field{\\*\\fldinst{HYPERLINK \"http://x.org/\"}}"
        "{\\fldrslt{\\fs20\\cf2 site}}}\r\n\\par\\pard\\qc\\li720\\ri30\\fi-60 \\f1\\fs28 "
        "\\'d2\r\n\\par }\r\n");
}

// Generated documents written and read again are written again byte for byte, with the
// same text.
void TestRtf::roundTrip()
{
    QRandomGenerator rng(20261206);
    for (int n = 0; n < 500; ++n) {
        QTextDocument original, copy;
        rtf::readInto(view(randomRtf(rng)), original);
        const QByteArray bytes = rtf::write(original);
        rtf::readInto(view(bytes), copy);
        QCOMPARE(copy.toRawText(), original.toRawText());
        QCOMPARE(rtf::write(copy), bytes);
    }
}

QTEST_MAIN(TestRtf)
#include "tst_rtf.moc"
