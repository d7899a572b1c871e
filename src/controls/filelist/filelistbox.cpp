#include "controls/filelist/filelistbox.h"

#include "controls/filelist/filelistmodel.h"

#include <QFileSystemWatcher>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// A burst of changes is taken in once it pauses this long, or at the latest this long
// after it began, so a sync that never pauses still shows its progress.
constexpr qint64 QuietMs = 150;
constexpr qint64 LongestWaitMs = 1000;

// Qt keeps its inotify engine as a child of the watcher; where inotify cannot be had
// (no instance left, no support) it would stat every watched path each second instead.
bool reportsChanges(const QFileSystemWatcher &watcher)
{
    const QObjectList &children = watcher.children();
    return std::any_of(children.begin(), children.end(), [](const QObject *child) {
        return std::strcmp(child->metaObject()->className(), "QInotifyFileSystemWatcherEngine") ==
               0;
    });
}

// Every row is as wide as the list, whatever its name: a name too long for it is cut
// short with an ellipsis, and never widens the rows into a sideways scroll (the list
// takes the size of its last row for all). Asked for a row's tooltip, it gives the
// whole name only when the row shows it cut short; the check is made for the one row
// under the pointer when the tooltip is asked for, never while the rows are laid out.
class NameDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(0, QStyledItemDelegate::sizeHint(option, index).height());
    }

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStyle *style = view->style();
        // The style draws the text inside its text rectangle less a margin on each side.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const int width =
            style->subElementRect(QStyle::SE_ItemViewItemText, &item, view).width() - 2 * margin;
        if (item.fontMetrics.horizontalAdvance(item.text) > width)
            QToolTip::showText(event->globalPos(), item.text, view->viewport(), option.rect);
        else
            QToolTip::hideText();
        return true;
    }
};

} // namespace

FileListBox::FileListBox(QWidget *parent)
    : QListView(parent), m_model(new FileListModel(this)), m_settle(new QTimer(this))
{
    setItemDelegate(new NameDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(m_model);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_inUserInput)
            m_userChangedSelection = true;
    });

    m_settle->setSingleShot(true);
    // A coarse timer may run out a little early, and a read made early is no more
    // trusted than the one it was to make sure of.
    m_settle->setTimerType(Qt::PreciseTimer);
    connect(m_settle, &QTimer::timeout, this, &FileListBox::settled);
    connect(&m_reading, &QFutureWatcherBase::finished, this, &FileListBox::readingDone);
    auto *watcher = new QFileSystemWatcher(this);
    if (reportsChanges(*watcher)) {
        m_watcher = watcher;
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { noticed(true); });
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { noticed(false); });
    } else {
        delete watcher;
    }
}

FileListBox::~FileListBox() = default;

void FileListBox::selectName(const QString &name, bool scroll)
{
    const int row = name.isEmpty() ? -1 : m_model->rowOf(name);
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    if (scroll)
        scrollTo(index);
}

// After the names are read again or filtered anew, the selected name stays selected
// when it is still shown; otherwise the list is left with no selection. Neither case
// raises fileClicked: the user did not click.
template <typename Change> Status FileListBox::keepingSelection(Change change)
{
    const QString selected = fileName();
    const bool wasInUserInput = std::exchange(m_inUserInput, false);
    Status status = change();
    if (status.ok())
        selectName(selected, true);
    m_inUserInput = wasInUserInput;
    watchFolderAndSelected();
    return status;
}

Status FileListBox::setPath(const QString &path)
{
    return keepingSelection([&] { return m_model->setPath(path); });
}

QString FileListBox::path() const
{
    return m_model->path();
}

Status FileListBox::setPattern(const QString &pattern)
{
    // While a change is being taken in, the names held are filtered at once; the read
    // under way filters its names by the new pattern when it lands.
    return keepingSelection([&] { return m_model->setPattern(pattern, !changePending()); });
}

QString FileListBox::pattern() const
{
    return m_model->pattern();
}

Status FileListBox::refresh()
{
    return keepingSelection([&] { return m_model->refresh(); });
}

QString FileListBox::fileName() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : m_model->nameAt(rows.first().row());
}

int FileListBox::listCount() const
{
    return m_model->rowCount();
}

// The signal is raised once the view has finished with the event, so that a handler
// that opens a modal box does not run inside the view's own mouse handling.
template <typename Handle> void FileListBox::handleUserInput(Handle handle, bool reshowSelected)
{
    m_userChangedSelection = false;
    m_inUserInput = true;
    handle();
    m_inUserInput = false;
    watchFolderAndSelected();
    if (std::exchange(m_userChangedSelection, false) || reshowSelected)
        emit fileClicked();
}

void FileListBox::mousePressEvent(QMouseEvent *event)
{
    // A click on the name already selected changes nothing, yet the user expects the
    // entry to be shown again.
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool onSelected =
        event->button() == Qt::LeftButton && index.isValid() && selectionModel()->isSelected(index);
    handleUserInput([&] { QListView::mousePressEvent(event); }, onSelected);
}

void FileListBox::mouseMoveEvent(QMouseEvent *event)
{
    handleUserInput([&] { QListView::mouseMoveEvent(event); });
}

void FileListBox::mouseReleaseEvent(QMouseEvent *event)
{
    handleUserInput([&] { QListView::mouseReleaseEvent(event); });
}

