#include "controls/filelist/filelistmodel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <numeric>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcFileList, "sitebook.filelist", QtInfoMsg)

namespace {

// Directory timestamps are only as fine as the file system keeps them (two seconds on
// FAT). A listing read this soon after the folder last changed may have missed a
// change made in the same tick, so it is never trusted, as git treats racy entries.
constexpr qint64 TimestampGranularityNs = 2'000'000'000;

qint64 nanoseconds(const timespec &t)
{
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

Status folderFailure(const QString &path, int error)
{
    return Status::failure(
        QStringLiteral("Cannot read the folder \"%1\": %2").arg(path, qt_error_string(error)));
}

qsizetype nextCodePoint(QStringView text, qsizetype at)
{
    if (at + 1 < text.size() && text[at].isHighSurrogate() && text[at + 1].isLowSurrogate())
        return at + 2;
    return at + 1;
}

qsizetype codePointCount(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype at = 0; at < text.size(); at = nextCodePoint(text, at))
        ++count;
    return count;
}

// Names are matched and sorted in a folded form: letter case ignored, and composed and
// decomposed characters alike, since macOS and some copy tools write "é" as "e" and a
// combining accent, and the user types it composed. Names themselves stay as on disk.
QString foldName(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

// Most names are plain ASCII: those are copied and folded straight into the buffers,
// sparing two string allocations per name; any other name goes through Qt's decoding
// and folding. A name whose bytes do not survive decoding (not valid UTF-8) is left
// out: the program could only show it garbled and address some other path with it.
bool appendName(QString &names, QString &folded, const char *encoded)
{
    const std::size_t length = std::strlen(encoded);
    const bool ascii = std::all_of(encoded, encoded + length,
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        const QByteArrayView raw(encoded, qsizetype(length));
        QString name = QFile::decodeName(raw.toByteArray());
        if (QFile::encodeName(name) != raw)
            return false;
        names += name;
        folded += foldName(name);
        return true;
    }
    names += QLatin1StringView(encoded, qsizetype(length));
    const qsizetype start = folded.size();
    folded.resize(start + qsizetype(length));
    QChar *out = folded.data() + start;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = encoded[i];
        out[i] = QLatin1Char(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
    }
    return true;
}

} // namespace

NamePattern::NamePattern(const QString &pattern)
{
    const QString folded = foldName(pattern);
    m_hasStar = folded.contains(u'*');
    bool allEmpty = true;
    for (QStringView piece : QStringView(folded).split(u'*')) {
        Run run;
        run.text = piece.toString();
        run.hasQuestionMark = piece.contains(u'?');
        run.codePoints = codePointCount(piece);
        allEmpty = allEmpty && piece.isEmpty();
        m_runs.push_back(std::move(run));
    }
    // An empty pattern shows the whole folder, like "*" and the "**" of an empty search.
    m_matchesAll = allEmpty;

    int nonEmptyRuns = 0;
    bool anyQuestionMark = false;
    for (const Run &run : m_runs) {
        if (run.text.isEmpty())
            continue;
        ++nonEmptyRuns;
        anyQuestionMark = anyQuestionMark || run.hasQuestionMark;
        for (QStringView piece : QStringView(run.text).split(u'?')) {
            if (piece.size() > m_required.size())
                m_required = piece.toString();
        }
    }
    m_matchesByContaining = nonEmptyRuns == 1 && !anyQuestionMark &&
                            m_runs.front().text.isEmpty() && m_runs.back().text.isEmpty();
}

qsizetype NamePattern::matchRunAt(const Run &run, QStringView name, qsizetype at)
{
    if (!run.hasQuestionMark) {
        if (name.size() - at < run.text.size() || name.sliced(at, run.text.size()) != run.text)
            return -1;
        return at + run.text.size();
    }
    for (const QChar c : run.text) {
        if (at >= name.size())
            return -1;
        if (c == u'?') {
            at = nextCodePoint(name, at);
        } else {
            if (name[at] != c)
                return -1;
            ++at;
        }
    }
    return at;
}

qsizetype NamePattern::findRun(const Run &run, QStringView name, qsizetype from)
{
    if (!run.hasQuestionMark) {
        const qsizetype found = name.indexOf(run.text, from);
        return found < 0 ? -1 : found + run.text.size();
    }
    for (qsizetype at = from; at < name.size(); at = nextCodePoint(name, at)) {
        const qsizetype end = matchRunAt(run, name, at);
        if (end >= 0)
            return end;
    }
    return -1;
}

bool NamePattern::matches(QStringView foldedName) const
{
    if (m_matchesAll)
        return true;
    if (!m_hasStar)
        return matchRunAt(m_runs.front(), foldedName, 0) == foldedName.size();

    // Between stars the leftmost match of each run is the one that leaves the most room
    // for the runs after it, so no backtracking is needed.
    qsizetype at = matchRunAt(m_runs.front(), foldedName, 0);
    if (at < 0)
        return false;
    for (std::size_t i = 1; i + 1 < m_runs.size(); ++i) {
        if (m_runs[i].text.isEmpty())
            continue;
        at = findRun(m_runs[i], foldedName, at);
        if (at < 0)
            return false;
    }

    const Run &last = m_runs.back();
    qsizetype start = foldedName.size();
    for (qsizetype i = 0; i < last.codePoints; ++i) {
        if (start <= at)
            return false;
        --start;
        if (start > at && foldedName[start].isLowSurrogate() &&
            foldedName[start - 1].isHighSurrogate())
            --start;
    }
    return start >= at && matchRunAt(last, foldedName, start) == foldedName.size();
}

bool FileListModel::lessThan(const Listing &listing, quint32 entry, QStringView folded,
                             QStringView name)
{
    // Names differing only in case ("News", "news") still need a fixed order; a folder
    // never holds the same name twice, so this order is total.
    const int byFolded = listing.foldedName(entry).compare(folded);
    if (byFolded != 0)
        return byFolded < 0;
    return listing.name(entry).compare(name) < 0;
}

QStringView FileListModel::Listing::name(quint32 i) const
{
    return QStringView(names).sliced(nameStart[i], nameStart[i + 1] - nameStart[i]);
}

QStringView FileListModel::Listing::foldedName(quint32 i) const
{
    return QStringView(folded).sliced(foldedStart[i], foldedStart[i + 1] - foldedStart[i]);
}

FileListModel::FileListModel(QObject *parent) : QAbstractListModel(parent) {}

FileListModel::~FileListModel() = default;

// The view asks for the index of every row each time it lays the list out; answering
// without the base class's round of virtual calls matters with 100,000 rows.
QModelIndex FileListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || std::size_t(row) >= m_rows.size() || column != 0 || parent.isValid())
        return QModelIndex();
    return createIndex(row, 0);
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    return nameAt(index.row());
}

