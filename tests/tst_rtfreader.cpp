// The reader: what text and formatting it finds in RTF as many editors write it,
// the shared corpus of real files, and input meant to break it.

#include "controls/richtext/richtextbox.h"
#include "rtf/rtfmeasure.h"
#include "rtf/rtfreader.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

QString plainText(const QByteArray &rtf)
{
    return rtf::toPlainText(std::string_view(rtf.constData(), static_cast<size_t>(rtf.size())));
}

// The box's text with breaks as the plain-text path writes them; no space is folded.
QString shown(const RichTextBox &box)
{
    return box.document()
        ->toRawText()
        .replace(QChar::ParagraphSeparator, u'\n')
        .replace(QChar::LineSeparator, u'\n');
}

QString boxText(const QByteArray &rtf)
{
    RichTextBox box;
    box.setTextRTF(rtf);
    return shown(box);
}

// Rows named by the feature they exercise and the start of their RTF.
void addRows(const char *feature, std::initializer_list<std::pair<QByteArray, const char *>> rows)
{
    for (const auto &[rtf, text] : rows) {
        const QByteArray start = rtf.left(40).replace('\r', ' ').replace('\n', ' ');
        QTest::addRow("%s: %s", feature, start.constData())
            << rtf << QString::fromUtf8(text) << QStringList();
    }
}

// The formatting the reader can set, at the first occurrence of `word`: font,
// size, weight, b/i/u/s, colours, script, link; then the paragraph's alignment
// and indents in twips.
QString formatAt(const RichTextBox &box, const QString &word)
{
    QTextCursor c(box.document());
    c.setPosition(box.document()->find(word).selectionStart() + 1);
    const QTextCharFormat f = c.charFormat();
    const QTextBlockFormat p = c.blockFormat();
    QStringList d = f.fontFamilies().toStringList();
    const auto add = [&d](bool has, const QString &what) {
        if (has)
            d << what;
    };
    add(f.hasProperty(QTextFormat::FontPointSize), QStringLiteral("%1pt").arg(f.fontPointSize()));
    add(f.hasProperty(QTextFormat::FontWeight), QStringLiteral("w%1").arg(f.fontWeight()));
    add(f.fontItalic(), QStringLiteral("i"));
    add(f.fontUnderline(), QStringLiteral("u"));
    add(f.fontStrikeOut(), QStringLiteral("s"));
    add(f.hasProperty(QTextFormat::ForegroundBrush),
        QStringLiteral("fg") + f.foreground().color().name());
    add(f.hasProperty(QTextFormat::BackgroundBrush),
        QStringLiteral("bg") + f.background().color().name());
    add(f.verticalAlignment() != QTextCharFormat::AlignNormal,
        QStringLiteral("v%1").arg(int(f.verticalAlignment())));
    add(f.isAnchor(), QStringLiteral("link=") + f.anchorHref());
    d << QStringLiteral("|a%1").arg(int(p.alignment() & Qt::AlignHorizontal_Mask));
    for (const double m : {p.leftMargin(), p.rightMargin(), p.textIndent()})
        add(m != 0, QString::number(qRound(m * 15)));
    return d.join(u' ');
}

// The comparison the corpus's own checker makes: NFC, space-like characters as
// spaces, invisible ones dropped, list markers at line starts ignored, white
// space folded.
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

} // namespace

class TestRtfReader : public QObject {
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void corpus();
    void everyTruncationOfAFile();
    void floodsTakeLittleMemory_data();
    void floodsTakeLittleMemory();
};

