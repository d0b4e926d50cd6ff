#include "tables/column_mapping.h"

#include <algorithm>

namespace quorvel {

namespace {

// The names by which tables head the columns of each field: our own list's
// and editor's words, the words of Russian spreadsheets, and the columns of
// the exports and import templates of backlink tools, search consoles and
// link monitoring services. They are compared as squeezed() makes them, so
// "E-mail", "email" and "EMAIL" are one name, and so are "source_url" and
// "Source URL". A header must equal a name as a whole: "ваша ссылка на
// партнера" (a column of our own export) is not "ваша ссылка".
struct Synonyms {
    ImportField field;
    std::initializer_list<const char16_t*> names;
};

const Synonyms kSynonyms[] = {
    // The partner's page that is to carry the link.
    {ImportField::PartnerPage,
     {u"страница партнера", u"страница", u"url", u"page", u"url from", u"source url", u"source",
      u"referring page url", u"linking page", u"linking from", u"source_url", u"донор", u"адрес"}},
    // The user's link that is to appear there.
    {ImportField::YourLink,
     {u"ваша ссылка", u"ссылка", u"link", u"target url", u"target", u"link url", u"linking to",
      u"expected landing page url", u"destination_url", u"акцептор"}},
    // The date by which the partner is to place it.
    {ImportField::Deadline,
     {u"дата", u"срок", u"дедлайн", u"deadline", u"expires", u"expiration date"}},
    {ImportField::Email, {u"e-mail", u"email", u"почта", u"контакт"}},
    {ImportField::Icq, {u"icq"}},
    // The user's own page that carries the partner's link.
    {ImportField::OwnPage, {u"ваша страница", u"обратная ссылка", u"reciprocal", u"my page"}},
    // The most outgoing links accepted on the partner's page.
    {ImportField::MaxLinks, {u"максимальное количество", u"макс. ссылок", u"max links", u"limit"}},
    // Free notes; several columns may go there.
    {ImportField::Notes,
     {u"дополнительно", u"заметки", u"notes", u"комментарий", u"anchor", u"anchor text", u"tags"}},
};

// Lower case, letters and digits only.
QString squeezed(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        if (ch.isLetterOrNumber()) {
            out += ch.toLower();
        }
    }
    return out;
}

bool isHostCharacter(QChar ch) {
    return ch.isLetterOrNumber() || ch == u'-' || ch == u'_';
}

}  // namespace

ImportField fieldOfHeader(QStringView header) {
    const QString key = squeezed(header);
    if (key.isEmpty()) {
        return ImportField::None;
    }
    for (const Synonyms& entry : kSynonyms) {
        for (const char16_t* name : entry.names) {
            if (key == squeezed(name)) {
                return entry.field;
            }
        }
    }
    return ImportField::None;
}

ColumnMapping withoutRepeats(ColumnMapping mapping) {
    bool taken[kImportFieldCount] = {};
    for (ImportField& field : mapping) {
        if (field == ImportField::None || field == ImportField::Notes) {
            continue;
        }
        if (taken[int(field)]) {
            field = ImportField::None;
        } else {
            taken[int(field)] = true;
        }
    }
    return mapping;
}

ColumnMapping mapHeader(const QStringList& header) {
    ColumnMapping mapping;
    mapping.reserve(header.size());
    for (const QString& cell : header) {
        mapping.append(fieldOfHeader(cell));
    }
    return withoutRepeats(mapping);
}

bool looksLikeHeader(const QStringList& firstRow) {
    return std::any_of(firstRow.begin(), firstRow.end(), [](const QString& cell) {
        return fieldOfHeader(cell) != ImportField::None;
    });
}

bool isWebAddress(QStringView value) {
    value = value.trimmed();
    for (const QStringView scheme : {QStringView(u"http://"), QStringView(u"https://")}) {
        if (value.startsWith(scheme, Qt::CaseInsensitive)) {
            value = value.sliced(scheme.size());
            break;
        }
    }
    // A host of labels joined by dots, perhaps a port, then anything from
    // the first '/', '?' or '#'.
    qsizetype end = 0;
    while (end < value.size() && value[end] != u'/' && value[end] != u'?' && value[end] != u'#') {
        ++end;
    }
    QStringView host = value.first(end);
    if (const qsizetype colon = host.lastIndexOf(u':'); colon >= 0) {
        const QStringView port = host.sliced(colon + 1);
        if (port.isEmpty() ||
            !std::all_of(port.begin(), port.end(), [](QChar ch) { return ch.isDigit(); })) {
            return false;
        }
        host = host.first(colon);
    }
    if (value.sliced(end).contains(u' ')) {
        return false;
    }
    const QList<QStringView> labels = host.split(u'.');
    if (labels.size() < 2) {
        return false;
    }
    for (const QStringView label : labels) {
        if (label.isEmpty() || !std::all_of(label.begin(), label.end(), isHostCharacter)) {
            return false;
        }
    }
    // The top-level label is letters ("com", "рф", "xn--p1ai"), not a number.
    const QStringView top = labels.last();
    return top.size() >= 2 && top.front().isLetter();
}

ColumnMapping mapAddressColumns(const QList<TableRow>& sample) {
    qsizetype columns = 0;
    for (const TableRow& row : sample) {
        columns = qMax(columns, row.cells.size());
    }
    ColumnMapping mapping(columns, ImportField::None);
    int found = 0;
    for (qsizetype column = 0; column < columns && found < 2; ++column) {
        qsizetype filled = 0;
        qsizetype addresses = 0;
        for (const TableRow& row : sample) {
            const QString value = row.cell(column).trimmed();
            if (value.isEmpty()) {
                continue;
            }
            ++filled;
            addresses += isWebAddress(value) ? 1 : 0;
        }
        // Nearly every value: one stray title or note does not hide the column.
        if (addresses > 0 && addresses * 5 >= filled * 4) {
            mapping[column] = found++ == 0 ? ImportField::PartnerPage : ImportField::YourLink;
        }
    }
    return mapping;
}

}  // namespace quorvel
