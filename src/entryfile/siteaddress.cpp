#include "entryfile/siteaddress.h"

#include "entryfile/entryfile.h"

#include <QRegularExpression>

namespace entryfile {

QString withoutTrailingPunctuation(QString address)
{
    constexpr QStringView opening = u"([{";
    constexpr QStringView closing = u")]}";
    // Closing brackets not matched by opening ones, per kind: counted once, so that even
    // a hostile run of brackets costs one pass.
    qsizetype unmatched[3] = {};
    for (const QChar c : std::as_const(address)) {
        if (const qsizetype closes = closing.indexOf(c); closes >= 0)
            ++unmatched[closes];
        else if (const qsizetype opens = opening.indexOf(c); opens >= 0)
            --unmatched[opens];
    }
    while (!address.isEmpty()) {
        const qsizetype kind = closing.indexOf(address.back());
        if (kind >= 0 ? unmatched[kind]-- <= 0 : !QStringView(u".,;:!?'").contains(address.back()))
            break;
        address.chop(1);
    }
    return address;
}

bool isSiteAddress(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto"))
        return !url.path().isEmpty();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
            scheme == QLatin1String("ftp")) &&
           !url.host().isEmpty();
}

QString firstSiteAddress(const QString &plainText)
{
    static const QRegularExpression written(
        QStringLiteral(R"((?:https?://|ftp://|mailto:)[^\s<>"]+)"),
        QRegularExpression::CaseInsensitiveOption);
    auto matches = written.globalMatch(plainText);
    while (matches.hasNext()) {
        const QString address = withoutTrailingPunctuation(matches.next().captured());
        if (isSiteAddress(QUrl(address)))
            return address;
    }
    return QString();
}

QString spelledAddress(const QUrl &url)
{
    return url.toString(QUrl::EncodeSpaces);
}

QString siteName(const QString &title, const QUrl &address)
{
    for (const QString &candidate :
         {title, address.host().isEmpty() ? address.path() : address.host(), address.toString()}) {
        if (QString name = mendedName(candidate); !name.isEmpty())
            return name;
    }
    return QString();
}

QString addressKey(const QString &address)
{
    // Cut as firstSiteAddress() cuts it from text, so an address keeps its key once
    // written into an entry.
    QUrl url(withoutTrailingPunctuation(address));
    if (url.path().isEmpty() && !url.host().isEmpty())
        url.setPath(QStringLiteral("/"));
    return url.toString(QUrl::FullyEncoded);
}

} // namespace entryfile