void TestRtfReader::reads_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("formats");
    addRows("code page",
            {
                {"{\\rtf1\\ansi \\'e0\\'80}", "à€"},
                // a font's \fcharset wins over \ansicpg, its \cpg over both
                {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset161 G;}}\\f0 \\'d9}", "Ω"},
                {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0\\cpg1251 X;}}\\f0 \\'e0}", "а"},
                // \fcharset1 is "default": the document's page
                {"{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset1 X;}}\\f0 \\'e0}", "а"},
                {"{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0\\fcharset0 A;}{\\f1\\fcharset204 B;}}\\'e0}",
                 "а"},
                {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 A;}{\\f1\\fcharset204 B;}}\\f0 "
                 "\\'e0{\\f1 \\'e0}"
                 "\\'e0\\f1\\'e0\\plain\\'e0}",
                 "àаàаà"},
                {"{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'93\\'fa}", "あ日"},
                // an escaped lead byte may take a raw trail byte
                {"{\\rtf1\\ansi\\ansicpg932 \\'82\xa0}", "あ"},
                {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset134 S;}}\\f0 \\'d6\\'d0}", "中"},
                {"{\\rtf1\\ansi\\ansicpg949 \\'c7\\'d1}", "한"},
                {"{\\rtf1\\ansi\\ansicpg950 \\'a4\\'a4}", "中"},
                // iconv would hold back a Hebrew letter waiting for a combining mark
                {"{\\rtf1\\ansi\\ansicpg1255 \\'f9\\'ec}", "של"},
                {"{\\rtf1\\mac \\'8a}", "ä"},
                {"{\\rtf1\\pc \\'82}", "é"},
                {"{\\rtf1\\pca \\'9b}", "ø"},
                {"{\\rtf1\\ansi\\ansicpg65001 \\'d0\\'bf}", "п"},
                {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset2 Symbol;}}\\f0 \\'b7 a}", "• a"},
                {"{\\rtf1\\ansi\\ansicpg12345 \\'e9}", "é"},
                // a bad hex digit ends the escape without eating the text
                {"{\\rtf1 x\\u345\\'3?x}", "xřx"},
            });
    addRows("unicode", {
                           {"{\\rtf1 \\u-1279?}", "\uFB01"},
                           {"{\\rtf1 \\u55357?\\u56835?}", "😃"},
                           {"{\\rtf1 \\u55357?x}", "\uFFFDx"},
                           {"{\\rtf1 \\u56835?x}", "\uFFFDx"},
                           // a high surrogate followed by another high one
                           {"{\\rtf1 \\u55357?\\u55357?\\u56835?}", "\uFFFD😃"},
                           {"{\\rtf1\\uc0 \\u945 b}", "αb"},
                           {"{\\rtf1\\uc2\\u945 ab c}", "α c"},
                           {"{\\rtf1{\\uc2\\u945 xy}\\u946 zw}", "αβw"},
                           // the fallback counts \'hh as one unit, and a DBCS pair as one character
                           {"{\\rtf1\\uc2\\u228\\'E8a b}", "ä b"},
                           {"{\\rtf1\\ansi\\ansicpg936\\uc2\\u20013\\'d6\\'d0x}", "中x"},
                           {"{\\rtf1\\uc3\\u945{\\b x}}", "αx"},
                           // between surrogate halves, the space after a control word is its
                           // delimiter; the next is text
                           {"{\\rtf1\\u55357 \\u56835  emojis}", "😃emojis"},
                           {"{\\rtf1 K\\u220?CHE Gruber\\u8217's}", "KÜCHE Gruber’s"},
                       });
    addRows("destination",
            {
                {"{\\rtf1{\\*\\unknown hidden}shown}", "shown"},
                // an unknown word without \* is no destination: its text shows, as RTF readers must
                {"{\\rtf1{\\unknownword shown}}", "shown"},
                {"{\\rtf1{\\stylesheet{\\s1 Heading;}}x}", "x"},
                {"{\\rtf1{\\info{\\title T}{\\author A}}x}", "x"},
                {"{\\rtf1{\\pict\\pngblip 89504e47}x}", "x"},
                // \bin data may hold braces and must be skipped as bytes
                {"{\\rtf1{\\*\\blipuid\\bin4 }}{{x}y}", "y"},
                {"{\\rtf1 a\\bin3 x}zb}", "ab"},
                {"{\\rtf1 a\\bin b}", "ab"},
                {"{\\rtf1 a{\\header h}{\\footerr f}{\\footnote n}{\\*\\annotation c}b}", "ab"},
                {"{\\rtf1{\\pntext 1.\\tab}Item}", "Item"},
                {"{\\rtf1{\\object\\objemb{\\*\\objdata 0102}x{\\result R}}}", "R"},
                {"{\\rtf1{\\upr{a}{\\*\\ud{u}}}}", "u"},
                {"{\\rtf1{\\*\\nesttableprops\\trowd a\\nestcell\\nestrow}b}", "a\t\nb"},
                // words of the header or table that take no group are no destinations
                {"{\\rtf1\\ansi\\vern8249 visible{\\tcl2 a}\\bxe b}", "visibleab"},
                // the text older readers show instead of nested tables
                {"{\\rtf1 a{\\nonesttables fallback}}", "a"},
            });
    addRows(
        "structure",
        {
            // the final \par ends the last paragraph
            {"{\\rtf1\\ansi a\\par\\par b\\line c\\tab d\\par}", "a\n\nb\nc\td\n"},
            {"{\\rtf1 a\\sect b\\page c}", "a\nb\nc"},
            {"{\\rtf1 a\\\nb\\\r\nc}", "a\nb\nc"},
            // bare line ends are no text
            {"{\\rtf1 a\r\nb\nc}", "abc"},
            {"{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}", "—–•‘’“”"},
            {"{\\rtf1 \\\\\\{\\}\\~\\_}", "\\{}\u00a0\u2011"},
            // a non-letter ends a control word and is text
            {"{\\rtf1 a\\b,b\\b0-c}", "a,b-c"},
            {"{\\rtf1foobar}", "foobar"},
            {"{\\rtf1 a{\\v secret}b\\v c\\v0 d}", "abd"},
            {"{\\rtf1\\trowd\\cellx100\\cellx200 a\\cell b\\cell\\row c}", "a\tb\t\nc"},
            {"{\\rtf1 a{\\field{\\*\\fldinst PAGE}}b}", "ab"},
            {"{\\rtf1{\\field{\\*\\fldinst TIME}{\\*\\fldrslt 12:00}}}", "12:00"},
            {"{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt line1\\par line2}}}",
             "line1\nline2"},
            // nothing after the closing brace is read
            {QByteArray("{\\rtf1 a}b}{c}\0", 16), "a"},
            // a file that is not RTF is plain text: UTF-8 when valid, else code page 1251
            {"Сайт\r\nhttp://x/", "Сайт\nhttp://x/"},
            {"\xd1\xe0\xe9\xf2", "Сайт"},
            {"", ""},
        });
    addRows("malformed", {
                             {"{\\rtf1 a{\\b b{\\i c", "abc"},
                             {"{\\rtf1 a\\'b", "a"},
                             {"{\\rtf1 a\\", "a"},
                             {"{\\rtf1 a\\pa", "a"},
                             {"{\\rtf1 a\\bin999999999 xyz}", "a"},
                             {"{\\rtf1 a\\bin-5 b\\bin99999999999999999999 c}", "ab"},
                             {"{\\rtf1\\fs99999999999999999\\li-"
                              "999999999999\\fi2147483648\\cf99999 \\f-7\\highlight-3"
                              "\\deff99999999 a\\u99999999999?b\\u-99999?c}",
                              "a\uFFFDb\uFFFDc"},
                             {"{\\rtf1{\\uc999999999\\u945 abc}d}", "αd"},
                             {"{\\rtf1 a}}}}b", "a"},
                             {"{\\rtf1{\\* x}y}", "y"},
                             {"{\\rtf1 \\" + QByteArray(100000, 'a') + " b}", "b"},
                             {"{\\rtf1 \\fs" + QByteArray(100000, '9') + " b}", "b"},
                             {"{\\rtf1{\\field{\\*\\fldinst{\\field{\\*\\fldinst X}{\\fldrslt "
                              "leak}}}{\\fldrslt ok}}}",
                              "ok"},
                             {"{\\rtf1{\\fonttbl;;{\\f;}{\\f1}}{\\colortbl;;;}\\f1\\cf2 x}", "x"},
                         });
    // As some editors and copy tools write RTF: after a byte-order mark or white space,
    // or with the header in capitals. Kept as files, exactly as they come.
    for (const auto &[file, text] : std::initializer_list<std::pair<const char *, const char *>>{
             {"byte-order-mark.rtf", "After a byte-order mark: Привет\n"},
             {"leading-empty-lines.rtf", "After empty lines"},
             {"leading-spaces.rtf", "After spaces and a tab"},
             {"upper-case-header.rtf", "Upper-case header\nsecond"},
             {"all-three.rtf", "All three"}}) {
        QFile rtf(QFINDTESTDATA(QStringLiteral("data/rtf/") + QLatin1String(file)));
        QVERIFY2(rtf.open(QIODevice::ReadOnly), file);
        QTest::addRow("before the header: %s", file)
            << rtf.readAll() << QString::fromUtf8(text) << QStringList();
    }
    QTest::newRow("character")
        << QByteArray(
               "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New "
               "Roman;}}{\\colortbl;\\red255\\green0\\blue0;\\red0\\green128\\blue0;}\\f0\\fs20 "
               "norm {\\b bold} {\\i ital} {\\ul under}{\\ulnone  x} {\\strike st} {\\f1\\fs28 "
               "times} {\\cf1 red} {\\highlight2 hl} {\\cb1 cb} {\\super sup} {\\sub sub} "
               "{\\b\\i\\plain plain} {\\b\\b0 unbold} {\\uldb dbl}}")
        << QStringLiteral("norm bold ital under x st times red hl cb sup sub plain unbold dbl")
        << QStringList{"norm=|a1", "bold=w700 |a1", "ital=i |a1", "under=u |a1", " x=|a1",
                       "st=s |a1", "times=Times New Roman 14pt |a1", "red=fg#ff0000 |a1",
                       "hl=bg#008000 |a1", "cb=bg#ff0000 |a1", "sup=v1 |a1", "sub =v2 |a1",
                       // \plain is 12 pt, not the control's 9.75
                       "plain=12pt |a1", "unbold=|a1", "dbl=u |a1"};
    // Paragraph properties carry on until \pard; \li in a group closed before \par is gone.
    QTest::newRow("paragraph")
        << QByteArray("{\\rtf1\\pard\\qc\\li720\\ri360\\fi-180 centre\\par\\qr right\\par\\pard "
                      "reset\\par\\qj{\\li1440 just}\\par}")
        << QStringLiteral("centre\nright\nreset\njust\n")
        << QStringList{"centre=12pt |a4 720 360 -180", "right=12pt |a2 720 360 -180",
                       "reset=12pt |a1", "just=12pt |a8"};
    QTest::newRow("hyperlinks")
        << QByteArray(
               "{\\rtf1{\\colortbl ;\\red0\\green0\\blue255;}see {\\field{\\*\\fldinst{"
               "HYPERLINK \"http://example.com/a b\" \\\\o \"tip\"}}{\\fldrslt{\\ul\\cf1 the "
               "site}}} and {\\field{\\*\\fldinst HYPERLINK \\\\l \"top\"}{\\fldrslt here}} and "
               "{\\field{\\*\\fldinst{HYPERLINK \"http://x/\"}}{\\fldrslt{out {\\field{\\*"
               "\\fldinst PAGEREF p}{\\fldrslt 42}}}}} {\\field{\\*\\fldinst{HYPERLINK\r\n"
               "\"http://\\'e0.ru/\"}}\r\n{\\fldrslt{ru}}}}")
        << QStringLiteral("see the site and here and out 42 ru")
        << QStringList{"the site=12pt u fg#0000ff link=http://example.com/a b |a1",
                       "here=12pt link=#top |a1", "42=12pt link=http://x/ |a1",
                       "ru=12pt link=http://à.ru/ |a1", " and=12pt |a1"};
    // Deeper than the reader's group limit: no recursion, no hang, the text kept and
    // the groups closed in order. tst_hostile runs deeper and larger files through
    // the window, checking only that they show.
    const auto deep = [](int depth, const QByteArray &close) {
        return QByteArray(depth, '{') + "\\b x" + close.repeated(depth);
    };
    QTest::newRow("deep: 100,000 never closed")
        << "{\\rtf1 a" + deep(100000, "") + "b}" << QStringLiteral("axb")
        << QStringList{"b=12pt w700 |a1"};
    QTest::newRow("deep: 1,000,000 closed") << "{\\rtf1 a" + deep(1000000, "}") + "b}"
                                            << QStringLiteral("axb") << QStringList{"b=12pt |a1"};
    QTest::newRow("deep: 1,000,000 in a skipped group")
        << "{\\rtf1 a{\\*\\unknown " + deep(1000000, "}") + "}b}" << QStringLiteral("ab")
        << QStringList{"b=12pt |a1"};
}

