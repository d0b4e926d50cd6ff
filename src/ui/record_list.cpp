#include "ui/record_list.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

#include "records/record_line.h"
#include "ui/hints.h"

namespace quorvel {

namespace {

constexpr qsizetype kMaxDrawnCharacters = 4096;

}  // namespace

int RecordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(records_.size());
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= records_.size()) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        return records_.at(index.row());
    }
    if (role == MarkerRole && markersShown_) {
        RowMarker marker;
        const int row = index.row();
        marker.hasEntry = results_ && row < kResultTableSize;
        if (marker.hasEntry) {
            marker.status = results_->statusAt(row);
            marker.count = results_->countAt(row);
            marker.overLimit = results_->overLimitAt(row);
        }
        return QVariant::fromValue(marker);
    }
    return {};
}

QHash<int, QByteArray> RecordListModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(MarkerRole, "marker");
    return names;
}

void RecordListModel::setCheckResults(std::shared_ptr<const CheckResults> results) {
    results_ = std::move(results);
    if (markersShown_ && rowCount() > 0) {
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), {MarkerRole});
    }
}

void RecordListModel::setMarkersShown(bool shown) {
    if (shown == markersShown_) {
        return;
    }
    markersShown_ = shown;
    if (rowCount() > 0) {
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), {MarkerRole});
    }
}

void RecordListModel::setRecords(RecordStore records) {
    beginResetModel();
    records_ = std::move(records);
    endResetModel();
}

void RecordListModel::insertRecord(int row, const QString& line) {
    row = qBound(0, row, int(records_.size()));
    beginInsertRows({}, row, row);
    records_.insert(row, line);
    endInsertRows();
}

void RecordListModel::appendRecords(const RecordStore& records) {
    if (records.isEmpty()) {
        return;
    }
    const int first = int(records_.size());
    beginInsertRows({}, first, first + int(records.size()) - 1);
    for (const QStringView line : records) {
        records_.append(line);
    }
    endInsertRows();
}

void RecordListModel::setRecord(int row, const QString& line) {
    if (row < 0 || row >= records_.size()) {
        return;
    }
    records_.replace(row, line);
    Q_EMIT dataChanged(index(row), index(row));
}

void RecordListModel::removeRecordRows(QList<int> rows) {
    const int count = rowCount();
    rows.removeIf([count](int row) { return row < 0 || row >= count; });
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the last row to the first, a run of adjacent rows at a time: a
    // whole selection goes in one step, however long the list.
    for (qsizetype i = 0; i < rows.size();) {
        const int last = rows.at(i);
        int first = last;
        while (++i < rows.size() && rows.at(i) == first - 1) {
            --first;
        }
        beginRemoveRows({}, first, last);
        records_.remove(first, last - first + 1);
        endRemoveRows();
    }
}

RecordDelegate::RecordDelegate(const QHeaderView* header, QObject* parent)
    : QStyledItemDelegate(parent), header_(header) {}

QSize RecordDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kRowHeight);
}

QColor RecordDelegate::markerColor(CheckStatus status) {
    switch (status) {
        case CheckStatus::Found:
            return QColor(192, 220, 192);
        case CheckStatus::Hidden:
            return QColor(255, 0, 0);
        case CheckStatus::Missing:
            return QColor(160, 160, 164);
        case CheckStatus::FetchFailed:
            return QColor(128, 0, 0);
        case CheckStatus::None:
            break;
    }
    return QColor();
}

void RecordDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    const QVariant marker = index.data(RecordListModel::MarkerRole);
    // The line straight from the list: a row is drawn without a copy of it.
    if (const auto* model = qobject_cast<const RecordListModel*>(index.model());
        model && index.row() < model->rowCount()) {
        ListBox1DrawItem(painter, option, marker, model->records().view(index.row()));
    } else {
        ListBox1DrawItem(painter, option, marker, index.data().toString());
    }
}

