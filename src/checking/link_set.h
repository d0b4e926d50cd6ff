#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <vector>

namespace quorvel {

// Stable storage for texts, so that a set can hold views without an
// allocation per text.
class TextArena {
  public:
    QStringView store(QStringView text);

  private:
    static constexpr qsizetype kChunk = 32 * 1024;
    std::vector<std::unique_ptr<char16_t[]>> chunks_;
    char16_t* next_ = nullptr;
    qsizetype left_ = 0;
};

// Distinct links. With Folded, two links are the same when their case-folded
// forms are equal (the scanner's links are lower-cased already, so ASCII
// needs no folding), and the first spelling of each is kept for a sorted
// list; with Exact, only equal texts are the same. An open-addressing table
// of views into an arena: no allocation per link.
class LinkSet {
  public:
    enum class Compare { Folded, Exact };

    explicit LinkSet(bool keepLinks, Compare compare = Compare::Folded)
        : keepLinks_(keepLinks), compare_(compare), slots_(64) {}

    // `link` may point into a buffer that is reused after the call.
    void add(QStringView link);
    int size() const { return int(size_); }
    // The kept links in the order of the Russian locale, letter case ignored.
    QStringList sorted() const;

  private:
    struct Slot {
        size_t hash = 0;
        QStringView key;
        bool used = false;
    };
    struct Entry {
        QStringView link;
        QStringView key;
    };

    // The slot holding `key`, or the free slot where it belongs.
    Slot* find(QStringView key, size_t hash);
    void grow();

    bool keepLinks_;
    Compare compare_;
    TextArena arena_;
    std::vector<Slot> slots_;  // a power of two, at most half full
    size_t size_ = 0;
    std::vector<Entry> links_;
};

}  // namespace quorvel
