#include "ui/runs_strip.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

#include "ui/history_text.h"
#include "ui/overview_rows.h"
#include "ui/record_list.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxColumnWidth = 14;
constexpr int kGap = 1;
constexpr int kDateHeight = 14;
constexpr int kBarHeight = 56;
constexpr int kDateEvery = 10;

constexpr CheckStatus kStacked[] = {CheckStatus::Found, CheckStatus::Hidden, CheckStatus::Missing,
                                    CheckStatus::FetchFailed};

}  // namespace

RunsStrip::RunsStrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize RunsStrip::sizeHint() const {
    return QSize(kOverviewRuns * (kMaxColumnWidth + kGap), kBarHeight + kDateHeight + 4);
}

void RunsStrip::setRuns(QList<RunTally> runs) {
    runs_ = std::move(runs);
    update();
}

void RunsStrip::setEmptyText(const QString& text) {
    emptyText_ = text;
    update();
}

QRect RunsStrip::barArea() const {
    return QRect(4, 2, width() - 8, kBarHeight);
}

int RunsStrip::columnWidth() const {
    // Sixty runs fill the width, up to a comfortable column.
    return std::clamp(barArea().width() / kOverviewRuns, 2 + kGap, kMaxColumnWidth + kGap);
}

int RunsStrip::runAt(QPoint at) const {
    const QRect area = barArea();
    if (at.x() < area.left() || at.y() > area.bottom() + kDateHeight) {
        return -1;
    }
    const int column = (at.x() - area.left()) / columnWidth();
    return column < runs_.size() ? column : -1;
}

QString RunsStrip::runHint(const RunTally& run) {
    QString hint = historyTimeText(run.startedAt);
    if (const QString source = runSourceWords(run.source); !source.isEmpty()) {
        hint += u" ("_s + source + u')';
    }
    return hint + u": "_s + tallyWords(run.byStatus);
}

bool RunsStrip::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int run = runAt(help->pos());
        if (run >= 0) {
            QToolTip::showText(help->globalPos(), runHint(runs_.at(run)), this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void RunsStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRect area = barArea();
    if (runs_.isEmpty()) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(area, Qt::AlignCenter, emptyText_);
        return;
    }
    int most = 1;
    for (const RunTally& run : runs_) {
        most = std::max(most, run.total());
    }
    const int width = columnWidth();
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(area.left(), area.bottom() + 1, area.right(), area.bottom() + 1);
    QFont small = font();
    small.setPixelSize(9);
    painter.setFont(small);
    for (int i = 0; i < runs_.size(); ++i) {
        const RunTally& run = runs_.at(i);
        const int x = area.left() + i * width;
        // Stacked from the bottom, each part in proportion to the busiest run.
        int bottom = area.bottom() + 1;
        int sum = 0;
        for (size_t part = 0; part < std::size(kStacked); ++part) {
            const int before = sum;
            sum += run.byStatus[part];
            const int top = area.bottom() + 1 - (sum * area.height() + most / 2) / most;
            if (run.byStatus[part] > 0 && sum > before) {
                painter.fillRect(QRect(x, top, width - kGap, std::max(1, bottom - top)),
                                 RecordDelegate::markerColor(kStacked[part]));
            }
            bottom = top;
        }
        if (i % kDateEvery == 0) {
            painter.setPen(palette().color(QPalette::Text));
            painter.drawText(QRect(x, area.bottom() + 2, width * kDateEvery, kDateHeight),
                             Qt::AlignLeft | Qt::AlignTop,
                             run.startedAt.toLocalTime().toString(u"dd.MM.yy"_s));
        }
    }
}

}  // namespace quorvel
