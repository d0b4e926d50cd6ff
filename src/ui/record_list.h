#pragma once

#include <QAbstractListModel>
#include <QHeaderView>
#include <QListView>
#include <QStringList>
#include <QStyledItemDelegate>

#include "checking/check_run.h"
#include "records/record_store.h"

namespace quorvel {

inline constexpr int kRowHeight = 16;

// The record list: one record line per row, in list order.
class RecordListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const RecordStore& records() const { return records_; }
    void setRecords(RecordStore records);
    void insertRecord(int row, const QString& line);
    // Many records at the end at once.
    void appendRecords(const RecordStore& records);
    // A record's new line, in place: its row keeps its selection.
    void setRecord(int row, const QString& line);
    void removeRecordRows(QList<int> rows);  // any order

  private:
    RecordStore records_;
};

// What the drawing needs besides the record lines.
struct RowMarkers {
    const CheckResults* results = nullptr;
    const bool* shown = nullptr;  // MarkersShown
};

// Draws each row completely: a marker fill by check status while markers
// are shown, the outgoing link count in front, bold when over the limit, and
// the eight fields in columns that follow the header's sections.
class RecordDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    RecordDelegate(const QHeaderView* header, RowMarkers markers, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QColor markerColor(CheckStatus status);  // invalid: no marker

  private:
    void ListBox1DrawItem(QPainter* painter, const QStyleOptionViewItem& option, int row,
                          QStringView line) const;

    const QHeaderView* header_;
    RowMarkers markers_;
};

// The list control: extended selection with a focus row; a right click opens
// the context menu without touching either.
class RecordListView : public QListView {
    Q_OBJECT
  public:
    explicit RecordListView(QWidget* parent = nullptr);

    // Redraws every visible row before returning.
    void repaintNow();

  Q_SIGNALS:
    void contextMenuWanted(const QPoint& globalPos);
    // Every left click on a row, and every change the user made otherwise
    // with the mouse or the keyboard; never the program's own changes of
    // selection or content.
    void userSelectionChanged();
    void arrowKeyReleased();
    void deleteKeyPressed();
    void doubleClickedAnywhere();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // Runs a base handler and reports whether the user changed the selection.
    template <typename Base>
    void tracked(Base&& base);
};

}  // namespace quorvel
