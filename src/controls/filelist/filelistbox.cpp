#include "controls/filelist/filelistbox.h"

#include "controls/filelist/filelistmodel.h"

#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <utility>

namespace {

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

FileListBox::FileListBox(QWidget *parent) : QListView(parent), m_model(new FileListModel(this))
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
}

FileListBox::~FileListBox() = default;

// After the names are read again or filtered anew, the selected name stays selected
// when it is still shown; otherwise the list is left with no selection. Neither case
// raises fileClicked: the user did not click.
template <typename Change> Status FileListBox::keepingSelection(Change change)
{
    const QString selected = fileName();
    const bool wasInUserInput = std::exchange(m_inUserInput, false);
    Status status = change();
    if (status.ok() && !selected.isEmpty()) {
        const int row = m_model->rowOf(selected);
        if (row >= 0) {
            const QModelIndex index = m_model->index(row);
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
            scrollTo(index);
        }
    }
    m_inUserInput = wasInUserInput;
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
    return keepingSelection([&] { return m_model->setPattern(pattern); });
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
