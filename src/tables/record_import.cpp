#include "tables/record_import.h"

#include <array>

#include "history/history.h"
#include "records/record_line.h"

namespace quorvel {

namespace {

constexpr int kDeadline = int(ImportField::Deadline);

size_t identityHash(const QString& partnerUrl, const QString& link) {
    return qHash(RecordIdentity{partnerUrl, link});
}

std::array<QString, 8> fieldsOf(QStringView line) {
    const std::array<QStringView, 8> views = ExtractAllFields(line);
    std::array<QString, 8> fields;
    for (size_t k = 0; k < fields.size(); ++k) {
        fields[k] = views[k].toString();
    }
    return fields;
}

QString lineOf(const std::array<QString, 8>& fields) {
    std::array<QStringView, 8> views;
    for (size_t k = 0; k < fields.size(); ++k) {
        views[k] = fields[k];
    }
    return recordLineOf(views);
}

// A new record in the compact form it waits in: its values joined by LF.
QString compactOf(const std::array<QString, 8>& fields) {
    QString text;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) {
            text += u'\n';
        }
        text += fields[k];
    }
    return text;
}

std::array<QStringView, 8> valuesOf(QStringView compact) {
    std::array<QStringView, 8> values;
    size_t k = 0;
    for (const QStringView value : compact.tokenize(u'\n')) {
        if (k < values.size()) {
            values[k++] = value;
        }
    }
    return values;
}

}  // namespace

RecordImport::RecordImport(const RecordStore& existing, bool update, const QLocale& locale)
    : existing_(existing), update_(update), locale_(locale), deadlines_(locale) {}

std::array<QString, 8> RecordImport::fieldsAt(Slot slot) const {
    if (slot >= 0) {
        return fieldsOf(updates_.value(slot, existing_.at(slot)));
    }
    const std::array<QStringView, 8> values = valuesOf(added_.view(~slot));
    std::array<QString, 8> fields;
    for (size_t k = 0; k < fields.size(); ++k) {
        fields[k] = values[k].toString();
    }
    return fields;
}

void RecordImport::setFieldsAt(Slot slot, const std::array<QString, 8>& fields) {
    if (slot < 0) {
        added_.replace(~slot, compactOf(fields));
    } else {
        updates_.insert(slot, lineOf(fields));
    }
}

RecordIdentity RecordImport::identityAt(Slot slot) const {
    if (slot >= 0) {
        return identityOf(updates_.value(slot, existing_.at(slot)));
    }
    const std::array<QStringView, 8> values = valuesOf(added_.view(~slot));
    return {values[size_t(ImportField::PartnerPage)].toString(),
            values[size_t(ImportField::YourLink)].toString()};
}

std::optional<RecordImport::Slot> RecordImport::find(const QString& partnerUrl,
                                                     const QString& link) const {
    const size_t hash = identityHash(partnerUrl, link);
    const RecordIdentity wanted{partnerUrl, link};
    const auto matches = [&](Slot slot) { return identityAt(slot) == wanted; };
    const auto first = firstByHash_.constFind(hash);
    if (first == firstByHash_.cend()) {
        return std::nullopt;
    }
    if (matches(*first)) {
        return *first;
    }
    for (auto it = moreByHash_.constFind(hash); it != moreByHash_.cend() && it.key() == hash;
         ++it) {
        if (matches(*it)) {
            return *it;
        }
    }
    return std::nullopt;
}

void RecordImport::remember(const QString& partnerUrl, const QString& link, Slot slot) {
    const size_t hash = identityHash(partnerUrl, link);
    if (!firstByHash_.contains(hash)) {
        firstByHash_.insert(hash, slot);
    } else if (!find(partnerUrl, link)) {
        moreByHash_.insert(hash, slot);
    }
}

void RecordImport::beginTable(const ColumnMapping& mapping, const TableLayout& layout) {
    if (!existingIndexed_) {
        // The list's own records, the first of each identity, as the history counts them.
        existingIndexed_ = true;
        firstByHash_.reserve(existing_.size());
        for (qsizetype i = 0; i < existing_.size(); ++i) {
            const RecordIdentity identity = identityOf(existing_.view(i));
            remember(identity.partnerUrl, identity.link, i);
        }
    }
    mapping_ = withoutRepeats(mapping);
    textTable_ = layout.format == TableFormat::Text;
    deadlines_ = DeadlineColumn(locale_, layout.dates1904);
    pending_.clear();
}