void FileListBox::chooseRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex index = m_model->index(row);
    handleUserInput(
        [&] {
            setCurrentIndex(index);
            scrollTo(index);
        },
        selectionModel()->isSelected(index));
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    // The list that takes the focus puts its frame on the first row without selecting
    // it; the first arrow key then selects the first row or the last, rather than the
    // neighbour of a row the user never chose.
    const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (arrow && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        fileName().isEmpty() && listCount() > 0) {
        chooseRow(event->key() == Qt::Key_Down ? 0 : listCount() - 1);
        return;
    }
    handleUserInput([&] { QListView::keyPressEvent(event); });
}

QItemSelectionModel::SelectionFlags FileListBox::selectionCommand(const QModelIndex &index,
                                                                  const QEvent *event) const
{
    // A click or drag on the empty part of the list, a control-click or a control-space
    // would each leave the list with no selection, which no file list the user knows does.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    if (flags.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return flags;
}

// Following the folder. Each change restarts the settle timer; when it runs out the
// folder is read on a worker thread (or, when only the selected file changed, nothing
// is read) and the result taken in here, on the window's thread.

void FileListBox::noticed(bool inFolder)
{
    m_unreported = true;
    m_folderChanged = m_folderChanged || inFolder;
    if (std::exchange(m_makingSure, false))
        m_burst.invalidate();
    if (!m_burst.isValid())
        m_burst.start();
    m_settle->start(int(std::clamp(LongestWaitMs - m_burst.elapsed(), qint64(0), QuietMs)));
}

void FileListBox::settled()
{
    if (m_readInFlight) {
        // One more read when this one lands takes in everything since it began.
        m_readAgain = m_readAgain || m_folderChanged;
        return;
    }
    if (m_folderChanged) {
        startReading();
        return;
    }
    // Only the selected name's file changed: the names stand.
    watchFolderAndSelected(true);
    if (std::exchange(m_unreported, false))
        emit folderChanged();
}

bool FileListBox::changePending() const
{
    return m_readInFlight || m_settle->isActive();
}

void FileListBox::startReading()
{
    m_burst.invalidate();
    m_folderChanged = false;
    m_readInFlight = true;
    m_readingToMakeSure = std::exchange(m_makingSure, false);
    m_reading.setFuture(FileListModel::readInBackground(path()));
}

void FileListBox::readingDone()
{
    if (!m_readInFlight || !m_reading.isFinished())
        return;
    m_readInFlight = false;
    // A copy, which shares the names (the future keeps its result).
    FileListModel::Reading reading = m_reading.result();
    bool changed = false;
    // A folder that cannot be read now (gone, say) leaves the names as they are, as they
    // would be without following; so does a read of a folder the list no longer shows.
    if (reading.status.ok() && reading.path == path()) {
        // The names in view stay in view and the selection stays on its name; neither
        // raises fileClicked.
        const QString selected = fileName();
        const QModelIndex top = indexAt(QPoint(0, 0));
        const QString topName = top.isValid() ? m_model->nameAt(top.row()) : QString();
        const bool wasInUserInput = std::exchange(m_inUserInput, false);
        changed = m_model->takeListing(std::move(reading.listing));
        if (changed) {
            if (const int row = topName.isEmpty() ? -1 : m_model->rowOf(topName); row >= 0)
                scrollTo(m_model->index(row), QAbstractItemView::PositionAtTop);
            selectName(selected, false);
        }
        m_inUserInput = wasInUserInput;
    }
    watchFolderAndSelected(true);
    if (std::exchange(m_unreported, false) || changed)
        emit folderChanged();

    if (std::exchange(m_readAgain, false)) {
        startReading();
        return;
    }
    // A listing read too soon after a change is not trusted by the next keystroke (see
    // FileListModel::setPattern), which would then read the whole folder itself. One
    // more read, once the change is safely past, makes it trusted; only one, so a folder
    // whose time never settles is not read over and over.
    if (!std::exchange(m_readingToMakeSure, false) && !m_settle->isActive()) {
        if (const qint64 wait = m_model->msUntilTrustworthy(); wait >= 0) {
            m_makingSure = true;
            m_folderChanged = true;
            m_settle->start(int(wait));
        }
    }
}

// Watches the folder the names were read from (again, when a folder of the same name
// took its place) and the selected name's file; renewFileWatch watches that file anew,
// since a watch follows the file it was set on and a save puts a new file in its place.
// What cannot be watched is simply not followed.
void FileListBox::watchFolderAndSelected(bool renewFileWatch)
{
    if (!m_watcher || path().isEmpty())
        return;
    if (const auto identity = m_model->folderIdentity(); identity != m_watchedFolder) {
        m_watchedFolder = identity;
        if (const QStringList watched = m_watcher->directories(); !watched.isEmpty())
            m_watcher->removePaths(watched);
        m_watcher->addPath(path());
    }
    const QString name = fileName();
    const QString file = name.isEmpty() ? QString() : path() + QLatin1Char('/') + name;
    if (file == m_watchedFile && !renewFileWatch)
        return;
    if (!m_watchedFile.isEmpty())
        m_watcher->removePath(m_watchedFile);
    m_watchedFile = file;
    if (!file.isEmpty())
        m_watcher->addPath(file);
}