QString FileListModel::nameAt(int row) const
{
    if (row < 0 || std::size_t(row) >= m_rows.size())
        return QString();
    return m_listing.name(m_rows[row]).toString();
}

int FileListModel::rowOf(const QString &name) const
{
    const QString folded = foldName(name);
    const auto it =
        std::lower_bound(m_rows.begin(), m_rows.end(), name, [&](quint32 entry, const QString &) {
            return lessThan(m_listing, entry, folded, name);
        });
    if (it == m_rows.end() || m_listing.name(*it) != name)
        return -1;
    return int(it - m_rows.begin());
}

Status FileListModel::readFolder(const QString &path, Listing &listing)
{
    QElapsedTimer clock;
    clock.start();
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    listing.readAtNs = nanoseconds(now);

    const QByteArray encodedPath = QFile::encodeName(path);
    const int folder = ::open(encodedPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return folderFailure(path, errno);
    // The stamp is taken from the folder actually opened, before its first entry is read,
    // so any change made while reading moves the folder's times past it.
    struct stat info {};
    if (fstat(folder, &info) != 0) {
        const int error = errno;
        ::close(folder);
        return folderFailure(path, error);
    }
    listing.stamp = {quint64(info.st_dev), quint64(info.st_ino), nanoseconds(info.st_mtim),
                     nanoseconds(info.st_ctim)};

    DIR *dir = fdopendir(folder);
    if (dir == nullptr) {
        const int error = errno;
        ::close(folder);
        return folderFailure(path, error);
    }

    // A folder's size on disk is roughly the length of its names (exactly so on ext4 and
    // btrfs, less on tmpfs), so it makes a fair first guess that spares most of the
    // copying of growing buffers; unused room is given back below.
    const qsizetype sizeHint = std::clamp<qsizetype>(info.st_size, 0, 64 << 20);
    listing.names.reserve(sizeHint);
    listing.folded.reserve(sizeHint);

    constexpr qsizetype MaxBuffer = std::numeric_limits<quint32>::max();
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (entry == nullptr) {
            error = errno;
            break;
        }
        if (entry->d_name[0] == '.')
            continue;
        bool regular = false;
        switch (entry->d_type) {
        case DT_REG:
            regular = true;
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            // Only links and file systems that do not give the type cost a stat; it
            // follows the link, so a link to a regular file is shown and a dangling one
            // is not.
            struct stat target {};
            regular =
                fstatat(dirfd(dir), entry->d_name, &target, 0) == 0 && S_ISREG(target.st_mode);
            break;
        }
        default:
            break;
        }
        if (!regular || !appendName(listing.names, listing.folded, entry->d_name))
            continue;
        if (listing.names.size() >= MaxBuffer || listing.folded.size() >= MaxBuffer) {
            error = EOVERFLOW;
            break;
        }
        listing.nameStart.push_back(quint32(listing.names.size()));
        listing.foldedStart.push_back(quint32(listing.folded.size()));
    }
    closedir(dir);
    if (error != 0)
        return folderFailure(path, error);

    listing.names.squeeze();
    listing.folded.squeeze();
    listing.nameStart.shrink_to_fit();
    listing.foldedStart.shrink_to_fit();
    const qint64 readNs = clock.nsecsElapsed();
    sortListing(listing);
    qCDebug(lcFileList, "read %u names of \"%s\" in %.1f ms, sorted in %.1f ms", listing.size(),
            qUtf8Printable(path), readNs / 1e6, (clock.nsecsElapsed() - readNs) / 1e6);
    return Status::success();
}

