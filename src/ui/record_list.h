#pragma once

#include <QAbstractListModel>
#include <QHeaderView>
#include <QListView>
#include <QStringList>
#include <QStyledItemDelegate>

#include <functional>
#include <memory>

#include "checking/check_run.h"
#include "records/record_store.h"

namespace quorvel {

inline constexpr int kRowHeight = 16;

// A row's check result as the list shows it.
struct RowMarker {
    bool hasEntry = false;  // false beyond the result tables: no marker, count or bold
    CheckStatus status = CheckStatus::None;
    int32_t count = 0;
    bool overLimit = false;
};

// The record list: one record line per row, in list order, and while
// markers are shown, each row's check result.
class RecordListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    // A RowMarker while markers are shown; nothing otherwise.
    static constexpr int MarkerRole = Qt::UserRole + 1;

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const RecordStore& records() const { return records_; }
    void setRecords(RecordStore records);
    void insertRecord(int row, const QString& line);
    // Many records at the end at once.
    void appendRecords(const RecordStore& records);
    // A record's new line, in place: its row keeps its selection.
    void setRecord(int row, const QString& line);
    void removeRecordRows(QList<int> rows);  // any order

    // The tables the markers are read from, by row.
    void setCheckResults(std::shared_ptr<const CheckResults> results);
    bool markersShown() const { return markersShown_; }
    void setMarkersShown(bool shown);

  private:
    RecordStore records_;
    std::shared_ptr<const CheckResults> results_;
    bool markersShown_ = false;
};

// The window's MarkersShown: a switch that the list model keeps, so that
// its views hear of every change.
class MarkersSwitch {
  public:
    void attach(RecordListModel* model) { model_ = model; }
    MarkersSwitch& operator=(bool shown) {
        model_->setMarkersShown(shown);
        return *this;
    }
    operator bool() const { return model_->markersShown(); }  // NOLINT: reads like the flag

  private:
    RecordListModel* model_ = nullptr;
};

// Draws each row completely: a marker fill by check status while markers
// are shown, the outgoing link count in front, bold when over the limit, and
// the eight fields in columns that follow the header's sections.
class RecordDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    RecordDelegate(const QHeaderView* header, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QColor markerColor(CheckStatus status);  // invalid: no marker

  private:
    void ListBox1DrawItem(QPainter* painter, const QStyleOptionViewItem& option,
                          const QVariant& marker, QStringView line) const;

    const QHeaderView* header_;
};

// The list control: extended selection with a focus row; a right click opens
// the context menu without touching either.
class RecordListView : public QListView {
    Q_OBJECT
  public:
    explicit RecordListView(QWidget* parent = nullptr);

    // Redraws every visible row before returning.
    void repaintNow();
    // What a row's hint says when the pointer rests on it (plain text; empty:
    // no hint).
    void setRowHint(std::function<QString(int row)> hint) { rowHint_ = std::move(hint); }

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
    bool viewportEvent(QEvent* event) override;

  private:
    // Runs a base handler and reports whether the user changed the selection.
    template <typename Base>
    void tracked(Base&& base);

    std::function<QString(int row)> rowHint_;
};

}  // namespace quorvel

Q_DECLARE_METATYPE(quorvel::RowMarker)
