// sitebook-bench-data FOLDER COUNT: makes FOLDER/List holding COUNT entries as the
// program saves them: COUNT - 2 short ones with names like a real list's, plus one
// formatted entry of 10 KB and one of 1 MB. COUNT 0 makes an empty List.
// sitebook-bench-data --bookmarks FILE COUNT: writes a browser bookmark file of COUNT
// bookmarks in nested folders, many with descriptions and icons, as Firefox exports them.

#include "benchdata.h"
#include "rtf/rtfcodepage.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

const std::vector<QString> latinWords = {
    "news",   "forum",  "docs",    "wiki",     "shop",    "music", "video",   "linux",
    "qt",     "python", "weather", "maps",     "bank",    "mail",  "travel",  "recipes",
    "photo",  "games",  "sport",   "science",  "history", "cars",  "garden",  "books",
    "radio",  "cinema", "code",    "debian",   "kernel",  "rust",  "cpp",     "blog",
    "market", "jobs",   "health",  "football", "chess",   "art",   "design",  "home",
    "school", "univer", "library", "tickets",  "hotel",   "train", "airport", "museum"};

const std::vector<QString> cyrillicWords = {
    "новости", "погода",     "форум",   "музыка",     "кино",       "книги",   "работа",
    "банк",    "карта",      "рецепты", "спорт",      "история",    "наука",   "фото",
    "игры",    "словарь",    "магазин", "билеты",     "расписание", "музей",   "сад",
    "школа",   "библиотека", "заметки", "справочник", "футбол",     "шахматы", "дача"};

const std::vector<QString> domains = {".com", ".org", ".ru", ".net", ".io", ".de", ".info"};

class Maker {
public:
    explicit Maker(unsigned seed) : m_random(seed) {}
    Q_DISABLE_COPY_MOVE(Maker)

    template <typename T> const T &pick(const std::vector<T> &from)
    {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(m_random)];
    }
    int number(int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }
    bool chance(int percent) { return number(1, 100) <= percent; }

    QString capitalized(QString word)
    {
        word[0] = word[0].toUpper();
        return word;
    }

    QString domain()
    {
        QString host = pick(latinWords);
        if (chance(40))
            host += pick(latinWords);
        if (chance(30))
            host += QString::number(number(1, 999));
        return (chance(50) ? QStringLiteral("www.") : QString()) + host + pick(domains);
    }

    QString name()
    {
        switch (number(0, 5)) {
        case 0:
            return domain();
        case 1:
            return capitalized(pick(latinWords)) + QLatin1Char(' ') + pick(latinWords) +
                   QStringLiteral(" - ") + domain();
        case 2:
            return capitalized(pick(cyrillicWords)) + QLatin1Char(' ') + pick(cyrillicWords) +
                   QLatin1Char(' ') + QString::number(number(1990, 2026));
        case 3:
            return pick(latinWords) + QLatin1Char('.') + pick(latinWords) + pick(domains) +
                   QLatin1Char(' ') + QString::number(number(1, 99999));
        case 4:
            return capitalized(pick(cyrillicWords)) + QStringLiteral(" - ") + domain();
        default:
            return capitalized(pick(latinWords)) + QLatin1Char(' ') +
                   QString::number(number(1, 500)) + QLatin1Char(' ') + pick(latinWords);
        }
    }

    QString sentence(int words)
    {
        QString text;
        for (int i = 0; i < words; ++i) {
            if (i > 0)
                text += QLatin1Char(' ');
            text += chance(40) ? pick(cyrillicWords) : pick(latinWords);
        }
        return capitalized(text) + QLatin1Char('.');
    }

private:
    std::mt19937 m_random;
};

// Text as the writer saves it: cp1251 bytes above 127 as \'hh, \uN? for the rest.
QByteArray escaped(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const QChar ch : text) {
        const char16_t unit = ch.unicode();
        if (unit == u'\\' || unit == u'{' || unit == u'}') {
            out += '\\';
            out += char(unit);
        } else if (unit < 128) {
            out += char(unit);
        } else if (const unsigned char byte = rtf::cp1251ByteFor(unit); byte != 0) {
            out += QByteArray("\\'") + QByteArray::number(byte, 16).rightJustified(2, '0');
        } else {
            out += "\\u" + QByteArray::number(qint16(unit)) + '?';
        }
    }
    return out;
}

