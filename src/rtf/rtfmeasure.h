#pragma once

#include <QString>

#include <string_view>

namespace rtf {

// What a document read from RTF would hold, found without building it: reading alone
// is many times faster than filling a document, so a caller can refuse or prepare
// before it starts.
struct Measure {
    qsizetype characters = 0;
    qsizetype paragraphs = 0;
    bool unbreakable = false; // a word too long to wrap at word boundaries

    // Past these a document is not notes about a web site, and Qt would take many
    // seconds to lay it out.
    static constexpr qsizetype kMaxCharacters = 2'000'000;
    static constexpr qsizetype kMaxParagraphs = 200'000;
    // Far longer than any real word or web address.
    static constexpr qsizetype kLongestWord = 2000;

    bool tooLarge() const { return characters > kMaxCharacters || paragraphs > kMaxParagraphs; }
    // Why a document too large to show is refused, in words for the user.
    static QString refusal();
};

Measure measure(std::string_view data);

} // namespace rtf
