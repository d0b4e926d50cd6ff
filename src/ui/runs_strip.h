#pragma once

#include <QList>
#include <QWidget>

#include "history/history.h"

namespace quorvel {

// The picture of a list's last runs: one column per run, oldest on the
// left, stacked from the bottom by how many records ended Found, Hidden,
// Missing and FetchFailed in it, in the list's marker colours; the run's
// date under every tenth column, and a hint with its counts over each.
class RunsStrip : public QWidget {
    Q_OBJECT
  public:
    explicit RunsStrip(QWidget* parent = nullptr);

    void setRuns(QList<RunTally> runs);
    // Said in place of the picture when there are no runs to draw.
    void setEmptyText(const QString& text);
    const QList<RunTally>& runs() const { return runs_; }

    // The run drawn at `at`, or -1.
    int runAt(QPoint at) const;
    // A run's counts in words, as its hint shows them.
    static QString runHint(const RunTally& run);

    QSize sizeHint() const override;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // The left edge of the first column and the width of each.
    int columnWidth() const;
    QRect barArea() const;

    QList<RunTally> runs_;
    QString emptyText_;
};

}  // namespace quorvel
