#pragma once

// The overview of a list: what the history knows of every record, one row
// per record in list order, and the list's last runs. A snapshot is built
// off the UI thread and never changes afterwards; the window shows it, puts
// its rows in words as they are drawn, and filters and sorts it off the UI
// thread too.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringView>

#include <atomic>
#include <memory>
#include <optional>
#include <span>

#include "history/history.h"
#include "records/record_store.h"
#include "ui/window_words.h"

namespace quorvel {

// How many runs the picture of the runs shows.
inline constexpr int kOverviewRuns = 60;

// What one row knows before it is put into words.
struct OverviewFacts {
    int index = 0;  // the record's place in the list
    RecordOverview history;
    std::optional<QDate> deadline;
    bool overdue = false;
    // The colour the row takes after the list's markers: the state shown
    // (the last result's while nothing is confirmed); None when never checked.
    CheckStatus tint = CheckStatus::None;
    // State other than "ссылка есть", overdue, the user's own page without
    // the partner's link, or a page signal.
    bool problem = false;
};

// One row as a column sees it.
struct OverviewRowView {
    const OverviewFacts& facts;
    QStringView line;  // the record line
};

// A column of the overview: its caption, its words for a row, for columns
// of numbers and times the key it is sorted by (others sort by their
// words), and when a cell is bold. A new column is one more entry in
// overviewColumns().
struct OverviewColumn {
    QString caption;
    QString (*text)(const OverviewRowView& row);
    qint64 (*key)(const OverviewRowView& row) = nullptr;
    bool (*bold)(const OverviewRowView& row) = nullptr;
};
std::span<const OverviewColumn> overviewColumns();

struct OverviewSnapshot {
    RecordStore records;        // the list as it was when the snapshot was made
    QList<OverviewFacts> rows;  // one per record, in list order
    QList<RunTally> runs;       // oldest first
    QString error;              // why the history could not be read; empty when it could
};

// Reads the history at `historyPath` for `records` (a cheap copy of the
// list, which shares its text with the list: the snapshot keeps a copy of
// its own, made here, so that the list's next edit has nothing to copy).
// Empty when `cancel` was set.
std::shared_ptr<const OverviewSnapshot> buildOverview(RecordStore records,
                                                      const QString& historyPath, QDate today,
                                                      const std::atomic<bool>& cancel);

enum class OverviewFilter {
    All,
    Problems,
    Changed,  // the records that the list's latest run changed
};

// What the table shows of a snapshot.
struct OverviewView {
    QString search;  // case-insensitive, in any column's words
    OverviewFilter filter = OverviewFilter::All;
    int sortColumn = -1;  // -1: list order
    Qt::SortOrder sortOrder = Qt::AscendingOrder;

    friend bool operator==(const OverviewView&, const OverviewView&) = default;
};

// The rows the table shows, as indexes into snapshot.rows, in the order it
// shows them. Empty when `cancel` was set.
QList<int> overviewOrder(const OverviewSnapshot& snapshot, const OverviewView& view,
                         const std::atomic<bool>& cancel);

// What the hint of a row of the main list says of the record `line`: its
// state and since when, when the link was last found, the last reason, the
// signals, the user's side and a deadline that lapsed, from the snapshot's
// row of the same record ("еще не проверялась" for one never checked).
// `row` is where the list holds it now; the snapshot may be older than an
// edit, so the record is looked for by its identity when it moved. Empty
// when the snapshot does not hold the record.
QString overviewHint(const OverviewSnapshot& snapshot, int row, QStringView line);

// A cell's words, and whether it is bold.
QString overviewText(const OverviewSnapshot& snapshot, int row, int column);
bool overviewBold(const OverviewSnapshot& snapshot, int row, int column);

}  // namespace quorvel