// The plain-text path gives the text; the control's document shows the same (a
// final \par ends the last paragraph and opens no new one there) with the formats,
// each as "word=" and what formatAt() gives.
void TestRtfReader::reads()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(QStringList, formats);
    QCOMPARE(plainText(rtf), text);
    RichTextBox box;
    box.setTextRTF(rtf);
    QCOMPARE(shown(box), text.endsWith(u'\n') ? text.chopped(1) : text);
    for (const QString &expected : formats) {
        const QString word = expected.section(u'=', 0, 0);
        QCOMPARE(word + u'=' + formatAt(box, word), expected);
    }
}

void TestRtfReader::corpus()
{
    const QDir dir(QStringLiteral(SITEBOOK_SHARED_DIR "/rtf-corpus"));
    if (!dir.exists(QStringLiteral("files")))
        QSKIP(qPrintable(QStringLiteral("the shared RTF corpus is not here (%1); it sits beside "
                                        "the project's clone only on the team's machines")
                             .arg(dir.path())));
    const QStringList files = QDir(dir.filePath(QStringLiteral("files")))
                                  .entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 80);
    QStringList misses;
    for (const QString &file : files) {
        const QString name = file.chopped(4);
        QFile expectedFile(dir.filePath(QStringLiteral("expected/%1.txt").arg(name)));
        QFile rtfFile(dir.filePath(QStringLiteral("files/") + file));
        QVERIFY2(expectedFile.open(QIODevice::ReadOnly) && rtfFile.open(QIODevice::ReadOnly),
                 qPrintable(name));
        const QString expected = normalized(QString::fromUtf8(expectedFile.readAll()));
        RichTextBox box;
        QVERIFY2(box.loadFile(rtfFile.fileName()).ok(), qPrintable(name));
        // Both the document and the plain-text path must read it; a miss shows where.
        for (const QString &got :
             {normalized(box.toPlainText()), normalized(plainText(rtfFile.readAll()))}) {
            const qsizetype at =
                std::mismatch(got.cbegin(), got.cend(), expected.cbegin(), expected.cend()).first -
                got.cbegin();
            if (got != expected) {
                misses << QStringLiteral("%1 at %2: got \"%3\", expected \"%4\"")
                              .arg(name)
                              .arg(at)
                              .arg(got.mid(qMax<qsizetype>(0, at - 20), 60),
                                   expected.mid(qMax<qsizetype>(0, at - 20), 60));
                break;
            }
        }
    }
    qInfo("corpus: %lld of %lld files read as expected; misses:\n%s",
          static_cast<long long>(files.size() - misses.size()),
          static_cast<long long>(files.size()), qPrintable(misses.join(u'\n')));
    QVERIFY2((files.size() - misses.size()) * 100 >= files.size() * 95,
             qPrintable(misses.join(u'\n')));
}