const QByteArray plainHeader =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{"
    "\\*\\fname Arial;}Arial CYR;}}\r\n\\viewkind4\\uc1\\pard\\lang1049"
    "\\f0\\fs20 ";

QByteArray shortEntry(Maker &maker, const QString &name)
{
    QByteArray rtf = plainHeader;
    rtf += escaped(QStringLiteral("http://") + maker.domain() + QLatin1Char('/') +
                   maker.pick(latinWords) + QStringLiteral("/index.html"));
    rtf += "\r\n\\par ";
    rtf += escaped(name);
    const int lines = maker.number(1, 3);
    for (int i = 0; i < lines; ++i) {
        rtf += "\r\n\\par ";
        rtf += escaped(maker.sentence(maker.number(6, 20)));
    }
    rtf += "\r\n\\par }\r\n";
    return rtf;
}

// Bold, italic and coloured runs of mixed Latin and Cyrillic text, paragraph after
// paragraph until the file reaches the size asked for.
QByteArray formattedEntry(Maker &maker, qsizetype size)
{
    QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204{\\*\\fname "
        "Arial;}Arial CYR;}}\r\n{\\colortbl ;\\red192\\green0\\blue0;\\red0\\green128"
        "\\blue0;\\red0\\green0\\blue192;}\r\n\\viewkind4\\uc1\\pard\\lang1049\\f0\\fs20 ";
    while (rtf.size() < size) {
        const int runs = maker.number(3, 8);
        for (int r = 0; r < runs; ++r) {
            const QByteArray text = escaped(maker.sentence(maker.number(4, 16))) + ' ';
            switch (maker.number(0, 4)) {
            case 0:
                rtf += "\\b " + text + "\\b0 ";
                break;
            case 1:
                rtf += "\\i " + text + "\\i0 ";
                break;
            case 2:
                rtf += "\\cf" + QByteArray::number(maker.number(1, 3)) + ' ' + text + "\\cf0 ";
                break;
            default:
                rtf += text;
                break;
            }
        }
        rtf += "\r\n\\par ";
    }
    rtf += "}\r\n";
    return rtf;
}

QByteArray htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

// Folders a few levels deep, each holding a run of bookmarks before its subfolders.
QByteArray bookmarkFile(Maker &maker, long count)
{
    QByteArray html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                      "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks Menu</H1>\n\n<DL><p>\n";
    int depth = 1;
    for (long i = 0; i < count; ++i) {
        if (i % 50 == 0 && depth < 4 && maker.chance(60)) {
            html += QByteArray(4 * depth, ' ') + "<DT><H3 ADD_DATE=\"1600000000\">" +
                    htmlEscaped(maker.capitalized(maker.pick(latinWords))) + "</H3>\n" +
                    QByteArray(4 * depth, ' ') + "<DL><p>\n";
            ++depth;
        } else if (i % 50 == 0 && depth > 1) {
            --depth;
            html += QByteArray(4 * depth, ' ') + "</DL><p>\n";
        }
        const QByteArray indent(4 * depth, ' ');
        html += indent + "<DT><A HREF=\"https://" + htmlEscaped(maker.domain()) + '/' +
                htmlEscaped(maker.pick(latinWords)) + '/' + QByteArray::number(qlonglong(i)) +
                "\" ADD_DATE=\"" + QByteArray::number(1500000000 + maker.number(0, 200000000)) + '"';
        if (maker.chance(20))
            html += " ICON=\"data:image/png;base64," + QByteArray(maker.number(200, 1200), 'A') + '"';
        html += '>' + htmlEscaped(maker.name()) + "</A>\n";
        if (maker.chance(50))
            html += indent + "<DD>" + htmlEscaped(maker.sentence(maker.number(6, 30))) + '\n';
    }
    for (; depth > 1; --depth)
        html += QByteArray(4 * (depth - 1), ' ') + "</DL><p>\n";
    return html + "</DL><p>\n";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "sitebook-bench-data: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--bookmarks") == 0) {
        Maker maker(20261207);
        return writeFile(QFile::decodeName(argv[2]),
                         bookmarkFile(maker, std::strtol(argv[3], nullptr, 10)))
                   ? 0
                   : 1;
    }
    if (argc != 3) {
        std::fputs("usage: sitebook-bench-data FOLDER COUNT\n"
                   "       sitebook-bench-data --bookmarks FILE COUNT\n",
                   stderr);
        return 2;
    }
    const QString list = QFile::decodeName(argv[1]) + QStringLiteral("/List");
    const long count = std::strtol(argv[2], nullptr, 10);
    if (count < 0 || count == 1 || !QDir().mkpath(list)) {
        std::fprintf(stderr, "sitebook-bench-data: cannot make %s with %s entries\n",
                     qPrintable(list), argv[2]);
        return 1;
    }
    if (count == 0)
        return 0;

    Maker maker(20261206);
    if (!writeFile(list + QLatin1Char('/') + benchdata::longEntry10k(),
                   formattedEntry(maker, 10 * 1024)) ||
        !writeFile(list + QLatin1Char('/') + benchdata::longEntry1m(),
                   formattedEntry(maker, 1024 * 1024)))
        return 1;
    std::unordered_set<QString> names{benchdata::longEntry10k(), benchdata::longEntry1m()};
    while (long(names.size()) < count) {
        const QString base = maker.name();
        QString name = base;
        for (int n = 2; names.count(name) != 0; ++n)
            name = base + QStringLiteral(" (%1)").arg(n);
        names.insert(name);
        if (!writeFile(list + QLatin1Char('/') + name, shortEntry(maker, name)))
            return 1;
    }
    return 0;
}
