#pragma once

#include "entryfile/status.h"

#include <QAbstractListModel>
#include <QFuture>
#include <QString>
#include <QStringView>

#include <utility>
#include <vector>

// A file-name pattern: "*" any run of characters, "?" any one character, every other
// character literal. It is folded once when made and matched against names that are
// already folded, so that letter case and the composed or decomposed writing of accented
// letters are ignored without folding on every keystroke.
class NamePattern {
public:
    explicit NamePattern(const QString &pattern = QString());

    bool matchesAll() const { return m_matchesAll; }
    // Folded text that every matching name contains (the longest piece of the pattern
    // without wildcards), or an empty view. For a pattern of the form "*text*", what a
    // search for plain text gives, containing it is the same as matching.
    QStringView requiredText() const { return m_required; }
    bool matchesByContaining() const { return m_matchesByContaining; }
    bool matches(QStringView foldedName) const;

private:
    // Runs of the pattern between stars. A run without "?" is searched as plain text,
    // which is what keeps a search over a whole folder within a frame.
    struct Run {
        QString text;
        bool hasQuestionMark = false;
        qsizetype codePoints = 0;
    };

    static qsizetype matchRunAt(const Run &run, QStringView name, qsizetype at);
    static qsizetype findRun(const Run &run, QStringView name, qsizetype from);

    std::vector<Run> m_runs;
    bool m_hasStar = false;
    bool m_matchesAll = true;
    QString m_required;
    bool m_matchesByContaining = false;
};

// The names of one folder's regular files, sorted, and the rows of those that match
// the current pattern. Names and their folded forms are kept in two flat buffers
// rather than one string per name, so a folder of 100,000 names stays small.
class FileListModel : public QAbstractListModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileListModel)

public:
    explicit FileListModel(QObject *parent = nullptr);
    ~FileListModel() override;

    QModelIndex index(int row, int column = 0,
                      const QModelIndex &parent = QModelIndex()) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    Status setPath(const QString &path);
    QString path() const { return m_path; }
    // Without mayRead the names held are filtered, even when the folder changed since.
    Status setPattern(const QString &pattern, bool mayRead = true);
    QString pattern() const { return m_patternText; }
    Status refresh();

    QString nameAt(int row) const;
    // The row showing exactly this name, or -1.
    int rowOf(const QString &name) const;

    // Diagnostic: how many times a folder has been read. Tests use it to prove that an
    // unchanged folder is not read again on every keystroke.
    int readCount() const { return m_readCount; }

    struct FolderStamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
    };

    // One reading of a folder: a plain value, so it can be made away from the model.
    struct Listing {
        QString names;
        QString folded;
        // Entry i of the folder is names[nameStart[i], nameStart[i + 1]), likewise folded.
        std::vector<quint32> nameStart{0};
        std::vector<quint32> foldedStart{0};
        // Indexes of the entries in display order.
        std::vector<quint32> order;
        FolderStamp stamp;
        qint64 readAtNs = 0;

        quint32 size() const { return quint32(nameStart.size() - 1); }
        QStringView name(quint32 i) const;
        QStringView foldedName(quint32 i) const;
    };

    struct Reading {
        QString path;
        Status status = Status::success();
        Listing listing;
    };

    // Reads the folder on a worker thread. The worker touches nothing but its own
    // Reading, which the future hands back; no model is involved until takeListing().
    static QFuture<Reading> readInBackground(const QString &path);
    // Takes in a listing of this model's folder read elsewhere, unless a newer one is
    // held already. The rows are rebuilt, after the current pattern, only when the names
    // differ; true when they were.
    bool takeListing(Listing &&fresh);

    // The folder the names were read from, as (device, inode); {0, 0} before any read.
    std::pair<quint64, quint64> folderIdentity() const
    {
        return {m_listing.stamp.device, m_listing.stamp.inode};
    }
    // Milliseconds until a new reading of the folder could be trusted, if the listing
    // held was read too soon after the folder last changed (see listingStillValid);
    // -1 when it can be trusted already.
    qint64 msUntilTrustworthy() const;

private:
    static Status readFolder(const QString &path, Listing &listing);
    struct SortItem;
    static void sortListing(Listing &listing);
    static void sortByUnits(const Listing &listing, SortItem *begin, SortItem *end,
                            qsizetype offset);
    bool listingStillValid() const;
    std::vector<quint32> matchingRows(const NamePattern &pattern) const;
    // Display order: entry before the name with this folded form.
    static bool lessThan(const Listing &listing, quint32 entry, QStringView folded,
                         QStringView name);

    QString m_path;
    QString m_patternText;
    NamePattern m_pattern;
    Listing m_listing;
    bool m_haveListing = false;
    // Entry indexes of the shown rows, in display order.
    std::vector<quint32> m_rows;
    int m_readCount = 0;
};
