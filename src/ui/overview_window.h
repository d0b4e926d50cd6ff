#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QWidget>

#include "ui/background_work.h"
#include "ui/overview_model.h"
#include "ui/runs_strip.h"

namespace quorvel {

// The overview of every partner ("обзор партнеров"): a window of its own
// beside the main window, with a filter line, the picture of the list's
// last runs and a table of every record as the history knows it. It shows
// the refresher's newest snapshot; filtering and sorting run off the UI
// thread, so a list of any length never holds the window up.
class OverviewWindow : public QWidget {
    Q_OBJECT
  public:
    OverviewWindow(QWidget* owner, OverviewRefresher* refresher);

    // Opens the window with `filter` (raises it when it is open already);
    // its title counts the list's `recordCount` records at once, before the
    // history has been read.
    void open(int recordCount, OverviewFilter filter = OverviewFilter::All);
    // The list has changed: its number of records, for the title until the
    // history has been read again.
    void setRecordCount(int recordCount);
    // The view asked for has been filled from the newest snapshot.
    bool upToDate() const;

    OverviewModel* model() const { return model_; }

  Q_SIGNALS:
    // A row was chosen (double click or Enter): the record at `index` of
    // the list as it was when the snapshot was made, whose line was `line`.
    void recordChosen(int index, const QString& line);
    // The row's own menu: the record's check history.
    void historyWanted(int index, const QString& line);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void reorder();
    void updateTitle();
    // The table row's record, as recordChosen gives it.
    bool recordOf(const QModelIndex& index, int* listIndex, QString* line) const;

    OverviewRefresher* refresher_;
    QLineEdit* search_ = nullptr;
    QComboBox* filter_ = nullptr;
    RunsStrip* runs_ = nullptr;
    QTableView* table_ = nullptr;
    QMenu* menu_ = nullptr;
    OverviewModel* model_ = nullptr;
    OverviewView view_;
    OverviewView shownView_;   // what the model shows
    int listSize_ = 0;         // until a snapshot has been shown
    BackgroundWork ordering_;  // last: it ends before the rest goes
};

}  // namespace quorvel
