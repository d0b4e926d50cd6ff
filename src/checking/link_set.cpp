#include "checking/link_set.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <cstring>

namespace quorvel {

namespace {

// A hash of a text, eight bytes at a time.
size_t hashText(QStringView text) {
    const char16_t* s = text.utf16();
    qsizetype n = text.size();
    uint64_t h = 0x9E3779B97F4A7C15ull ^ uint64_t(n);
    for (; n >= 4; n -= 4, s += 4) {
        uint64_t w;
        std::memcpy(&w, s, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    for (; n > 0; --n, ++s) {
        h = (h ^ *s) * 0x94D049BB133111EBull;
    }
    h ^= h >> 29;
    return size_t(h * 0xBF58476D1CE4E5B9ull);
}

}  // namespace

QStringView TextArena::store(QStringView text) {
    if (chunks_.empty() || left_ < text.size()) {
        const qsizetype size = std::max<qsizetype>(kChunk, text.size());
        chunks_.push_back(std::make_unique_for_overwrite<char16_t[]>(size_t(size)));
        next_ = chunks_.back().get();
        left_ = size;
    }
    std::copy(text.utf16(), text.utf16() + text.size(), next_);
    const QStringView stored(next_, text.size());
    next_ += text.size();
    left_ -= text.size();
    return stored;
}

void LinkSet::add(QStringView link) {
    bool ascii = true;
    if (compare_ == Compare::Folded) {
        for (const QChar c : link) {
            if (c.unicode() >= 0x80) {
                ascii = false;
                break;
            }
        }
    }
    // Lower-case ASCII is its own case fold.
    const QString folded = ascii ? QString() : link.toString().toCaseFolded();
    const QStringView key = ascii ? link : QStringView(folded);
    const size_t hash = hashText(key);
    Slot* slot = find(key, hash);
    if (slot->used) {
        return;
    }
    const QStringView storedKey = arena_.store(key);
    *slot = Slot{hash, storedKey, true};
    ++size_;
    if (keepLinks_) {
        links_.push_back({ascii ? storedKey : arena_.store(link), storedKey});
    }
    if (size_ * 2 > slots_.size()) {
        grow();
    }
}

QStringList LinkSet::sorted() const {
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
#ifdef Q_OS_WIN
    // Windows collates with the system's own comparison: compared one pair
    // at a time, since Wine's sort keys do not always order as its
    // comparison does.
    std::vector<const Entry*> entries;
    entries.reserve(links_.size());
    for (const Entry& e : links_) {
        entries.push_back(&e);
    }
    std::sort(entries.begin(), entries.end(), [&](const Entry* a, const Entry* b) {
        const int c = collator.compare(a->link, b->link);
        return c != 0 ? c < 0 : a->key < b->key;
    });
    QStringList out;
    out.reserve(qsizetype(entries.size()));
    for (const Entry* e : entries) {
        out += e->link.toString();
    }
    return out;
#else
    struct Keyed {
        QCollatorSortKey sortKey;
        const Entry* entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(links_.size());
    for (const Entry& e : links_) {
        keyed.push_back({collator.sortKey(e.link.toString()), &e});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const int c = a.sortKey.compare(b.sortKey);
        return c != 0 ? c < 0 : a.entry->key < b.entry->key;
    });
    QStringList out;
    out.reserve(qsizetype(keyed.size()));
    for (const Keyed& k : keyed) {
        out += k.entry->link.toString();
    }
    return out;
#endif
}

LinkSet::Slot* LinkSet::find(QStringView key, size_t hash) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (!slot.used || (slot.hash == hash && slot.key == key)) {
            return &slot;
        }
    }
}

void LinkSet::grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.used) {
            *find(slot.key, slot.hash) = slot;
        }
    }
}

}  // namespace quorvel
