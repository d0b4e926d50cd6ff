#include "ui/history_window.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include "ui/history_text.h"
#include "ui/text_window.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kLongestTitleAddress = 80;

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (text.size() > 20) {
        item->setToolTip(text);  // plain: a tooltip of an item is not read as markup here
    }
    return item;
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* owner) : QDialog(owner) {
    setObjectName(u"HistoryWindow"_s);
    const HistoryWindowWords& words = historyWindowWords();
    textView = makeTextWindow(this, owner, mainWindowWords().checkHistory, "HistoryView");
    resize(860, 560);
    checksTable = new QTableWidget(0, 9, this);
    checksTable->setObjectName(u"HistoryChecks"_s);
    checksTable->setHorizontalHeaderLabels(
        {words.checkedAt, words.result, kReasonText, words.count,
         historyColumnWords(HistoryColumn::Signals), kYourLinkText, words.source,
         QString::fromUtf16(kExternalHeading), QString::fromUtf16(kAnchorHeading)});
    checksTable->verticalHeader()->hide();
    checksTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    checksTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    checksTable->setWordWrap(false);
    checksTable->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {130, 230, 200, 50, 150, 150, 110, 60};
    for (int i = 0; i < int(std::size(widths)); ++i) {
        checksTable->setColumnWidth(i, widths[i]);
    }
    auto* column = qobject_cast<QVBoxLayout*>(layout());
    column->insertWidget(0, checksTable, 3);
    column->setStretchFactor(textView, 2);
}

QString HistoryWindow::titleFor(const QString& partnerUrl) {
    QString address = partnerUrl;
    if (address.size() > kLongestTitleAddress) {
        const qsizetype head = (kLongestTitleAddress - 1) / 2;
        address = address.left(head) + u'…' + address.right(kLongestTitleAddress - 1 - head);
    }
    return mainWindowWords().checkHistory + u": "_s + address;
}

void HistoryWindow::showHistory(const QString& partnerUrl, const QList<PastCheck>& checks,
                                const QString& text) {
    setWindowTitle(titleFor(partnerUrl));
    checksTable->setRowCount(int(checks.size()));
    for (int row = 0; row < checks.size(); ++row) {
        const PastCheck& check = checks.at(row);
        const bool loaded = pageLoaded(check.status);
        const QString texts[] = {
            check.checkedAt.toLocalTime().toString(u"dd.MM.yyyy HH:mm:ss"_s),
            statusWords(check.status),
            reasonWords(check.reason),
            loaded ? QString::number(check.count) : QString(),
            signalListWords(check.signalNames,
                            {check.nearLink, check.canonical, check.robotsAgent}),
            check.reciprocal == CheckStatus::None ? QString() : reciprocalWords(check.reciprocal),
            runSourceWords(check.source),
            loaded && check.external >= 0 ? QString::number(check.external) : QString(),
            check.anchor,
        };
        for (int column = 0; column < int(std::size(texts)); ++column) {
            checksTable->setItem(row, column, cell(texts[column]));
        }
        if (check.overLimit && loaded) {
            QFont bold = checksTable->font();
            bold.setBold(true);
            checksTable->item(row, 3)->setFont(bold);
        }
    }
    textView->setPlainText(text);
}

}  // namespace quorvel
