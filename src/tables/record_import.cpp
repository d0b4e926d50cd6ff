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

}  // namespace

RecordImport::RecordImport(const RecordStore& existing, bool update, const QLocale& locale)
    : existing_(existing), update_(update), locale_(locale), deadlines_(locale) {}

QString RecordImport::lineAt(Slot slot) const {
    if (slot < 0) {
        return added_.at(~slot);
    }
    return updates_.value(slot, existing_.at(slot));
}

void RecordImport::setLineAt(Slot slot, const QString& line) {
    if (slot < 0) {
        added_.replace(~slot, line);
    } else {
        updates_.insert(slot, line);
    }
}

std::optional<RecordImport::Slot> RecordImport::find(const QString& partnerUrl,
                                                     const QString& link) const {
    const size_t hash = identityHash(partnerUrl, link);
    const RecordIdentity wanted{partnerUrl, link};
    const auto matches = [&](Slot slot) { return identityOf(lineAt(slot)) == wanted; };
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
        const QString before = lineAt(*known);
        std::array<QString, 8> fields = fieldsOf(before);
        for (size_t k = 0; k < fields.size(); ++k) {
            if (mapped[k] && !values[k].isEmpty()) {
                fields[k] = values[k];
            }
        }
        const QString after = lineOf(fields);
        if (after == before && !slashed) {
            ++counts_.duplicates;
            return;
        }
        setLineAt(*known, after);
        ++counts_.updated;
        if (slashed) {
            pending_.append({*known, rawDeadline});
        }
        return;
    }
    const Slot slot = ~added_.size();
    added_.append(lineOf(values));
    remember(partnerUrl, link, slot);
    ++counts_.added;
    if (slashed) {
        pending_.append({slot, rawDeadline});
    }
}

void RecordImport::setDeadline(Slot slot, const QString& deadline) {
    std::array<QString, 8> fields = fieldsOf(lineAt(slot));
    fields[kDeadline] = deadline;
    setLineAt(slot, lineOf(fields));
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

void RecordImport::applyTo(RecordStore* records) const {
    for (auto it = updates_.cbegin(); it != updates_.cend(); ++it) {
        records->replace(it.key(), it.value());
    }
    for (QStringView line : added_) {
        records->append(line);
    }
}

}  // namespace quorvel
