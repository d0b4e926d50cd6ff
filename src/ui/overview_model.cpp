#include "ui/overview_model.h"

#include <QFont>

#include "ui/record_list.h"

namespace quorvel {

namespace {

// The dark text on every row.
const QColor kRowText(20, 20, 20);

QColor mixed(const QColor& base, const QColor& other, double share) {
    return QColor::fromRgbF(float(base.redF() * (1 - share) + other.redF() * share),
                            float(base.greenF() * (1 - share) + other.greenF() * share),
                            float(base.blueF() * (1 - share) + other.blueF() * share));
}

}  // namespace

OverviewRefresher::OverviewRefresher(QString historyPath, QObject* parent)
    : QObject(parent), historyPath_(std::move(historyPath)), work_(this) {}

void OverviewRefresher::refresh(const RecordStore& records) {
    // The history is read as of today: a date read here, on the UI thread.
    const QDate today = QDate::currentDate();
    work_.post([this, records, path = historyPath_,
                today](const std::atomic<bool>& cancel) mutable {
        std::shared_ptr<const OverviewSnapshot> snapshot =
            buildOverview(std::move(records), path, today, cancel);
        return BackgroundWork::Done([this, snapshot = std::move(snapshot)]() mutable {
            std::swap(snapshot_, snapshot);
            work_.dispose(std::move(snapshot));  // a list's worth of rows, freed off this thread
            Q_EMIT refreshed();
        });
    });
}

QColor overviewTint(CheckStatus status) {
    const QColor marker = RecordDelegate::markerColor(status);
    return marker.isValid() ? mixed(QColor(Qt::white), marker, 0.45) : QColor();
}

int OverviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(order_.size());
}

int OverviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(overviewColumns().size());
}

QVariant OverviewModel::data(const QModelIndex& index, int role) const {
    if (!snapshot_ || !index.isValid() || index.row() >= order_.size()) {
        return {};
    }
    const int row = order_.at(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return overviewText(*snapshot_, row, index.column());
        case Qt::ToolTipRole: {
            // The whole text of a cell too narrow for it.
            const QString text = overviewText(*snapshot_, row, index.column());
            return text.size() > 20 ? text : QVariant();
        }
        case Qt::BackgroundRole:
            if (const QColor tint = overviewTint(snapshot_->rows.at(row).tint); tint.isValid()) {
                return tint;
            }
            return {};
        case Qt::ForegroundRole:
            return kRowText;
        case Qt::FontRole:
            if (overviewBold(*snapshot_, row, index.column())) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case kListIndexRole:
            return snapshot_->rows.at(row).index;
        default:
            return {};
    }
}

QVariant OverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < int(overviewColumns().size())) {
        return overviewColumns()[size_t(section)].caption;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void OverviewModel::sort(int column, Qt::SortOrder order) {
    Q_EMIT sortWanted(column, order);
}

void OverviewModel::show(std::shared_ptr<const OverviewSnapshot> snapshot, QList<int> order) {
    beginResetModel();
    snapshot_ = std::move(snapshot);
    order_ = std::move(order);
    endResetModel();
}

void OverviewDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    QColor fill = option->backgroundBrush.style() == Qt::NoBrush
                      ? option->palette.color(QPalette::Base)
                      : option->backgroundBrush.color();
    if (option->state & QStyle::State_Selected) {
        // The style's own selection would hide the tint and turn the text
        // light: the highlight is mixed into the tint instead.
        fill = mixed(fill, option->palette.color(QPalette::Highlight), 0.4);
        option->state &= ~QStyle::State_Selected;
    }
    option->backgroundBrush = fill;
    option->palette.setColor(QPalette::Text, kRowText);
}

}  // namespace quorvel