void RecordDelegate::ListBox1DrawItem(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QVariant& marker, QStringView line) const {
    painter->save();
    const QRect r = option.rect;
    const int L = r.left();
    const int T = r.top();
    const int R = r.right() + 1;
    const int H = r.height();

    // The list's own colours, the selection's when selected.
    const bool selected = option.state & QStyle::State_Selected;
    QColor fill = option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
    const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);

    // Markers shown, or not; rows beyond the result tables have no entry:
    // no marker, count or bold.
    const bool markers = marker.isValid();
    const RowMarker entry = marker.value<RowMarker>();
    const bool hasEntry = markers && entry.hasEntry;
    if (hasEntry) {
        const QColor color = markerColor(entry.status);
        if (color.isValid()) {
            fill = color;  // replaces the highlight too; the text colour stays
        }
    }
    painter->fillRect(QRect(L, T, R - L, H), fill);

    QFont font = option.font;
    if (hasEntry && entry.overLimit) {
        font.setBold(true);
    }
    painter->setFont(font);
    painter->setPen(text);
    const QFontMetrics metrics(font);
    // Text is drawn from the row's top edge, its cells in the fill colour.
    auto drawAt = [&](int x, QStringView field) {
        // No screen shows more of a cell than this; a field of millions of
        // characters is not laid out whole.
        const QString s = field.left(kMaxDrawnCharacters).toString();
        painter->fillRect(QRect(x, T, metrics.horizontalAdvance(s), H), fill);
        painter->drawText(QRect(x, T, R - x, H), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          s);
    };

    // One pass over the line for all eight fields: a line can be long.
    const std::array<QStringView, 8> fields = ExtractAllFields(line);
    int x = L;
    if (markers) {
        if (hasEntry) {
            drawAt(L, QString::number(entry.count));
        }
        x = L + 27;
    }
    drawAt(x + 5, fields[0]);  // U
    x += header_->sectionSize(0);
    if (markers) {
        x -= 27;
    }
    for (int column = 2; column <= 8; ++column) {
        if (column >= 3) {
            x += header_->sectionSize(column - 2);  // the section above the previous column
        }
        if (x < R) {
            painter->fillRect(QRect(x, T, R - x, H), fill);
            drawAt(x, fields[size_t(kListColumnFields[column - 1])]);
        }
    }

    if (option.state & QStyle::State_HasFocus) {
        // A dotted outline around the whole row; the fill stays the row's own.
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(text, 1, Qt::DotLine));
        painter->drawRect(r.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

RecordListView::RecordListView(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

void RecordListView::repaintNow() {
    viewport()->repaint();
}

template <typename Base>
void RecordListView::tracked(Base&& base) {
    // Ranges, not single indexes: cheap even with 100000 rows selected.
    const QModelIndex current = currentIndex();
    const QItemSelection selected =
        selectionModel() ? selectionModel()->selection() : QItemSelection();
    base();
    if (selectionModel() &&
        (currentIndex() != current || selectionModel()->selection() != selected)) {
        Q_EMIT userSelectionChanged();
    }
}

void RecordListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();  // neither the selection nor the focus row moves
        return;
    }
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid()) {
        // Every click on a row counts, also on the row that already is the
        // only one selected: the editor is refilled from it.
        QListView::mousePressEvent(event);
        if (selectionModel()) {
            Q_EMIT userSelectionChanged();
        }
        return;
    }
    tracked([&] { QListView::mousePressEvent(event); });
}

void RecordListView::mouseMoveEvent(QMouseEvent* event) {
    tracked([&] { QListView::mouseMoveEvent(event); });
}

void RecordListView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    tracked([&] { QListView::mouseReleaseEvent(event); });
}

void RecordListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    tracked([&] { QListView::mouseDoubleClickEvent(event); });
    Q_EMIT doubleClickedAnywhere();
}

void RecordListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        event->accept();  // with or without modifiers
        Q_EMIT deleteKeyPressed();
        return;
    }
    tracked([&] { QListView::keyPressEvent(event); });
}

void RecordListView::keyReleaseEvent(QKeyEvent* event) {
    QListView::keyReleaseEvent(event);
    if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) && !event->isAutoRepeat()) {
        Q_EMIT arrowKeyReleased();
    }
}

bool RecordListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString hint = index.isValid() && rowHint_ ? rowHint_(index.row()) : QString();
        if (hint.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), plainToolTip(hint), viewport(),
                               visualRect(index));
        }
        return true;
    }
    return QListView::viewportEvent(event);
}

void RecordListView::contextMenuEvent(QContextMenuEvent* event) {
    Q_EMIT contextMenuWanted(event->globalPos());
    event->accept();
}

}  // namespace quorvel
