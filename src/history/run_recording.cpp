#include "history/run_recording.h"

#include "checking/deadline.h"
#include "records/record_line.h"

namespace quorvel {

namespace {

// An identity's fingerprint, from views into the line: no copy per record.
size_t fingerprintOf(QStringView line) {
    return qHashMulti(0x51C0FFEE, ExtractFieldView(line, QChar(u'U')),
                      ExtractFieldView(line, QChar(u'6')));
}

}  // namespace

RunRecording::RunRecording(std::optional<QString> path, const RecordStore& records,
                           std::unique_ptr<RunRecording> previous, HistoryRecorderOptions options)
    : previous_(std::move(previous)) {
    // A recording whose writing is done is of no more use to its successors.
    for (std::unique_ptr<RunRecording>* link = &previous_; *link; link = &(*link)->previous_) {
        if (!(*link)->recorder_ || (*link)->recorder_->done()) {
            link->reset();
            break;
        }
    }
    if (path) {
        recorder_ = std::make_unique<HistoryRecorder>(
            std::move(*path), QDateTime::currentDateTimeUtc(), options,
            previous_ ? previous_->recorder_.get() : nullptr);
    }
    // Only identities that the list holds more than once need their first
    // place; a fingerprint per record finds them, and the identities
    // themselves tell a real repeat from two fingerprints that agree.
    QHash<size_t, int> firstByFingerprint;
    firstByFingerprint.reserve(records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QStringView line = records.view(i);
        const size_t fingerprint = fingerprintOf(line);
        const auto first = firstByFingerprint.constFind(fingerprint);
        if (first == firstByFingerprint.cend()) {
            firstByFingerprint.insert(fingerprint, int(i));
            continue;
        }
        RecordIdentity identity = identityOf(line);
        if (!firstAt_.contains(identity) && identityOf(records.view(*first)) == identity) {
            firstAt_.insert(std::move(identity), *first);
        }
    }
}

RunRecording::~RunRecording() = default;

bool RunRecording::isRecorded(int index, const RecordIdentity& identity) const {
    const auto first = firstAt_.constFind(identity);
    return first == firstAt_.cend() || *first == index;
}

bool RunRecording::isOverdue(QDate deadline, CheckStatus status, const QDateTime& firstChecked) {
    const QDate today = QDate::currentDate();
    return quorvel::isOverdue(deadline, status,
                              firstChecked.isValid() ? firstChecked.toLocalTime().date() : today,
                              today);
}

HistoryEntry RunRecording::entryOf(const RecordCheck& check) const {
    // The history knows the record's first check: it keeps the flag only for
    // a deadline whose day ended after it. The end of that day is read here,
    // on the owner's thread, where reading local time is safe.
    const qint64 deadlineEndsAt =
        check.deadline.isValid()
            ? QDateTime(check.deadline.addDays(1), QTime(0, 0)).toSecsSinceEpoch()
            : 0;
    return {{check.partnerUrl, check.link},
            QDateTime::currentDateTimeUtc(),
            check.outcome,
            check.reasonCode(),
            check.pageSignals,
            check.reciprocal,
            quorvel::isOverdue(check.deadline, check.outcome.status),
            deadlineEndsAt,
            check.anchor,
            check.nearLink,
            check.canonical,
            check.robotsAgent,
            check.external,
            check.rendered};
}

void RunRecording::add(const RecordCheck& check) {
    keptBack_.erase(check.index);
    if (recorder_ && isRecorded(check.index, {check.partnerUrl, check.link})) {
        recorder_->add(entryOf(check));
    }
}

void RunRecording::keepBack(const RecordCheck& check) {
    if (recorder_ && isRecorded(check.index, {check.partnerUrl, check.link})) {
        keptBack_.insert_or_assign(check.index, entryOf(check));
    }
}

void RunRecording::addKeptBack() {
    for (auto& [index, entry] : keptBack_) {
        recorder_->add(std::move(entry));  // only a recorder keeps anything back
    }
    keptBack_.clear();
}

HistoryRunOutcome RunRecording::finish(std::chrono::milliseconds bound) {
    return recorder_ ? recorder_->finish(bound) : HistoryRunOutcome{};
}

void RunRecording::finishInBackground(std::chrono::milliseconds bound) {
    if (recorder_) {
        recorder_->finishInBackground(bound);
    }
}

}  // namespace quorvel
