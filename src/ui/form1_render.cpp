// The list's command "проверить с JavaScript": the focus record's partner
// page downloaded and, when the link is not in it, rendered by a browser, off
// the UI thread; the result shows in the status bar and goes to the history
// as a check of the window's.
#include "checking/check_record.h"
#include "checking/page_fetch.h"
#include "checking/page_renderer.h"
#include "checking/page_signals.h"
#include "history/history_words.h"
#include "history/run_recording.h"
#include "records/record_line.h"
#include "ui/background_work.h"
#include "ui/form1.h"

namespace quorvel {

namespace {

using namespace Qt::StringLiterals;

// How long the end of a look may take to reach the history file (as a run's).
constexpr std::chrono::seconds kLookEndBound(60);

}  // namespace

void TForm1::RenderMenuItemClick() {
    const int row = currentRow();
    if (closing_ || row < 0 || row >= model_->rowCount()) {
        return;
    }
    RenderSettings render;
    // Tests name a browser that is not there through the environment.
    if (const QString browser = qEnvironmentVariable("QUORVEL_RENDER_BROWSER");
        !browser.isEmpty()) {
        render.browser = browser;
    }
    if (!rendererAvailable(render)) {
        showMessage(kRenderNeedsPackageText);
        return;
    }
    const QString line = model_->records().at(row);
    const RecordFields fields = RecordFields::of(line);
    const FetchSettings settings = fetchSettings_;  // its abort flag is the window's
    render.userAgent = pageUserAgent(settings);
    render.acceptLanguage = pageAcceptLanguage(settings);
    render.abort = &abort_;
    StatusPanel1->setText(kRenderCommandText + u": "_s + fields.partnerUrl);
    if (!renderWork_) {
        renderWork_ = std::make_unique<BackgroundWork>(this);
    }
    renderWork_->post([this, row, line, fields, settings,
                       render](const std::atomic<bool>& cancel) -> BackgroundWork::Done {
        RecordCheck check = checkRecord(fields, settings, cancel);
        check.index = row;
        if (check.outcome.status == CheckStatus::Missing && !fields.link.isEmpty() &&
            !cancel.load()) {
            PageRenderer renderer(render, 1);
            check.pageSignals |= renderedSignals(renderer, check.pageAddress, fields.link,
                                                 fields.partnerUrl, &check.renderFailure);
            check.rendered = check.renderFailure.isEmpty();
        }
        return [this, check, deadline = fields.deadline]() mutable {
            // Reading a date may consult the time zone: on the UI thread, as
            // a run does.
            check.deadline = parseDeadline(deadline).value_or(QDate());
            QString words;
            switch (check.outcome.status) {
                case CheckStatus::None:
                    StatusPanel1->clear();
                    return;  // cut off: nothing to tell or keep
                case CheckStatus::Missing:
                    words = renderLookWords(check.pageSignals, check.rendered);
                    break;
                default:
                    // The page has changed since the run: what it shows now.
                    words = statusWords(check.outcome.status);
                    break;
            }
            StatusPanel1->setText(kRenderCommandText + u": "_s + words);
            StatusPanel1->setToolTip(check.partnerUrl);
            if (!check.renderFailure.isEmpty()) {
                logFileProblem("render", check.pageAddress, check.renderFailure);
            }
            renderRecording_ = std::make_unique<RunRecording>(
                historyPath_, model_->records(), std::move(renderRecording_), historyOptions_);
            renderRecording_->add(check);
            renderRecording_->finishInBackground(kLookEndBound);
            refreshOverviewSoon();
        };
    });
}

}  // namespace quorvel