void RecordImport::addRow(const TableRow& row) {
    std::array<QString, 8> values;
    std::array<bool, 8> mapped{};
    bool blank = true;
    bool number = false;  // the deadline's cell is a spreadsheet's number
    bool tags = false;
    for (qsizetype column = 0; column < row.cells.size(); ++column) {
        QString value = cellValue(row.cells.at(column));
        blank = blank && value.isEmpty();
        const ImportField field = mapping_.value(column, ImportField::None);
        if (field == ImportField::None) {
            continue;
        }
        if (textTable_) {
            value = withoutFormulaGuard(value);
        }
        tags = tags || holdsFieldTag(value);
        const size_t k = size_t(field);
        mapped[k] = true;
        if (field == ImportField::Notes) {
            if (!value.isEmpty()) {
                values[k] += (values[k].isEmpty() ? QString() : QStringLiteral(" | ")) + value;
            }
        } else {
            values[k] = value;
            number = number || (field == ImportField::Deadline && row.isNumber(column));
        }
    }
    if (blank) {
        return;  // an empty line or row says nothing
    }
    if (tags) {
        ++counts_.withTags;
        return;
    }
    const QString& partnerUrl = values[size_t(ImportField::PartnerPage)];
    const QString& link = values[size_t(ImportField::YourLink)];
    if (partnerUrl.isEmpty()) {
        ++counts_.noAddress;
        return;
    }

    const std::optional<Slot> known = find(partnerUrl, link);
    if (known && (*known < 0 || !update_ || touched_.contains(*known))) {
        ++counts_.duplicates;
        return;
    }

    // The deadline as the window writes one.
    QString deadline;
    bool slashed = false;
    QDate date;
    switch (deadlines_.read(values[kDeadline], number, &date)) {
        case DeadlineColumn::Reading::Empty:
            break;
        case DeadlineColumn::Reading::Date:
            deadline = FormatRecordDate(date, locale_);
            break;
        case DeadlineColumn::Reading::Slashed:
            slashed = true;
            break;
        case DeadlineColumn::Reading::Unreadable:
            ++counts_.badDates;
            break;
    }
    const QString rawDeadline = values[kDeadline];
    values[kDeadline] = deadline;

    if (known) {
        // An existing record: its non-empty values are replaced.
        touched_.insert(*known);
        const std::array<QString, 8> before = fieldsAt(*known);
        std::array<QString, 8> fields = before;
        for (size_t k = 0; k < fields.size(); ++k) {
            if (mapped[k] && !values[k].isEmpty()) {
                fields[k] = values[k];
            }
        }
        if (fields == before && !slashed) {
            ++counts_.duplicates;
            return;
        }
        setFieldsAt(*known, fields);
        ++counts_.updated;
        if (slashed) {
            pending_.append({*known, rawDeadline});
        }
        return;
    }
    const Slot slot = ~added_.size();
    added_.append(compactOf(values));
    remember(partnerUrl, link, slot);
    ++counts_.added;
    if (slashed) {
        pending_.append({slot, rawDeadline});
    }
}

void RecordImport::setDeadline(Slot slot, const QString& deadline) {
    std::array<QString, 8> fields = fieldsAt(slot);
    fields[kDeadline] = deadline;
    setFieldsAt(slot, fields);
}

void RecordImport::endTable() {
    for (const Pending& pending : std::as_const(pending_)) {
        if (const std::optional<QDate> date = deadlines_.resolve(pending.text)) {
            setDeadline(pending.slot, FormatRecordDate(*date, locale_));
        } else {
            ++counts_.badDates;
        }
    }
    pending_ = QList<Pending>();
}

RecordStore RecordImport::added() const {
    RecordStore lines;
    for (const QStringView compact : added_) {
        lines.append(recordLineOf(valuesOf(compact)));
    }
    return lines;
}

void RecordImport::applyTo(RecordStore* records) const {
    for (auto it = updates_.cbegin(); it != updates_.cend(); ++it) {
        records->replace(it.key(), it.value());
    }
    for (const QStringView compact : added_) {
        records->append(recordLineOf(valuesOf(compact)));
    }
}

RecordSequence RecordImport::result() const {
    return [this](const RecordVisitor& visit) {
        for (qsizetype i = 0; i < existing_.size(); ++i) {
            const auto updated = updates_.constFind(i);
            visit(updated != updates_.cend() ? QStringView(*updated) : existing_.view(i));
        }
        for (const QStringView compact : added_) {
            visit(recordLineOf(valuesOf(compact)));
        }
    };
}

void RecordImport::dropIndex() {
    firstByHash_ = QHash<size_t, Slot>();
    moreByHash_ = QMultiHash<size_t, Slot>();
    touched_ = QSet<Slot>();
}

}  // namespace quorvel
