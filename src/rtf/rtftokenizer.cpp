#include "rtf/rtftokenizer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

namespace rtf {

namespace {

constexpr std::array<bool, 256> makeStopTable()
{
    std::array<bool, 256> t{};
    t['\\'] = t['{'] = t['}'] = t['\r'] = t['\n'] = t['\0'] = true;
    return t;
}
constexpr std::array<bool, 256> kStop = makeStopTable();
constexpr size_t kMaxCopiedRun = 64 * 1024;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

Token Tokenizer::next()
{
    Token t;
    for (;;) {
        if (m_p == m_end)
            return t;
        const unsigned char c = static_cast<unsigned char>(*m_p);
        if (c == '\r' || c == '\n' || c == '\0') {
            ++m_p;
            continue;
        }
        if (c == '{') {
            ++m_p;
            t.type = TokenType::Open;
            return t;
        }
        if (c == '}') {
            ++m_p;
            t.type = TokenType::Close;
            return t;
        }
        if (c == '\\' && escapedByte(m_p) < 0)
            return control();
        return textRun();
    }
}

int Tokenizer::escapedByte(const char *p) const
{
    if (m_end - p < 2)
        return -1;
    const char c = p[1];
    if (c == '\\' || c == '{' || c == '}')
        return static_cast<unsigned char>(c);
    if (c != '\'' || m_end - p < 4)
        return -1;
    const int high = hexValue(p[2]);
    const int low = hexValue(p[3]);
    if (high < 0 || low < 0)
        return -1;
    const int byte = high * 16 + low;
    return byte == '\r' || byte == '\n' ? -1 : byte;
}

Token Tokenizer::textRun()
{
    Token t;
    t.type = TokenType::Text;
    const char *first = nullptr;
    size_t firstLength = 0;
    bool copied = false;
    const auto copy = [&] {
        if (!copied)
            m_buffer.assign(first != nullptr ? first : "", firstLength);
        copied = true;
    };
    // A run that must be copied is handed out in parts, so that a file of escapes holds
    // no second copy of itself.
    while (m_p != m_end && !(copied && m_buffer.size() >= kMaxCopiedRun)) {
        const unsigned char c = static_cast<unsigned char>(*m_p);
        if (c == '\r' || c == '\n' || c == '\0') {
            ++m_p;
            continue;
        }
        if (c == '{' || c == '}')
            break;
        if (c == '\\') {
            const int byte = escapedByte(m_p);
            if (byte < 0)
                break;
            copy();
            m_buffer.push_back(static_cast<char>(byte));
            m_p += m_p[1] == '\'' ? 4 : 2;
            continue;
        }
        const char *start = m_p;
        while (m_p != m_end && !kStop[static_cast<unsigned char>(*m_p)])
            ++m_p;
        const size_t length = static_cast<size_t>(m_p - start);
        if (!copied && first == nullptr) {
            first = start;
            firstLength = length;
        } else {
            copy();
            m_buffer.append(start, length);
        }
    }
    t.text = copied ? std::string_view(m_buffer) : std::string_view(first, firstLength);
    return t;
}

Token Tokenizer::control()
{
    Token t;
    ++m_p; // the backslash
    if (m_p == m_end)
        return t;
    if (isLetter(*m_p)) {
        const char *start = m_p;
        while (m_p != m_end && isLetter(*m_p))
            ++m_p;
        t.type = TokenType::Word;
        t.text = std::string_view(start, static_cast<size_t>(m_p - start));
        bool negative = false;
        if (m_p != m_end && *m_p == '-' && m_p + 1 != m_end && isDigit(m_p[1])) {
            negative = true;
            ++m_p;
        }
        if (m_p != m_end && isDigit(*m_p)) {
            int64_t value = 0;
            while (m_p != m_end && isDigit(*m_p)) {
                // Absurd numbers saturate rather than wrap.
                value = std::min<int64_t>(value * 10 + (*m_p - '0'), int64_t{1} << 32);
                ++m_p;
            }
            if (negative)
                value = -value;
            t.param = static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
            t.hasParam = true;
        }
        if (m_p != m_end && *m_p == ' ')
            ++m_p;
        if (t.text == "bin") {
            // The data may hold any byte, braces and backslashes included.
            const size_t left = static_cast<size_t>(m_end - m_p);
            const size_t length =
                t.param > 0 ? std::min(left, static_cast<size_t>(t.param)) : size_t{0};
            t.type = TokenType::Binary;
            t.text = std::string_view(m_p, length);
            m_p += length;
        }
        return t;
    }
    const char c = *m_p++;
    if (c == '\r' || c == '\n') {
        t.type = TokenType::ParBreak;
        return t;
    }
    if (c == '\'') {
        const int high = m_p != m_end ? hexValue(*m_p) : -1;
        if (high < 0) {
            t.type = TokenType::Symbol;
            t.symbol = '\'';
            return t;
        }
        ++m_p;
        if (m_p == m_end)
            return t; // cut off inside the escape: nothing to show
        const int low = hexValue(*m_p);
        t.type = TokenType::Hex;
        if (low < 0) {
            // A digit and junk read as 0-digit, the junk eaten, as Word and LibreOffice do.
            t.byte = static_cast<unsigned char>(high);
            if (m_p != m_end && *m_p != '\\' && *m_p != '{' && *m_p != '}')
                ++m_p;
        } else {
            ++m_p;
            t.byte = static_cast<unsigned char>(high * 16 + low);
        }
        return t;
    }
    t.type = TokenType::Symbol;
    t.symbol = c;
    return t;
}

} // namespace rtf
