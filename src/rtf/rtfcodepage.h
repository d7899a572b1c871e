#pragma once

#include <QString>

#include <array>
#include <string_view>

// Byte-to-Unicode decoding for the code pages RTF files name through \ansicpg,
// \cpg and \fcharset. Single-byte pages become a 256-entry table built once;
// double-byte pages (and UTF-8) are converted run by run through iconv.
namespace rtf {

// The code page a \fcharsetN stands for; 0 when the charset has none of its own
// (charset 1, DEFAULT_CHARSET, and unknown values), so the caller falls back to \ansicpg.
int codePageForCharset(int charset);

class CodePageDecoder {
public:
    // A decoder for the code page, or for cp1252 when the page is unknown to the system.
    static const CodePageDecoder &forCodePage(int codePage);

    // Appends the decoded bytes to out. Undecodable bytes become U+FFFD.
    void decode(std::string_view bytes, QString &out) const;
    // Whether a character may take more than one byte (double-byte pages and UTF-8).
    bool isMultiByte() const { return m_multiByte; }

    CodePageDecoder(int codePage, const char *iconvName, bool multiByte);
    ~CodePageDecoder();

private:
    Q_DISABLE_COPY_MOVE(CodePageDecoder)

    void decodeMultiByte(std::string_view bytes, QString &out) const;

    int m_codePage;
    bool m_multiByte;
    void *m_iconv = nullptr; // iconv_t, opened once for multi-byte pages
    std::array<char16_t, 256> m_table{};
};

// The cp1251 byte for a character, or 0 when cp1251 has none (characters below
// 128 map to themselves).
unsigned char cp1251ByteFor(char16_t ch);

} // namespace rtf
