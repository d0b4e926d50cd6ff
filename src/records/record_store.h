#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <initializer_list>
#include <iterator>

namespace quorvel {

// The record list in compact form: the text of every record in one buffer.
// A list read from a file keeps the decoded file text as its buffer, line
// ends and all, with only the end of each line beside it (4 bytes a record),
// so reading makes no copy per line. The first edit turns that into a span
// (start, length) per record, 8 bytes each; edits append the new text at the
// end and move spans only, and the text left behind is dropped once it
// outweighs the rest.
class RecordStore {
  public:
    RecordStore() = default;
    RecordStore(std::initializer_list<QString> records);
    // A list of lines is a store of lines: callers and tests may pass either.
    RecordStore(const QStringList& records);  // NOLINT(google-explicit-constructor)

    // Takes `text` as the buffer and makes one record of each line in it, cut
    // at CR LF, a lone CR or a lone LF; a line end at the very end adds no
    // empty record. `expectedLines` only sizes the span list up front.
    static RecordStore fromLines(QString text, qsizetype expectedLines = 0);

    qsizetype size() const { return byLines_ ? lineEnds_.size() : spans_.size(); }
    bool isEmpty() const { return size() == 0; }
    // Valid until the store changes.
    QStringView view(qsizetype i) const {
        if (byLines_) {
            const qsizetype start = i == 0 ? 0 : lineStartAfter(lineEnds_.at(i - 1));
            return QStringView(text_).sliced(start, lineEnds_.at(i) - start);
        }
        const Span s = spans_.at(i);
        return QStringView(text_).sliced(s.start, s.length);
    }
    QString at(qsizetype i) const { return view(i).toString(); }
    // The number of UTF-16 units of all records together, line ends excluded.
    qsizetype textSize() const { return live_; }

    void append(QStringView record) { insert(size(), record); }
    void insert(qsizetype i, QStringView record);
    void replace(qsizetype i, QStringView record);
    void removeAt(qsizetype i) { remove(i, 1); }
    void remove(qsizetype first, qsizetype count);
    void clear();

    QStringList toStringList() const;

    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = QStringView;
        using difference_type = qsizetype;
        using pointer = void;
        using reference = QStringView;
        const_iterator(const RecordStore* store, qsizetype i) : store_(store), i_(i) {}
        QStringView operator*() const { return store_->view(i_); }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return i_ == other.i_; }

      private:
        const RecordStore* store_;
        qsizetype i_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    friend bool operator==(const RecordStore& a, const RecordStore& b);
    friend bool operator==(const RecordStore& a, const QStringList& b);

  private:
    struct Span {
        uint32_t start;
        uint32_t length;
    };

    // Where the line after the line end at `end` begins.
    qsizetype lineStartAfter(qsizetype end) const {
        const bool crLf =
            text_.at(end) == u'\r' && end + 1 < text_.size() && text_.at(end + 1) == u'\n';
        return end + (crLf ? 2 : 1);
    }
    void toSpans();
    Span place(QStringView record);
    void compact();

    QString text_;
    bool byLines_ = false;      // the records are the lines of text_, in order
    QList<uint32_t> lineEnds_;  // while byLines_: where each record ends
    QList<Span> spans_;         // otherwise
    qsizetype live_ = 0;        // units that spans refer to
    qsizetype garbage_ = 0;     // units that edits left behind
};

}  // namespace quorvel
