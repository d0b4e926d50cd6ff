#include "checking/check_run.h"

#include <algorithm>

#include "checking/address.h"
#include "checking/link_scanner.h"
#include "checking/page_fetch.h"
#include "checking/reciprocal_pages.h"
#include "records/int_text.h"
#include "records/record_line.h"

namespace quorvel {

void CheckResults::clear() {
    for (int i = 0; i < kResultTableSize; ++i) {
        status[i].store(0, std::memory_order_relaxed);
        count[i].store(0, std::memory_order_relaxed);
        overLimit[i].store(0, std::memory_order_relaxed);
    }
}

CheckStatus CheckResults::statusAt(qsizetype index) const {
    return index >= 0 && index < kResultTableSize
               ? CheckStatus(status[index].load(std::memory_order_relaxed))
               : CheckStatus::None;
}

int32_t CheckResults::countAt(qsizetype index) const {
    return index >= 0 && index < kResultTableSize ? count[index].load(std::memory_order_relaxed)
                                                  : 0;
}

bool CheckResults::overLimitAt(qsizetype index) const {
    return index >= 0 && index < kResultTableSize &&
           overLimit[index].load(std::memory_order_relaxed) != 0;
}

RecordOutcome outcomeOf(const QString& verdict, const QString& maximum) {
    RecordOutcome outcome;
    QStringView word = verdict;
    if (verdict != u"NIL") {
        const qsizetype at = verdict.indexOf(u'@');
        outcome.count = at >= 0 ? verdict.mid(at + 1).toInt() : 0;
        const std::optional<int32_t> max = parseInt32Text(maximum);
        outcome.overLimit = max && *max < outcome.count;
        word = at >= 0 ? QStringView(verdict).first(at) : QStringView(verdict);
    }
    outcome.status = word == u"NIL"      ? CheckStatus::Missing
                     : word == u"HIDDEN" ? CheckStatus::Hidden
                                         : CheckStatus::Found;
    return outcome;
}

CheckRun::CheckRun(CheckRunHost& host, FetchSettings settings, CheckRunOptions options)
    : host_(host),
      settings_(std::move(settings)),
      options_(options),
      abort_(std::make_unique<AbortFlag>(settings_.abort)),
      CursorLock(std::make_shared<std::mutex>()) {
    options_.workers = std::max(1, options_.workers);
}

CheckRun::~CheckRun() {
    while (!shutdown(std::chrono::seconds(10))) {
    }
}

void CheckRun::start() {
    if (state_ != State::Idle) {
        return;
    }
    // Every worker of the previous run has ended (that is what idle means);
    // their threads only have to be collected.
    joinEndedWorkers();

    StopRequested.store(false, std::memory_order_relaxed);
    abort_ = std::make_unique<AbortFlag>(settings_.abort);
    CursorLock = std::make_shared<std::mutex>();
    NextRecordIndex = 0;
    deferred_.clear();
    deferredHeads_.clear();
    gate_ = options_.perHost > 0 ? std::make_unique<HostGate>(options_.perHost) : nullptr;
    reciprocal_ = std::make_unique<ReciprocalPages>();
    CheckResults_.clear();
    host_.RepaintRecordList();
    state_ = State::Running;
    liveWorkers_ = options_.workers;
    host_.runStateChanged();
    FetchSettings workerSettings = settings_;
    workerSettings.abort = abort_.get();
    workerSettings.hostGate = gate_.get();
    for (int i = 0; i < options_.workers; ++i) {
        threads_.emplace_back(
            [worker = checkurls(*this, CursorLock, workerSettings)]() mutable { worker.run(); });
    }
}

void CheckRun::requestStop() {
    if (state_ != State::Running) {
        return;
    }
    StopRequested.store(true, std::memory_order_relaxed);
    state_ = State::Stopping;
    host_.runStateChanged();
}

void CheckRun::abortDownloads() {
    abort_->set();
}

bool CheckRun::shutdown(std::chrono::milliseconds bound) {
    requestStop();
    if (state_ != State::Idle) {
        abortDownloads();
    }
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (liveWorkers_ > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        host_.processPendingTasks(std::min(left, std::chrono::milliseconds(20)));
    }
    joinEndedWorkers();
    return true;
}

void CheckRun::joinEndedWorkers() {
    // A worker's last act is to hand WorkerTerminated over, so once every
    // worker has done that, joining only waits for the threads to return.
    for (std::thread& t : threads_) {
        t.join();
    }
    threads_.clear();
}

namespace {

// A copy of its own: what a worker is handed must not share data with the
// list, which the UI thread may change in place while the worker reads, nor
// with the host names the gate and the waiting lists keep on the UI thread.
template <typename Text>
Text ownCopy(const Text& text) {
    return Text(text.constData(), text.size());
}

}  // namespace

void CheckRun::TakeNextRecord() {
    CurrentRecordMustWait = false;
    CurrentRecordHost.clear();
    if (gate_) {
        takeWithinHostLimits();
    } else if (NextRecordIndex < host_.recordCount()) {
        CurrentRecordText = ownCopy(host_.recordAt(NextRecordIndex));
        CurrentRecordIndex = NextRecordIndex;
        CurrentRecordIsEnd = false;
        ++NextRecordIndex;
    } else {
        CurrentRecordText = QStringLiteral("NIL");
        CurrentRecordIsEnd = true;
    }
}

void CheckRun::takeWithinHostLimits() {
    auto handOut = [this](int32_t index, QString line, const QByteArray& host) {
        CurrentRecordText = std::move(line);
        CurrentRecordIndex = index;
        CurrentRecordHost = ownCopy(host);
        CurrentRecordIsEnd = false;
    };
    // Records passed over come first, in list order, as soon as their host
    // has room.
    for (auto it = deferredHeads_.begin(); it != deferredHeads_.end(); ++it) {
        if (!gate_->tryEnter(it->second)) {
            continue;
        }
        const int32_t index = it->first;
        QByteArray host = it->second;
        deferredHeads_.erase(it);
        std::deque<int32_t>& waiting = deferred_[host];
        waiting.pop_front();
        if (waiting.empty()) {
            deferred_.remove(host);
        } else {
            deferredHeads_.emplace(waiting.front(), host);
        }
        handOut(index, ownCopy(host_.recordAt(index)), host);
        return;
    }
    while (NextRecordIndex < host_.recordCount()) {
        const int32_t index = NextRecordIndex++;
        QString line = ownCopy(host_.recordAt(index));
        QByteArray host = requestHostOf(firstAddressOf(ExtractField(line, QChar(u'U'))));
        // An address without a host fails at once; it waits for nobody.
        if (host.isEmpty() || gate_->tryEnter(host)) {
            handOut(index, std::move(line), host);
            return;
        }
        std::deque<int32_t>& waiting = deferred_[host];
        if (waiting.empty()) {
            deferredHeads_.emplace(index, host);
        }
        waiting.push_back(index);
    }
    if (!deferredHeads_.empty()) {
        CurrentRecordMustWait = true;
        CurrentRecordIsEnd = false;
        return;
    }
    CurrentRecordText = QStringLiteral("NIL");
    CurrentRecordIsEnd = true;
}

void CheckRun::WorkerTerminated() {
    if (--liveWorkers_ == 0) {
        state_ = State::Idle;
        host_.runStateChanged();
    }
}

namespace {

// Why a loaded page's verdict is what it is, where there is a why.
VerdictReason verdictReasonOf(CheckStatus status, const LinkScanResult& scan,
                              const QString& yourLink) {
    if (status == CheckStatus::Hidden) {
        return scan.hiddenBy == HiddenBy::Nofollow ? VerdictReason::Nofollow
                                                   : VerdictReason::Noindex;
    }
    if (status == CheckStatus::Missing && yourLink.isEmpty()) {
        return VerdictReason::NoLink;
    }
    return VerdictReason::None;
}

}  // namespace

checkurls::checkurls(CheckRun& run, std::shared_ptr<std::mutex> cursorLock, FetchSettings settings)
    : run_(run), cursorLock_(std::move(cursorLock)), settings_(std::move(settings)) {}

void checkurls::run() {
    CheckRun& r = run_;
    for (;;) {
        QString record;
        bool end = false;
        bool wait = false;
        int32_t index = 0;
        QByteArray admitted;  // the gate has let the first attempt in for this host
        {
            // Holding the lock across the hand-out makes "take the next
            // record" and "read which one it was" one step. The texts are
            // moved out, so no data is shared with the UI thread, which
            // clears them at the next hand-out.
            std::lock_guard lock(*cursorLock_);
            r.host_.runOnUiThread([&r] { r.TakeNextRecord(); });
            record = std::move(r.CurrentRecordText);
            end = r.CurrentRecordIsEnd;
            wait = r.CurrentRecordMustWait;
            index = r.CurrentRecordIndex;
            admitted = std::move(r.CurrentRecordHost);
        }
        const QString maximum = ExtractField(record, QChar(u'5'));
        const QString yourLink = ExtractField(record, QChar(u'6'));
        const QString partnerUrl = ExtractField(record, QChar(u'U'));
        if (r.StopRequested.load(std::memory_order_relaxed) || end) {
            if (!admitted.isEmpty()) {
                settings_.hostGate->leave(admitted);
            }
            break;
        }
        if (wait) {
            settings_.hostGate->waitForLeave(50);
            continue;
        }
        const bool inTable = index >= 0 && index < kResultTableSize;
        const FetchResult page = FetchPage(partnerUrl, settings_, admitted);
        if (!page.success && settings_.abort && settings_.abort->isSet()) {
            // Cut off: like a record a stop left untaken, it gets no result.
            break;
        }
        RecordCheck check;
        check.index = index;
        check.outcome.status = CheckStatus::FetchFailed;
        check.partnerUrl = partnerUrl;
        check.link = yourLink;
        if (!page.success) {
            if (inTable) {
                r.CheckResults_.status[index].store(int32_t(CheckStatus::FetchFailed),
                                                    std::memory_order_relaxed);
            }
            for (const FetchAttempt& attempt : page.attempts) {
                check.failures += attempt.reason;
            }
        } else {
            if (r.StopRequested.load(std::memory_order_relaxed)) {
                break;  // a page that loaded after the stop is not written
            }
            // The same single scan as ScanBacklink, which also tells which
            // rule hid a link and what the page says to search engines.
            LinkScanResult scan;
            if (!yourLink.isEmpty()) {
                scan = scanLinks(page.pageText, yourLink, page.firstAddress, false);
            }
            const QString verdict = yourLink.isEmpty() ? QStringLiteral("NIL") : verdictText(scan);
            check.outcome = outcomeOf(verdict, maximum);
            check.verdictReason = verdictReasonOf(check.outcome.status, scan, yourLink);
            check.pageSignals = scan.pageSignals | robotsHeaderSignals(page.robotsTags) |
                                (page.challengeMarker ? ChallengeMarker : 0);
            if (inTable) {
                r.CheckResults_.count[index].store(check.outcome.count, std::memory_order_relaxed);
                if (check.outcome.overLimit) {
                    r.CheckResults_.overLimit[index].store(1, std::memory_order_relaxed);
                }
                r.CheckResults_.status[index].store(int32_t(check.outcome.status),
                                                    std::memory_order_relaxed);
            }
        }
        // Reading a date may consult the time zone, which the C library
        // keeps without a lock we could share: it is read on the UI thread.
        const QString deadline = ExtractField(record, QChar(u'D'));
        const auto report = [&r, &check, &deadline] {
            check.deadline = parseDeadline(deadline).value_or(QDate());
            r.host_.recordChecked(check);
        };
        // The partner page's result shows first; the user's own page is
        // looked at after it, unless a stop has come.
        const QString ownPage = ExtractField(record, QChar(u'4'));
        if (ownPage.isEmpty() || r.StopRequested.load(std::memory_order_relaxed)) {
            r.host_.runOnUiThread([&r, &report] {
                r.host_.RepaintRecordList();
                report();
            });
        } else {
            r.host_.runOnUiThread([&r] { r.host_.RepaintRecordList(); });
            check.reciprocal = r.reciprocal_->check(ownPage, partnerUrl, settings_);
            r.host_.runOnUiThread(report);
        }
        if (!page.success) {
            continue;
        }
        if (r.StopRequested.load(std::memory_order_relaxed)) {
            break;
        }
    }
    r.host_.postToUiThread([&r] { r.WorkerTerminated(); });
}

}  // namespace quorvel
