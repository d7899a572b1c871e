#include "bookmarks/bookmarks.h"

#include "entryfile/entryfile.h"
#include "entryfile/siteaddress.h"
#include "rtf/rtfdefaults.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextDocument>

#include <climits>

namespace bookmarks {
namespace {

// Entries made per call of createMany: one flush to the disk for each batch, and the
// entries' bytes in memory for one batch at a time.
constexpr std::size_t kBatch = 1000;

QString siteAddressOf(const QString &path, qsizetype &unreadable)
{
    QByteArray bytes;
    if (!entryfile::read(path, bytes)) {
        ++unreadable;
        return QString();
    }
    return entryfile::firstSiteAddress(
        rtf::toPlainText(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
}

// The entry's text: the address, the description, the folder and the date, each
// starting a paragraph, in the entry font and the form the program saves.
QByteArray entryBytes(QTextDocument &document, const QString &address, const Bookmark &bookmark,
                      const QString &folder)
{
    QStringList lines{address};
    if (!bookmark.description.isEmpty())
        lines << bookmark.description;
    if (!folder.isEmpty())
        lines << QStringLiteral("Folder: ") + folder;
    if (bookmark.added > 0)
        lines << QStringLiteral("Added: ") + QDateTime::fromSecsSinceEpoch(bookmark.added, Qt::UTC)
                                                 .date()
                                                 .toString(Qt::ISODate);
    document.setPlainText(lines.join(QLatin1Char('\n')));
    return rtf::write(document);
}

} // namespace

void TakenNames::add(const QString &name)
{
    m_taken.insert(name.normalized(QString::NormalizationForm_C));
}

QString TakenNames::claim(const QString &name)
{
    const QString key = name.normalized(QString::NormalizationForm_C);
    if (!m_taken.contains(key)) {
        m_taken.insert(key);
        return name;
    }
    // Counting on from the last number given to this name keeps a file of a thousand
    // "Home" bookmarks from trying every number again for each.
    int &number = m_nextNumber[key];
    for (number = qMax(number, 2);; ++number) {
        const QString suffix = QStringLiteral(" (%1)").arg(number);
        const QString candidate =
            entryfile::cutName(name, NAME_MAX - suffix.size()).trimmed() + suffix;
        const QString candidateKey = candidate.normalized(QString::NormalizationForm_C);
        if (!m_taken.contains(candidateKey)) {
            m_taken.insert(candidateKey);
            ++number;
            return candidate;
        }
    }
}

ImportSummary importInto(const QString &listFolder, const BookmarkFile &file,
                         const Progress &progress)
{
    ImportSummary summary;
    const QDir folder(listFolder);
    TakenNames taken;
    for (const QString &name :
         folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        taken.add(name);
    QSet<QString> addresses;
    for (const QString &name : folder.entryList(QDir::Files)) {
        if (const QString address = siteAddressOf(folder.filePath(name), summary.unreadable);
            !address.isEmpty())
            addresses.insert(entryfile::addressKey(address));
    }

    QTextDocument document;
    document.setDefaultFont(rtf::entryFont());
    std::vector<entryfile::NewEntry> batch;
    const auto writeBatch = [&] {
        const std::vector<Status> results = entryfile::createMany(listFolder, batch);
        for (const Status &result : results) {
            if (result)
                ++summary.imported;
            else
                summary.failures << result.message();
        }
        batch.clear();
    };
    const qsizetype total = qsizetype(file.bookmarks.size());
    for (qsizetype i = 0; i < total; ++i) {
        const Bookmark &bookmark = file.bookmarks[std::size_t(i)];
        const QUrl url(bookmark.address);
        if (!entryfile::isSiteAddress(url)) {
            ++summary.otherSchemes;
            continue;
        }
        const QString address = entryfile::spelledAddress(url);
        if (addresses.contains(entryfile::addressKey(address))) {
            ++summary.duplicates;
            continue;
        }
        addresses.insert(entryfile::addressKey(address));
        batch.push_back(
            {taken.claim(entryfile::siteName(bookmark.title, url)),
             entryBytes(document, address, bookmark, file.folderPath(bookmark.folder))});
        if (batch.size() == kBatch && i + 1 < total) {
            writeBatch();
            if (progress)
                progress(i + 1, total);
        }
    }
    writeBatch();
    if (progress)
        progress(total, total);
    return summary;
}

QByteArray exportList(const QString &listFolder, ExportSummary &summary)
{
    const QDir folder(listFolder);
    std::vector<Bookmark> bookmarks;
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        QByteArray bytes;
        if (const Status read = entryfile::read(folder.filePath(name), bytes); !read) {
            summary.failures << read.message();
            continue;
        }
        QString text =
            rtf::toPlainText(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        const QString address = entryfile::firstSiteAddress(text);
        if (address.isEmpty()) {
            ++summary.withoutAddress;
            continue;
        }
        text.remove(text.indexOf(address), address.size());
        QStringList rest;
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            if (const QString kept = line.trimmed(); !kept.isEmpty())
                rest << kept;
        }
        bookmarks.push_back({name, address, rest.join(QLatin1Char('\n'))});
    }
    summary.exported = qsizetype(bookmarks.size());
    return write(bookmarks);
}

} // namespace bookmarks
