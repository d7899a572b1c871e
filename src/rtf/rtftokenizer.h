#pragma once

#include <QtGlobal>

#include <string>
#include <string_view>

// Splits RTF bytes into groups, control words and runs of text.
namespace rtf {

enum class TokenType : unsigned char {
    End,
    Open,
    Close,
    Word,     // \letters with an optional parameter
    Symbol,   // \ and one non-letter
    Text,     // a run of plain bytes (CR, LF and NUL dropped)
    Hex,      // \'hh
    Binary,   // \binN and its data
    ParBreak, // \ followed by CR or LF
};

struct Token {
    TokenType type = TokenType::End;
    std::string_view text; // the word, the run of text or the binary data
    int param = 0;
    bool hasParam = false;
    char symbol = 0;
    unsigned char byte = 0;
};

class Tokenizer {
    Q_DISABLE_COPY_MOVE(Tokenizer)

public:
    explicit Tokenizer(std::string_view data) : m_p(data.data()), m_end(data.data() + data.size())
    {
    }

    Token next();

private:
    // The byte a \'hh, \\, \{ or \} at p stands for, or -1 for other control words.
    // \'0d and \'0a are left out: they break the paragraph.
    int escapedByte(const char *p) const;
    // Text, hex escapes and escaped braces as one run of bytes: most of a
    // non-English document is \'hh, and a token per byte would cost dearly.
    Token textRun();
    Token control();

    const char *m_p;
    const char *m_end;
    std::string m_buffer;
};

} // namespace rtf