// A file cut at any byte still reads, with the text up to the cut.
void TestRtfReader::everyTruncationOfAFile()
{
    RichTextBox source;
    source.setTextRTF(
        "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 A;}{\\f1\\fcharset128 "
        "J;}}{\\colortbl;\\red1\\green2\\blue3;}\\f0 \\'cf{\\b\\cf1 b}\\u945?{\\f1 \\'82\\'a0}"
        "{\\field{\\*\\fldinst{HYPERLINK \"u\"}}{\\fldrslt{l}}}{\\*\\x\\bin3 }}}\\tab\\par e}");
    const QByteArray rtf = source.textRTF();
    const QString full = source.toPlainText();
    // From "{\rtf" on it reads as RTF and shows a start of the text; the last
    // character may be a half-read one (\u9 of a cut \u945).
    for (qsizetype n = 5; n <= rtf.size(); ++n) {
        const QString text = boxText(rtf.left(n));
        QVERIFY2(full.startsWith(text.chopped(qMin<qsizetype>(1, text.size()))),
                 qPrintable(QStringLiteral("%1: %2").arg(n).arg(text)));
    }
}

// A file of nothing but table entries, or of one endless word, is read in a fraction
// of the memory the file takes itself.
void TestRtfReader::floodsTakeLittleMemory_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<QByteArray>("tail");
    const auto row = [](const char *tag, const char *head, const char *unit, const char *tail) {
        QTest::newRow(tag) << QByteArray(head) << QByteArray(unit) << QByteArray(tail);
    };
    row("fonts", "{\\rtf1{\\fonttbl", "{\\f1 x;}", "}}");
    row("bare \\f", "{\\rtf1{\\fonttbl", "\\f", "}}");
    row("colours", "{\\rtf1{\\colortbl", ";", "}}");
    row("font name", "{\\rtf1{\\fonttbl{\\f0 ", "x", ";}}}");
    row("font's other name", "{\\rtf1{\\fonttbl{\\f0{\\*\\fname ", "x", ";}}}}");
    row("field instruction", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK ", "x", "}{\\fldrslt r}}}");
    row("one word", "{\\rtf1 ", "x", "}");
    row("escaped bytes", "{\\rtf1 ", "\\'e0\\\\", "}");
}

void TestRtfReader::floodsTakeLittleMemory()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, unit);
    QFETCH(QByteArray, tail);
    constexpr qsizetype kMiB = 8;
    const QByteArray rtf =
        head + unit.repeated(((kMiB << 20) - head.size() - tail.size()) / unit.size()) + tail;
    testsupport::resetPeakMemory();
    const qint64 before = testsupport::peakMemoryMiB();
    rtf::measure(std::string_view(rtf.constData(), size_t(rtf.size())));
    const qint64 growth = testsupport::peakMemoryMiB() - before;
    // Under the sanitizers freed blocks wait in a quarantine of up to 256 MiB.
    QVERIFY2(growth < (testsupport::sanitized() ? 256 : 0) + kMiB / 4,
             qPrintable(QString::number(growth)));
}

// Inputs the fuzzer found troublesome once; each must read without harm.
QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
