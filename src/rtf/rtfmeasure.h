#pragma once

#include <QString>

#include <string_view>

namespace rtf {

class Sink;

// What a document read from RTF would hold, found without building it: reading alone
// is many times faster than filling a document, so a caller can refuse or prepare
// before it starts.
struct Measure {
    qsizetype characters = 0;
    qsizetype paragraphs = 0;
    bool unbreakable = false; // a word too long to wrap at word boundaries
    // An upper estimate of the document's height, in pixels, laid out in the narrowest
    // box that shows entries (kTextWidth), and of the processor time, in microseconds,
    // it takes to build, show and lay out the whole document.
    double height = 0;
    double microseconds = 0;

    // Past these a document is not notes about a web site, and Qt would take many
    // seconds to lay it out.
    static constexpr qsizetype kMaxCharacters = 2'000'000;
    static constexpr qsizetype kMaxParagraphs = 200'000;
    // Far longer than any real word or web address.
    static constexpr qsizetype kLongestWord = 2000;

    // The information pane's text width: its box of 217 pixels less the frame, the
    // scroll bar and the document's margins. The editor's box is wider.
    static constexpr double kTextWidth = 193;
    // Qt cannot lay out a document taller than 8,388,607 pixels in a text box. QTextEdit
    // gives its document a page size of (viewport width, -1) (QTextEdit's
    // relayoutDocument), and QTextDocumentLayoutPrivate::layoutFrame turns the height
    // -1 into one page QFIXED_MAX = INT_MAX / 256 = 8,388,607 pixels tall. The first
    // line whose bottom passes that page's bottom makes layoutBlock call
    // QTextLayoutStruct::newPage() in a loop that never ends, because newPage() does
    // nothing on a page of that height: the window freezes for good, whatever the
    // machine. A 9 KB file of 4,500 lines in a 1,638-point font reaches it, as do
    // 600,000 line breaks. The estimate may fall short of the real height where faces are
    // wider or taller than it allows for (see rtfmeasure.cpp), so the bound leaves a
    // margin of more than two.
    static constexpr double kMaxHeight = 4'000'000;
    // Building, showing and laying out a document costs about (in microseconds of one
    // core) 0.35 per character, 1.2 per tab, combining mark or character of other
    // scripts, 2 per change of script or font, 5 per run of equally formatted text or
    // line break, 7 per paragraph and 0.5 per line laid out. Past this a click on the
    // entry would keep the window busy for about a second.
    static constexpr double kMaxMicroseconds = 750'000;

    bool tooLarge() const
    {
        return characters > kMaxCharacters || paragraphs > kMaxParagraphs || height > kMaxHeight ||
               microseconds > kMaxMicroseconds;
    }
    // Why a document too large to show is refused, in words for the user.
    static QString refusal();
};

// Reads the document once to measure it. Given a sink, hands it what it reads in the same
// pass as long as the document stays within the limits, so that a document too large is
// never built whole.
Measure measure(std::string_view data, Sink *build = nullptr);

} // namespace rtf
