#include "rtf/rtfcodepage.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>

namespace rtf {

int codePageForCharset(int charset)
{
    switch (charset) {
    case 0:
        return 1252;
    case 2:
        return 42;
    case 77:
        return 10000;
    case 78:
        return 10001;
    case 79:
        return 10003;
    case 80:
        return 10008;
    case 81:
        return 10002;
    case 83:
        return 10005;
    case 84:
        return 10004;
    case 85:
        return 10006;
    case 86:
        return 10081;
    case 87:
        return 10021;
    case 88:
        return 10029;
    case 89:
        return 10007;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;
    }
}

namespace {

constexpr int kSymbolPage = 42;
constexpr int kUtf8Page = 65001;

struct PageName {
    const char *name;
    bool multiByte;
};

PageName iconvNameFor(int codePage)
{
    switch (codePage) {
    case 932:
    case 10001:
        return {"CP932", true}; // Mac Japanese is Shift-JIS with Apple extras
    case 936:
    case 10008:
        return {"CP936", true};
    case 949:
    case 10003:
        return {"CP949", true};
    case 950:
    case 10002:
        return {"CP950", true};
    case 1361:
        return {"JOHAB", true};
    case 437:
        return {"CP437", false};
    case 850:
        return {"CP850", false};
    case 874:
        return {"CP874", false};
    case 1250:
        return {"CP1250", false};
    case 1251:
        return {"CP1251", false};
    case 1252:
        return {"CP1252", false};
    case 1253:
        return {"CP1253", false};
    case 1254:
        return {"CP1254", false};
    case 1255:
        return {"CP1255", false};
    case 1256:
        return {"CP1256", false};
    case 1257:
        return {"CP1257", false};
    case 1258:
        return {"CP1258", false};
    case 10000:
        return {"MACINTOSH", false};
    case 10007:
        return {"MAC-CYRILLIC", false};
    case 10029:
        return {"MAC-CENTRALEUROPE", false};
    case 20866:
        return {"KOI8-R", false};
    case 21866:
        return {"KOI8-U", false};
    case 28591:
        return {"ISO-8859-1", false};
    case 28595:
        return {"ISO-8859-5", false};
    default:
        return {nullptr, false};
    }
}

// Converts one chunk with iconv into UTF-16LE; returns false on a bad or cut sequence.
bool convertOne(iconv_t cd, const char *in, size_t len, char16_t &out)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *src = const_cast<char *>(in);
    char16_t buffer[4] = {};
    char *dst = reinterpret_cast<char *>(buffer);
    size_t srcLeft = len;
    size_t dstLeft = sizeof buffer;
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0)
        return false;
    // cp1255 and cp1258 hold a base letter back for a combining mark that may follow.
    if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1) ||
        dstLeft != sizeof buffer - 2)
        return false;
    out = buffer[0];
    return true;
}

} // namespace

CodePageDecoder::CodePageDecoder(int codePage, const char *iconvName, bool multiByte)
    : m_codePage(codePage), m_multiByte(multiByte)
{
    for (int b = 0; b < 256; ++b)
        m_table[b] = static_cast<char16_t>(b);
    if (codePage == kSymbolPage) {
        // Symbol-font bytes stay as they are, except the bullet lists are made of.
        m_table[0xB7] = u'\u2022';
        return;
    }
    if (codePage == kUtf8Page || iconvName == nullptr)
        return;
    iconv_t cd = iconv_open("UTF-16LE", iconvName);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return;
    for (int b = 0x80; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        char16_t ch = 0;
        m_table[b] = convertOne(cd, &byte, 1, ch) ? ch : u'\uFFFD';
    }
    if (multiByte)
        m_iconv = cd;
    else
        iconv_close(cd);
}

CodePageDecoder::~CodePageDecoder()
{
    if (m_iconv != nullptr)
        iconv_close(static_cast<iconv_t>(m_iconv));
}

const CodePageDecoder &CodePageDecoder::forCodePage(int codePage)
{
    static QMutex mutex;
    static std::map<int, std::unique_ptr<CodePageDecoder>> cache;
    QMutexLocker lock(&mutex);
    auto it = cache.find(codePage);
    if (it != cache.end())
        return *it->second;
    const PageName name = iconvNameFor(codePage);
    if (name.name == nullptr && codePage != kSymbolPage && codePage != kUtf8Page) {
        lock.unlock();
        return forCodePage(1252);
    }
    auto decoder = std::make_unique<CodePageDecoder>(codePage, name.name,
                                                     name.multiByte || codePage == kUtf8Page);
    const CodePageDecoder &result = *decoder;
    cache.emplace(codePage, std::move(decoder));
    return result;
}

void CodePageDecoder::decode(std::string_view bytes, QString &out) const
{
    if (m_multiByte) {
        decodeMultiByte(bytes, out);
        return;
    }
    const qsizetype start = out.size();
    out.resize(start + static_cast<qsizetype>(bytes.size()));
    char16_t *dst = reinterpret_cast<char16_t *>(out.data()) + start;
    for (const char c : bytes)
        *dst++ = m_table[static_cast<unsigned char>(c)];
}

void CodePageDecoder::decodeMultiByte(std::string_view bytes, QString &out) const
{
    if (m_codePage == kUtf8Page) {
        out += QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        return;
    }
    if (m_iconv == nullptr) {
        for (const char c : bytes)
            out += QChar(m_table[static_cast<unsigned char>(c)]);
        return;
    }
    iconv_t cd = static_cast<iconv_t>(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *src = const_cast<char *>(bytes.data());
    size_t srcLeft = bytes.size();
    while (srcLeft > 0) {
        // Two bytes in give at most one UTF-16 unit out; room for a surrogate pair besides.
        const qsizetype start = out.size();
        out.resize(start + static_cast<qsizetype>(srcLeft) + 2);
        char *dst = reinterpret_cast<char *>(out.data() + start);
        size_t dstLeft = (srcLeft + 2) * sizeof(char16_t);
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.resize(static_cast<qsizetype>(reinterpret_cast<QChar *>(dst) - out.data()));
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // A bad or cut sequence: show one replacement and go on after the byte.
        out += QChar(u'\uFFFD');
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
}

unsigned char cp1251ByteFor(char16_t ch)
{
    static const std::unique_ptr<unsigned char[]> reverse = [] {
        auto table = std::make_unique<unsigned char[]>(65536);
        for (int b = 0; b < 0x80; ++b)
            table[b] = static_cast<unsigned char>(b);
        const CodePageDecoder &cp = CodePageDecoder::forCodePage(1251);
        for (int b = 0x80; b < 256; ++b) {
            QString s;
            const char byte = static_cast<char>(b);
            cp.decode(std::string_view(&byte, 1), s);
            const char16_t u = s.at(0).unicode();
            if (u != 0xFFFD)
                table[u] = static_cast<unsigned char>(b);
        }
        return table;
    }();
    return reverse[ch];
}

} // namespace rtf
