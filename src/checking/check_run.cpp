#include "checking/check_run.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "checking/address.h"
#include "checking/check_record.h"
#include "checking/host_gate.h"
#include "checking/page_memory.h"
#include "checking/page_renderer.h"
#include "checking/reciprocal_pages.h"
#include "checking/robots_files.h"
#include "records/record_line.h"

namespace quorvel {

void CheckResults::clear() {
    for (int i = 0; i < kResultTableSize; ++i) {
        status[i].store(0, std::memory_order_relaxed);
        count[i].store(0, std::memory_order_relaxed);
        overLimit[i].store(0, std::memory_order_relaxed);
    }
}

void CheckResults::store(int index, const RecordOutcome& outcome) {
    if (index < 0 || index >= kResultTableSize) {
        return;
    }
    if (outcome.status != CheckStatus::FetchFailed) {
        count[index].store(outcome.count, std::memory_order_relaxed);
        if (outcome.overLimit) {
            overLimit[index].store(1, std::memory_order_relaxed);
        }
    }
    status[index].store(int32_t(outcome.status), std::memory_order_relaxed);
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

// Owned jointly by a run and its workers, so that a run that stops waiting
// for a worker leaves nothing behind that the worker still uses. The worker
// reaches the run and its host only through here, and only while the run is
// there.
struct CheckRun::Shared {
    Shared(const FetchSettings& fetch, const CheckRunOptions& options,
           std::shared_ptr<CheckResults> tables, CheckRunHost& runHost, CheckRun& owner)
        : results(std::move(tables)),
          abort(fetch.abort),
          gate(options.perHost > 0 ? std::make_unique<HostGate>(options.perHost) : nullptr),
          memory(options.pageMemory),
          robots(options.robots ? std::make_unique<RobotsFiles>() : nullptr),
          renderer(options.renderer),
          settings(fetch),
          finishTakenRecords(options.finishTakenRecords),
          run(&owner),
          host(&runHost) {
        settings.abort = &abort;
        settings.hostGate = gate.get();
        settings.pageMemory = &memory;
    }

    // From a worker: runs `task` on the UI thread and waits for it. False
    // (nothing ran) once the run no longer waits for its workers.
    bool onUiThread(const std::function<void()>& task) {
        CheckRunHost* to = enterHost();
        if (!to) {
            return false;
        }
        to->runOnUiThread(task);
        leaveHost();
        return true;
    }

    // From a worker that ends: its last word to the run, if the run is there.
    void ended(const std::shared_ptr<Shared>& self) {
        if (CheckRunHost* to = enterHost()) {
            to->postToUiThread([self] {
                if (self->run) {
                    self->run->WorkerTerminated();
                }
            });
            leaveHost();
        }
    }

    // UI thread: the run stops waiting for its workers. No worker calls the
    // host after this returns, unless a call under way outlasts `bound`.
    void detach(std::chrono::milliseconds bound) {
        CheckRunHost* from = nullptr;
        {
            std::lock_guard lock(linkMutex);
            from = host;
            host = nullptr;
        }
        run = nullptr;
        // A call under way waits for a task that only this thread runs.
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (from && std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(linkMutex);
                if (callsUnderWay == 0) {
                    return;
                }
            }
            from->processPendingTasks(std::chrono::milliseconds(20));
        }
    }

    const std::shared_ptr<CheckResults> results;
    std::atomic<bool> StopRequested{false};
    AbortFlag abort;  // set by abortDownloads; hangs below the settings' own flag
    // Holding it across the hand-out makes "take the next record" and "read
    // which one it was" one step for a worker.
    std::mutex CursorLock;
    const std::unique_ptr<HostGate> gate;          // with a per-host limit only
    PageMemory memory;                             // room for the pages the workers hold
    ReciprocalPages reciprocal;                    // the user's own pages of this run
    const std::unique_ptr<RobotsFiles> robots;     // the sites' robots.txt, unless turned off
    const std::shared_ptr<PageRenderer> renderer;  // with --render only
    FetchSettings settings;                        // with the flag, the gate and the room above
    const bool finishTakenRecords;                 // see CheckRunOptions

    // UI thread only: the run, until it stops waiting for its workers.
    CheckRun* run;

  private:
    CheckRunHost* enterHost() {
        std::lock_guard lock(linkMutex);
        if (host) {
            ++callsUnderWay;
        }
        return host;
    }
    void leaveHost() {
        std::lock_guard lock(linkMutex);
        --callsUnderWay;
    }

    std::mutex linkMutex;
    CheckRunHost* host;  // null once the run no longer waits for its workers
    int callsUnderWay = 0;
};

CheckRun::CheckRun(CheckRunHost& host, FetchSettings settings, CheckRunOptions options)
    : host_(host),
      settings_(std::move(settings)),
      options_(options),
      CheckResults_(std::make_shared<CheckResults>()) {
    options_.workers = std::max(1, options_.workers);
}

CheckRun::~CheckRun() {
    if (shutdown(options_.endBound)) {
        return;
    }
    // Workers still busy keep the run's shared part alive and end on their
    // own; none of them calls the host once it is detached.
    shared_->detach(options_.endBound);
    for (std::thread& t : threads_) {
        t.detach();
    }
}

void CheckRun::start() {
    if (state_ != State::Idle) {
        return;
    }
    // Every worker of the previous run has ended (that is what idle means);
    // their threads only have to be collected.
    joinEndedWorkers();

    // A fresh stop flag, CursorLock and abort flag for every run.
    shared_ = std::make_shared<Shared>(settings_, options_, CheckResults_, host_, *this);
    NextRecordIndex = 0;
    deferred_.clear();
    deferredHeads_.clear();
    CheckResults_->clear();
    host_.RepaintRecordList();
    state_ = State::Running;
    liveWorkers_ = options_.workers;
    host_.runStateChanged();
    for (int i = 0; i < options_.workers; ++i) {
        threads_.emplace_back([worker = checkurls(shared_)]() mutable { worker.run(); });
    }
}

void CheckRun::requestStop() {
    if (state_ != State::Running) {
        return;
    }
    shared_->StopRequested.store(true, std::memory_order_relaxed);
    state_ = State::Stopping;
    host_.runStateChanged();
}

void CheckRun::abortDownloads() {
    if (shared_) {
        shared_->abort.set();
    }
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

Handout CheckRun::TakeNextRecord() {
    if (shared_->gate) {
        return takeWithinHostLimits();
    }
    if (NextRecordIndex < host_.recordCount()) {
        Handout handout{
            Handout::Kind::Record, NextRecordIndex, host_.recordAt(NextRecordIndex), {}};
        ++NextRecordIndex;
        return handout;
    }
    return {};
}

Handout CheckRun::takeWithinHostLimits() {
    HostGate& gate = *shared_->gate;
    // Records passed over come first, in list order, as soon as their host
    // has room.
    for (auto it = deferredHeads_.begin(); it != deferredHeads_.end(); ++it) {
        if (!gate.tryEnter(it->second)) {
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
        return {Handout::Kind::Record, index, host_.recordAt(index), std::move(host)};
    }
    while (NextRecordIndex < host_.recordCount()) {
        const int32_t index = NextRecordIndex++;
        QString line = host_.recordAt(index);
        QByteArray host = requestHostOf(firstAddressOf(ExtractField(line, QChar(u'U'))));
        // An address without a host fails at once; it waits for nobody.
        if (host.isEmpty() || gate.tryEnter(host)) {
            return {Handout::Kind::Record, index, std::move(line), std::move(host)};
        }
        std::deque<int32_t>& waiting = deferred_[host];
        if (waiting.empty()) {
            deferredHeads_.emplace(index, host);
        }
        waiting.push_back(index);
    }
    if (!deferredHeads_.empty()) {
        return {Handout::Kind::Wait, 0, {}, {}};
    }
    return {};
}

void CheckRun::WorkerTerminated() {
    if (--liveWorkers_ == 0) {
        state_ = State::Idle;
        host_.runStateChanged();
    }
}

checkurls::checkurls(std::shared_ptr<CheckRun::Shared> shared) : shared_(std::move(shared)) {}

void checkurls::run() {
    CheckRun::Shared& s = *shared_;
    const auto stopRequested = [&s] { return s.StopRequested.load(std::memory_order_relaxed); };
    for (;;) {
        Handout handout;
        {
            std::lock_guard lock(s.CursorLock);
            // The hand-out is a value of the worker's own, made on the UI
            // thread: nothing in it is shared with the run afterwards.
            const bool handedOut = s.onUiThread([&s, &handout] {
                if (s.run) {
                    handout = s.run->TakeNextRecord();
                }
            });
            if (!handedOut) {
                break;  // the run is gone: it waits for no result
            }
        }
        const RecordFields fields = RecordFields::of(handout.CurrentRecordText);
        if (stopRequested() || handout.kind == Handout::Kind::End) {
            if (!handout.host.isEmpty()) {
                s.gate->leave(handout.host);
            }
            break;
        }
        if (handout.kind == Handout::Kind::Wait) {
            s.gate->waitForLeave(50);
            continue;
        }
        static const std::atomic<bool> neverStopped{false};
        const bool finish = s.finishTakenRecords;
        RecordCheck check =
            checkRecord(fields, s.settings, finish ? neverStopped : s.StopRequested, handout.host);
        if (check.outcome.status == CheckStatus::None) {
            break;  // cut off, or loaded after a stop: nothing is written
        }
        check.index = handout.index;
        check.afterStop = !finish && stopRequested();
        s.results->store(check.index, check.outcome);
        const bool loaded = check.outcome.status != CheckStatus::FetchFailed;
        // Reading a date may consult the time zone, which the C library
        // keeps without a lock we could share: it is read on the UI thread.
        const auto report = [&s, &check, &fields] {
            check.deadline = parseDeadline(fields.deadline).value_or(QDate());
            if (s.run) {
                s.run->host_.recordChecked(check);
            }
        };
        const auto repaint = [&s] {
            if (s.run) {
                s.run->host_.RepaintRecordList();
            }
        };
        // The partner page's result shows first; what is looked at after it
        // (its site's robots.txt, the page rendered, the user's own page)
        // comes after, unless a stop has come.
        const bool robots = loaded && s.robots;
        const bool render =
            s.renderer && check.outcome.status == CheckStatus::Missing && !fields.link.isEmpty();
        bool reported = false;
        if ((!robots && !render && fields.ownPage.isEmpty()) || (!finish && stopRequested())) {
            reported = s.onUiThread([&repaint, &report] {
                repaint();
                report();
            });
        } else if (s.onUiThread(repaint)) {
            if (robots && !stopRequested()) {
                const RobotsVerdict verdict = s.robots->verdictFor(check.pageAddress, s.settings);
                if (!verdict.agent.isEmpty()) {
                    check.robotsAgent = verdict.agent;
                    check.pageSignals |= RobotsDisallow;
                }
            }
            if (render && !stopRequested()) {
                check.pageSignals |= renderedSignals(*s.renderer, check.pageAddress, fields.link,
                                                     fields.partnerUrl, &check.renderFailure);
                check.rendered = check.renderFailure.isEmpty();
            }
            if (!fields.ownPage.isEmpty()) {
                check.reciprocal =
                    s.reciprocal.check(fields.ownPage, fields.partnerUrl, s.settings);
            }
            reported = s.onUiThread(report);
        }
        if (!reported || (loaded && stopRequested())) {
            break;
        }
    }
    s.ended(shared_);
}

}  // namespace quorvel