struct FileListModel::SortItem {
    quint64 high;
    quint64 low;
    quint32 entry;
};

void FileListModel::sortListing(Listing &listing)
{
    // Folded code-unit order rather than QCollator: it sorts a folder of 100,000 names
    // several times faster, and case-insensitive alphabetical order is all the list needs.
    std::vector<SortItem> items(listing.size());
    for (quint32 i = 0; i < listing.size(); ++i)
        items[i].entry = i;
    sortByUnits(listing, items.data(), items.data() + items.size(), 0);
    listing.order.resize(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        listing.order[i] = items[i].entry;
}

// Sorts by eight folded code units at a time, packed into two integers, so that most
// comparisons never touch the names; only runs that tie on these units go a level deeper.
// Names that share many first letters ("www.", "news ") are common in real lists.
void FileListModel::sortByUnits(const Listing &listing, SortItem *begin, SortItem *end,
                                qsizetype offset)
{
    constexpr qsizetype UnitsPerKey = 8;
    bool longer = false;
    for (SortItem *item = begin; item != end; ++item) {
        const QStringView folded = listing.foldedName(item->entry);
        quint64 key[2] = {0, 0};
        const qsizetype last = std::min(folded.size(), offset + UnitsPerKey);
        for (qsizetype u = offset; u < last; ++u)
            key[(u - offset) / 4] |= quint64(folded[u].unicode()) << (48 - 16 * ((u - offset) % 4));
        item->high = key[0];
        item->low = key[1];
        longer = longer || folded.size() > offset + UnitsPerKey;
    }
    std::sort(begin, end, [](const SortItem &a, const SortItem &b) {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    });
    for (SortItem *run = begin; run != end;) {
        SortItem *runEnd = run + 1;
        while (runEnd != end && runEnd->high == run->high && runEnd->low == run->low)
            ++runEnd;
        if (runEnd - run > 1) {
            if (longer) {
                sortByUnits(listing, run, runEnd, offset + UnitsPerKey);
            } else {
                // The folded names are equal: they differ only in letter case.
                std::sort(run, runEnd, [&](const SortItem &a, const SortItem &b) {
                    return listing.name(a.entry).compare(listing.name(b.entry)) < 0;
                });
            }
        }
        run = runEnd;
    }
}

bool FileListModel::listingStillValid() const
{
    if (!m_haveListing)
        return false;
    struct stat info {};
    if (stat(QFile::encodeName(m_path).constData(), &info) != 0)
        return false;
    const FolderStamp &stamp = m_listing.stamp;
    // The change time is compared too: it cannot be set back by hand, so a change whose
    // modification time was restored afterwards (an archive unpacked over the folder)
    // still shows.
    return stamp.device == quint64(info.st_dev) && stamp.inode == quint64(info.st_ino) &&
           stamp.modifiedNs == nanoseconds(info.st_mtim) &&
           stamp.changedNs == nanoseconds(info.st_ctim) &&
           m_listing.readAtNs - stamp.modifiedNs > TimestampGranularityNs;
}

std::vector<quint32> FileListModel::matchingRows(const NamePattern &pattern) const
{
    if (pattern.matchesAll())
        return m_listing.order;
    const quint32 count = m_listing.size();
    std::vector<bool> hit(count);
    if (const QStringView text = pattern.requiredText(); !text.isEmpty()) {
        // The text every match contains is looked for in the whole folded buffer in one
        // go, several times faster than a search per name; a find that runs over the end
        // of a name into the next is no find. Only the names found are then matched in
        // full, and for a plain-text search there is nothing more to do.
        const QStringView folded(m_listing.folded);
        const std::vector<quint32> &start = m_listing.foldedStart;
        const bool confirm = !pattern.matchesByContaining();
        quint32 entry = 0;
        for (qsizetype at = folded.indexOf(text); at >= 0; at = folded.indexOf(text, at)) {
            while (start[entry + 1] <= at)
                ++entry;
            if (at + text.size() <= start[entry + 1]) {
                hit[entry] = !confirm || pattern.matches(m_listing.foldedName(entry));
                at = start[entry + 1];
            } else {
                ++at;
            }
        }
    } else {
        // In folder order the folded buffer is read front to back.
        for (quint32 i = 0; i < count; ++i)
            hit[i] = pattern.matches(m_listing.foldedName(i));
    }
    std::vector<quint32> rows;
    for (const quint32 entry : m_listing.order) {
        if (hit[entry])
            rows.push_back(entry);
    }
    return rows;
}

Status FileListModel::setPath(const QString &path)
{
    Listing fresh;
    if (Status status = readFolder(path, fresh); !status)
        return status;
    ++m_readCount;
    beginResetModel();
    m_path = path;
    m_listing = std::move(fresh);
    m_haveListing = true;
    m_rows = matchingRows(m_pattern);
    endResetModel();
    return Status::success();
}

Status FileListModel::setPattern(const QString &pattern, bool mayRead)
{
    NamePattern compiled(pattern);
    Listing fresh;
    const bool reread = mayRead && !m_path.isEmpty() && !listingStillValid();
    if (reread) {
        if (Status status = readFolder(m_path, fresh); !status)
            return status;
        ++m_readCount;
    }
    beginResetModel();
    if (reread) {
        m_listing = std::move(fresh);
        m_haveListing = true;
    }
    m_pattern = std::move(compiled);
    m_patternText = pattern;
    m_rows = matchingRows(m_pattern);
    endResetModel();
    return Status::success();
}

Status FileListModel::refresh()
{
    if (m_path.isEmpty())
        return Status::success();
    return setPath(m_path);
}

QFuture<FileListModel::Reading> FileListModel::readInBackground(const QString &path)
{
    return QtConcurrent::run([path] {
        Reading reading;
        reading.path = path;
        reading.status = readFolder(path, reading.listing);
        return reading;
    });
}

bool FileListModel::takeListing(Listing &&fresh)
{
    ++m_readCount;
    // A read that began before the one whose names are shown has nothing newer to tell.
    if (m_haveListing && fresh.readAtNs < m_listing.readAtNs)
        return false;
    if (m_haveListing && fresh.names == m_listing.names && fresh.nameStart == m_listing.nameStart) {
        // The same names in the same order: the rows stand, and the view is left alone.
        m_listing.stamp = fresh.stamp;
        m_listing.readAtNs = fresh.readAtNs;
        return false;
    }
    beginResetModel();
    m_listing = std::move(fresh);
    m_haveListing = true;
    m_rows = matchingRows(m_pattern);
    endResetModel();
    return true;
}

qint64 FileListModel::msUntilTrustworthy() const
{
    if (!m_haveListing || m_listing.readAtNs - m_listing.stamp.modifiedNs > TimestampGranularityNs)
        return -1;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // A folder time in the future (a clock set wrong) is waited for no longer than the
    // granularity itself.
    const qint64 waitNs =
        std::clamp<qint64>(m_listing.stamp.modifiedNs + TimestampGranularityNs - nanoseconds(now),
                           0, TimestampGranularityNs);
    return waitNs / 1'000'000 + 10;
}
