// The editor panel and the list commands: add, edit, apply, delete, open the
// partner page, list its outgoing links.
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>

#include <thread>

#include "checking/link_scanner.h"
#include "checking/page_fetch.h"
#include "records/record_line.h"
#include "ui/form1.h"
#include "ui/form3.h"

namespace quorvel {

namespace {

std::function<int(QDialog&)>& modalHook() {
    static std::function<int(QDialog&)> run = [](QDialog& dialog) { return dialog.exec(); };
    return run;
}

}  // namespace

std::function<int(QDialog&)> TForm1::setModalHookForTests(std::function<int(QDialog&)> run) {
    return std::exchange(modalHook(), std::move(run));
}

int TForm1::runModal(QDialog& dialog) {
    return modalHook()(dialog);
}

void TForm1::connectEditor() {
    connect(ToolButton1, &QAction::triggered, this, [this] { ToolButton1Click(); });
    connect(ToolButton5, &QAction::triggered, this, [this] { ToolButton5Click(); });
    connect(Panel1, &EditorPanel::applyClicked, this, [this] { Button1Click(); });
    connect(Panel1, &EditorPanel::addClicked, this, [this] { Button2Click(); });
    connect(Panel1, &EditorPanel::closeClicked, this, [this] { Button3Click(); });
    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(N3, &QAction::triggered, this, [this] { N3Click(); });
    connect(N4, &QAction::triggered, this, [this] { N4Click(); });
    connect(ListBox1, &RecordListView::userSelectionChanged, this, [this] { ListBox1Click(); });
    connect(ListBox1, &RecordListView::arrowKeyReleased, this, [this] { ListBox1KeyUp(); });
    connect(ListBox1, &RecordListView::deleteKeyPressed, this, [this] { ListBox1KeyDown(); });
    connect(ListBox1, &RecordListView::doubleClickedAnywhere, this, [this] { ListBox1DblClick(); });
}

int TForm1::currentRow() const {
    const QModelIndex current = ListBox1->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TForm1::replaceRecord(int row, const QString& line) {
    // Remove and insert at the same place: the row ends unselected, the
    // focus stays on it, the other rows keep their selection.
    model_->removeRecordRows({row});
    model_->insertRecord(row, line);
    ListBox1->selectionModel()->setCurrentIndex(model_->index(row), QItemSelectionModel::NoUpdate);
}

void TForm1::listContentChanged() {
    if (model_->rowCount() > 0 && !ListBox1->currentIndex().isValid()) {
        // The list always has a focus row when it is not empty.
        ListBox1->selectionModel()->setCurrentIndex(model_->index(0),
                                                    QItemSelectionModel::NoUpdate);
    }
    MarkersShown = false;
    RepaintRecordList();
    lbcount();
    refreshOverviewSoon();
}

void TForm1::ListBox1Click() {
    const int row = currentRow();
    if (row >= 0 && Panel1->isVisible()) {
        Panel1->showRecord(model_->records().at(row));
    }
    Panel1->setApplyEnabled(model_->rowCount() > 0);
}

void TForm1::ListBox1KeyUp() {
    ListBox1Click();
}

void TForm1::ToolButton1Click() {
    Panel1->startAdding();
}

void TForm1::ToolButton5Click() {
    Panel1->startEditing();
    ListBox1Click();
}

void TForm1::ListBox1DblClick() {
    ToolButton5Click();
}

void TForm1::Button1Click() {
    const int row = currentRow();
    if (row >= 0) {
        replaceRecord(row, Panel1->recordLine());
    }
    listContentChanged();
}

void TForm1::Button2Click() {
    const int row = model_->rowCount();
    model_->insertRecord(row, QString());
    ListBox1->selectionModel()->setCurrentIndex(model_->index(row),
                                                QItemSelectionModel::ClearAndSelect);
    replaceRecord(row, Panel1->recordLine());
    listContentChanged();
}

void TForm1::Button3Click() {
    Panel1->hide();
}

void TForm1::ListBox1KeyDown() {
    const int focus = currentRow();
    QList<int> rows;
    for (const QModelIndex& index : ListBox1->selectionModel()->selectedRows()) {
        rows += index.row();
    }
    model_->removeRecordRows(rows);  // from the last selected row to the first
    ListBox1->selectionModel()->clearSelection();
    if (model_->rowCount() > 0 && !ListBox1->currentIndex().isValid()) {
        // The focus stays where it was, or on the new last row.
        ListBox1->selectionModel()->setCurrentIndex(
            model_->index(qBound(0, focus, model_->rowCount() - 1)), QItemSelectionModel::NoUpdate);
    }
    listContentChanged();
    Panel1->setApplyEnabled(model_->rowCount() > 0);
}

void TForm1::N1Click() {
    const int row = currentRow();
    if (row < 0) {
        return;
    }
    openWebAddress(ExtractField(model_->records().at(row), QChar(u'U')));
}

void TForm1::N3Click() {
    const int row = currentRow();
    if (row < 0) {
        return;
    }
    const QString partnerUrl = ExtractField(model_->records().at(row), QChar(u'U'));
    QString text;
    if (partnerUrl != u"NIL") {
        // The download runs off this thread; a cancelled download shows nothing.
        const FetchSettings settings = fetchSettings_;
        const bool done = runBusy(QStringLiteral("Загрузка страницы партнера"),
                                  QStringLiteral("Загрузка страницы партнера…"), partnerUrl,
                                  [&settings, &partnerUrl, &text](const AbortFlag& cancel) {
                                      FetchSettings own = settings;
                                      own.abort = &cancel;
                                      const FetchResult page = FetchPage(partnerUrl, own);
                                      if (page.success) {
                                          text = CollectOutgoingLinks(page.pageText, partnerUrl);
                                      }
                                  });
        if (!done) {
            return;
        }
    }
    if (TForm3* links = Form3) {
        links->RichEdit1->setPlainText(text);
        runModal(*links);
    }
}

bool TForm1::runBusy(const QString& title, const QString& what, const QString& address,
                     const std::function<void(const AbortFlag& cancel)>& work) {
    AbortFlag cancel(&abort_);  // the cancel button's; closing the window sets the one above
    QDialog busy(this);
    busy.setObjectName(QStringLiteral("BusyDialog"));
    busy.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&busy);
    // What it waits for: a line of its own and the address, as plain text,
    // shortened in the middle so both ends stay readable.
    auto* whatLabel = new QLabel(what, &busy);
    whatLabel->setTextFormat(Qt::PlainText);
    layout->addWidget(whatLabel);
    auto* addressLabel = new QLabel(&busy);
    addressLabel->setObjectName(QStringLiteral("BusyAddress"));
    addressLabel->setTextFormat(Qt::PlainText);
    addressLabel->setText(addressLabel->fontMetrics().elidedText(address, Qt::ElideMiddle, 400));
    addressLabel->setToolTip(plainToolTip(address));
    layout->addWidget(addressLabel);
    auto* bar = new QProgressBar(&busy);
    bar->setRange(0, 0);
    layout->addWidget(bar);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &busy);
    connect(buttons, &QDialogButtonBox::rejected, &busy, &QDialog::reject);
    layout->addWidget(buttons);
    // The worker is joined before anything it uses goes out of scope; an
    // accept it posts after a cancel dies with the dialog.
    QDialog* dialog = &busy;
    std::thread worker([&work, &cancel, dialog] {
        work(cancel);
        QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    });
    const int result = runModal(busy);
    if (result != QDialog::Accepted) {
        cancel.set();
    }
    worker.join();
    return result == QDialog::Accepted && !closing_;
}

}  // namespace quorvel
