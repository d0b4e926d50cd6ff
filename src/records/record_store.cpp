#include "records/record_store.h"

#include <algorithm>
#include <limits>
#include <new>

namespace quorvel {

namespace {

constexpr qsizetype kMaxBuffer = std::numeric_limits<uint32_t>::max();
// Text left behind by edits is dropped once there is more of it than this
// and than the text still in use.
constexpr qsizetype kGarbageAllowance = 1 << 20;

}  // namespace

RecordStore::RecordStore(std::initializer_list<QString> records) {
    spans_.reserve(qsizetype(records.size()));
    for (const QString& record : records) {
        append(record);
    }
}

RecordStore::RecordStore(const QStringList& records) {
    qsizetype units = 0;
    for (const QString& record : records) {
        units += record.size();
    }
    text_.reserve(units);
    spans_.reserve(records.size());
    for (const QString& record : records) {
        append(record);
    }
}

RecordStore RecordStore::fromLines(QString text, qsizetype expectedLines) {
    if (text.size() > kMaxBuffer) {
        qBadAlloc();
    }
    RecordStore store;
    store.byLines_ = true;
    store.lineEnds_.reserve(expectedLines);
    const auto* data = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i];
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        store.lineEnds_.append(uint32_t(i));
        store.live_ += i - start;
        if (c == u'\r' && i + 1 < n && data[i + 1] == u'\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < n) {
        store.lineEnds_.append(uint32_t(n));
        store.live_ += n - start;
    }
    store.text_ = std::move(text);
    return store;
}

void RecordStore::toSpans() {
    if (!byLines_) {
        return;
    }
    spans_.reserve(lineEnds_.size());
    qsizetype start = 0;
    for (const uint32_t end : lineEnds_) {
        spans_.append(Span{uint32_t(start), uint32_t(end - start)});
        if (end < text_.size()) {
            start = lineStartAfter(end);
        }
    }
    lineEnds_ = QList<uint32_t>();
    byLines_ = false;
}

RecordStore::Span RecordStore::place(QStringView record) {
    if (record.isEmpty()) {
        return Span{0, 0};
    }
    if (text_.size() + record.size() > kMaxBuffer) {
        compact();
        if (text_.size() + record.size() > kMaxBuffer) {
            qBadAlloc();
        }
    }
    const Span span{uint32_t(text_.size()), uint32_t(record.size())};
    // The buffer grows by reallocation, which for a large buffer remaps its
    // pages instead of copying them.
    text_.append(record);
    live_ += record.size();
    return span;
}

void RecordStore::insert(qsizetype i, QStringView record) {
    Q_ASSERT(i >= 0 && i <= size());
    toSpans();
    spans_.insert(i, place(record));
}

void RecordStore::replace(qsizetype i, QStringView record) {
    toSpans();
    Span& old = spans_[i];
    if (record.size() <= qsizetype(old.length)) {
        // Fits where the old text was.
        std::copy(record.begin(), record.end(), text_.begin() + old.start);
        garbage_ += old.length - record.size();
        live_ -= old.length - record.size();
        old.length = uint32_t(record.size());
    } else {
        garbage_ += old.length;
        live_ -= old.length;
        const Span placed = place(record);
        spans_[i] = placed;
    }
    if (garbage_ > kGarbageAllowance && garbage_ > live_) {
        compact();
    }
}

void RecordStore::remove(qsizetype first, qsizetype count) {
    Q_ASSERT(first >= 0 && count >= 0 && first + count <= size());
    toSpans();
    for (qsizetype i = first; i < first + count; ++i) {
        garbage_ += spans_.at(i).length;
        live_ -= spans_.at(i).length;
    }
    spans_.remove(first, count);
    if (spans_.isEmpty()) {
        clear();
    } else if (garbage_ > kGarbageAllowance && garbage_ > live_) {
        compact();
    }
}

void RecordStore::clear() {
    text_ = QString();
    byLines_ = false;
    lineEnds_ = QList<uint32_t>();
    spans_ = QList<Span>();
    live_ = 0;
    garbage_ = 0;
}

void RecordStore::compact() {
    QString text;
    text.reserve(live_);
    for (Span& span : spans_) {
        const qsizetype at = text.size();
        text.append(QStringView(text_).sliced(span.start, span.length));
        span.start = uint32_t(span.length ? at : 0);
    }
    text_ = std::move(text);
    garbage_ = 0;
}

QStringList RecordStore::toStringList() const {
    QStringList list;
    list.reserve(size());
    for (QStringView record : *this) {
        list.append(record.toString());
    }
    return list;
}

bool operator==(const RecordStore& a, const RecordStore& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool operator==(const RecordStore& a, const QStringList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace quorvel
