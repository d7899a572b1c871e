#pragma once

#include <QString>
#include <QUrl>

// The address an entry is about. A site's address is a web, FTP or mail address; an
// entry's address is the first one written out in its text (a link's hidden target
// does not count), which is where the add and the import put it.
namespace entryfile {

// http, https and ftp with a host, or mailto with a recipient.
bool isSiteAddress(const QUrl &url);

// The address written at the start of this text without the sentence punctuation that
// follows it: ".,;:!?'" and closing brackets that open nowhere in the address, so
// "https://en.wikipedia.org/wiki/Bach_(composer)" keeps its own.
QString withoutTrailingPunctuation(QString address);

// The first site address in the text, as written there; empty when there is none.
QString firstSiteAddress(const QString &plainText);

// The address as an entry's text spells it: readable, with spaces and the characters
// that would end it in text percent-encoded, so firstSiteAddress() finds it whole.
QString spelledAddress(const QUrl &url);

// The name an entry for the site gets: its title mended by the name rules, or where
// nothing is left of that, its host (a mail address's recipient).
QString siteName(const QString &title, const QUrl &address);

// Two spellings of one address give the same key: scheme and host in any case,
// percent-encoding in any form, an empty path the same as "/".
QString addressKey(const QString &address);

} // namespace entryfile
