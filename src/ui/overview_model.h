#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStyledItemDelegate>

#include <memory>

#include "ui/background_work.h"
#include "ui/overview_rows.h"

namespace quorvel {

// Keeps the overview of the window's list: a new snapshot is read off the
// UI thread whenever asked for, and the newest one is kept.
class OverviewRefresher : public QObject {
    Q_OBJECT
  public:
    OverviewRefresher(QString historyPath, QObject* parent);

    // UI thread, cheap: the list is copied without its text.
    void refresh(const RecordStore& records);
    // The newest snapshot; none before the first has been read.
    const std::shared_ptr<const OverviewSnapshot>& snapshot() const { return snapshot_; }
    // Whether a snapshot asked for has not come yet.
    bool refreshing() const { return work_.busy(); }

  Q_SIGNALS:
    void refreshed();

  private:
    QString historyPath_;
    std::shared_ptr<const OverviewSnapshot> snapshot_;
    BackgroundWork work_;  // last: it ends before the rest goes
};

// The light tint of a marker colour, which dark text stays readable on;
// invalid for no marker.
QColor overviewTint(CheckStatus status);

// The rows of a snapshot that the table shows, in its order. Sorting a
// column asks for a new order (sortWanted), which comes back through show().
class OverviewModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // The record's place in the list, for every cell.
    static constexpr int kListIndexRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    void show(std::shared_ptr<const OverviewSnapshot> snapshot, QList<int> order);
    const std::shared_ptr<const OverviewSnapshot>& snapshot() const { return snapshot_; }
    // The snapshot's row at a table row.
    int snapshotRow(int row) const { return order_.value(row, -1); }

  Q_SIGNALS:
    void sortWanted(int column, Qt::SortOrder order);

  private:
    std::shared_ptr<const OverviewSnapshot> snapshot_;
    QList<int> order_;
};

// Rows in their tint, a selected row too: the selection mixes its colour
// in, and the text stays dark.
class OverviewDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace quorvel
