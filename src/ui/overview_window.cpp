#include "ui/overview_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "ui/history_text.h"

namespace quorvel {

using namespace Qt::StringLiterals;

OverviewWindow::OverviewWindow(QWidget* owner, OverviewRefresher* refresher)
    : QWidget(owner, Qt::Window), refresher_(refresher), ordering_(this) {
    setObjectName(u"OverviewWindow"_s);
    setFont(owner->font());
    resize(1100, 600);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);

    auto* filterLine = new QHBoxLayout;
    search_ = new QLineEdit(this);
    search_->setObjectName(u"OverviewSearch"_s);
    const OverviewWords& words = overviewWords();
    search_->setPlaceholderText(words.search);
    search_->setClearButtonEnabled(true);
    filterLine->addWidget(search_, 1);
    filter_ = new QComboBox(this);
    filter_->setObjectName(u"OverviewFilter"_s);
    filter_->addItem(words.all, int(OverviewFilter::All));
    filter_->addItem(words.problems, int(OverviewFilter::Problems));
    filter_->addItem(words.changed, int(OverviewFilter::Changed));
    filterLine->addWidget(filter_);
    column->addLayout(filterLine);

    runs_ = new RunsStrip(this);
    runs_->setObjectName(u"OverviewRuns"_s);
    column->addWidget(runs_);

    model_ = new OverviewModel(this);
    table_ = new QTableView(this);
    table_->setObjectName(u"OverviewTable"_s);
    table_->setModel(model_);
    table_->setItemDelegate(new OverviewDelegate(table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(18);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->horizontalHeader()->setSortIndicatorClearable(true);
    table_->setSortingEnabled(true);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    // Room for the caption, and for the usual words below it; measuring the
    // cells would read every row.
    const int least[] = {45, 190, 105, 105, 190, 150, 120, 110, 50, 220};
    const QFontMetrics metrics(table_->horizontalHeader()->font());
    for (int i = 0; i < model_->columnCount(); ++i) {
        const QString caption = model_->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
        table_->setColumnWidth(i, std::max(i < int(std::size(least)) ? least[i] : 100,
                                           metrics.horizontalAdvance(caption) + 24));
    }
    column->addWidget(table_, 1);

    menu_ = new QMenu(this);
    menu_->setObjectName(u"OverviewMenu"_s);
    QAction* history = menu_->addAction(mainWindowWords().checkHistory);
    history->setObjectName(u"OverviewHistory"_s);

    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        view_.search = text;
        reorder();
    });
    connect(filter_, &QComboBox::currentIndexChanged, this, [this] {
        view_.filter = OverviewFilter(filter_->currentData().toInt());
        reorder();
    });
    connect(model_, &OverviewModel::sortWanted, this, [this](int section, Qt::SortOrder order) {
        view_.sortColumn = section;
        view_.sortOrder = order;
        reorder();
    });
    connect(refresher_, &OverviewRefresher::refreshed, this, [this] {
        const auto& snapshot = refresher_->snapshot();
        runs_->setRuns(snapshot ? snapshot->runs : QList<RunTally>());
        runs_->setEmptyText(snapshot && !snapshot->error.isEmpty() ? kHistoryUnreadableText
                                                                   : kNoChecksYetText);
        reorder();
    });
    connect(table_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        int listIndex = 0;
        QString line;
        if (recordOf(index, &listIndex, &line)) {
            Q_EMIT recordChosen(listIndex, line);
        }
    });
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = table_->indexAt(at);
        if (!index.isValid()) {
            return;
        }
        table_->setCurrentIndex(index);
        menu_->popup(table_->viewport()->mapToGlobal(at));
    });
    connect(history, &QAction::triggered, this, [this] {
        int listIndex = 0;
        QString line;
        if (recordOf(table_->currentIndex(), &listIndex, &line)) {
            Q_EMIT historyWanted(listIndex, line);
        }
    });
    runs_->setEmptyText(kNoChecksYetText);
    updateTitle();
}

void OverviewWindow::open(int recordCount, OverviewFilter filter) {
    if (!isVisible()) {
        search_->clear();
    }
    listSize_ = recordCount;
    if (refresher_->refreshing()) {
        // Nothing stale while the history is read.
        std::shared_ptr<const OverviewSnapshot> before = model_->snapshot();
        model_->show(nullptr, {});
        ordering_.dispose(std::move(before));
    }
    filter_->setCurrentIndex(filter_->findData(int(filter)));
    updateTitle();
    show();
    raise();
    activateWindow();
}

void OverviewWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reorder();
}

bool OverviewWindow::upToDate() const {
    return !refresher_->refreshing() && !ordering_.busy() && shownView_ == view_ &&
           model_->snapshot() == refresher_->snapshot();
}

void OverviewWindow::reorder() {
    std::shared_ptr<const OverviewSnapshot> snapshot = refresher_->snapshot();
    updateTitle();
    if (!snapshot || !isVisible()) {
        return;
    }
    const OverviewView view = view_;
    ordering_.post([this, snapshot = std::move(snapshot), view](const std::atomic<bool>& cancel) {
        QList<int> order = overviewOrder(*snapshot, view, cancel);
        return BackgroundWork::Done([this, snapshot, view, order = std::move(order)]() mutable {
            // The chosen record stays chosen when the rows move.
            bool hadChoice = false;
            const int chosen = model_->data(table_->currentIndex(), OverviewModel::kListIndexRole)
                                   .toInt(&hadChoice);
            std::shared_ptr<const OverviewSnapshot> before = model_->snapshot();
            model_->show(snapshot, std::move(order));
            ordering_.dispose(std::move(before));
            shownView_ = view;
            if (hadChoice) {
                for (int row = 0; row < model_->rowCount(); ++row) {
                    if (snapshot->rows.at(model_->snapshotRow(row)).index == chosen) {
                        table_->setCurrentIndex(model_->index(row, 0));
                        break;
                    }
                }
            }
            updateTitle();
        });
    });
}

void OverviewWindow::setRecordCount(int recordCount) {
    listSize_ = recordCount;
    updateTitle();
}

void OverviewWindow::updateTitle() {
    // Until the history has been read, every record of the list is shown.
    qsizetype rows = listSize_;
    qsizetype total = listSize_;
    if (const auto& snapshot = model_->snapshot();
        snapshot && (!refresher_->refreshing() || view_.filter != OverviewFilter::All ||
                     !view_.search.isEmpty())) {
        rows = model_->rowCount();
        total = snapshot->rows.size();
    }
    setWindowTitle(overviewWords().title.arg(rows).arg(total));
}

bool OverviewWindow::recordOf(const QModelIndex& index, int* listIndex, QString* line) const {
    const auto& snapshot = model_->snapshot();
    if (!snapshot || !index.isValid()) {
        return false;
    }
    *listIndex = model_->data(index, OverviewModel::kListIndexRole).toInt();
    *line = snapshot->records.at(*listIndex);
    return true;
}

}  // namespace quorvel
