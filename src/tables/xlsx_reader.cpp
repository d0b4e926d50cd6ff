#include "tables/xlsx_reader.h"

#include <QDate>
#include <QDir>
#include <QHash>
#include <QList>
#include <QXmlStreamReader>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <cmath>

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kChunk = 1 << 16;

TableError workbookError(const QString& detail) {
    return TableError{TableProblem::BadWorkbook, 0, detail};
}

// Many strings in one buffer: a sheet may hold millions of short ones, and
// each as a QString of its own would weigh several times its text.
class StringPool {
  public:
    void add(QStringView text) {
        spans_.append({uint32_t(text_.size()), uint32_t(text.size())});
        text_.append(text);
    }
    qsizetype size() const { return spans_.size(); }
    QString at(qsizetype i) const {
        const Span s = spans_.at(i);
        return text_.mid(s.start, s.length);
    }

  private:
    struct Span {
        uint32_t start;
        uint32_t length;
    };
    QString text_;
    QList<Span> spans_;
};

// Characters Excel cannot put in XML it writes as _xHHHH_.
QString unescapeXmlString(QString text) {
    qsizetype at = text.indexOf(u"_x");
    if (at < 0) {
        return text;
    }
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (; at >= 0; at = text.indexOf(u"_x", at + 1)) {
        if (at < from || at + 7 > text.size() || text.at(at + 6) != u'_') {
            continue;
        }
        bool ok = false;
        const ushort code = QStringView(text).sliced(at + 2, 4).toUShort(&ok, 16);
        if (!ok) {
            continue;
        }
        out += QStringView(text).sliced(from, at - from);
        out += QChar(code);
        from = at + 7;
    }
    out += QStringView(text).sliced(from);
    return out;
}

// One XML part of the workbook, read as it unpacks, within the byte budget
// that all parts share.
class XmlPart {
  public:
    XmlPart(QuaZip& zip, const QString& name, qint64& budget) : file_(&zip), budget_(budget) {
        found_ = zip.setCurrentFile(name, QuaZip::csInsensitive) && file_.open(QIODevice::ReadOnly);
    }
    bool found() const { return found_; }

    // The next token, unpacking more as needed. Invalid at the end of the
    // part or at a problem (problem() says which).
    QXmlStreamReader::TokenType next() {
        if (ended_) {
            return QXmlStreamReader::Invalid;
        }
        for (;;) {
            const QXmlStreamReader::TokenType token = xml_.readNext();
            if (token == QXmlStreamReader::EndDocument) {
                ended_ = true;
                return QXmlStreamReader::Invalid;
            }
            if (token == QXmlStreamReader::DTD) {
                problem_ = workbookError(u"document type declaration"_s);
                return QXmlStreamReader::Invalid;
            }
            if (token != QXmlStreamReader::Invalid) {
                return token;
            }
            if (xml_.error() != QXmlStreamReader::PrematureEndOfDocumentError || atEnd_) {
                if (xml_.error() != QXmlStreamReader::NoError && !problem_) {
                    problem_ = workbookError(xml_.errorString());
                }
                return QXmlStreamReader::Invalid;
            }
            if (!unpackMore()) {
                return QXmlStreamReader::Invalid;
            }
        }
    }
    QXmlStreamReader& xml() { return xml_; }
    const std::optional<TableError>& problem() const { return problem_; }

  private:
    bool unpackMore() {
        QByteArray chunk(qMin(kChunk, budget_ + 1), Qt::Uninitialized);
        const qint64 got = file_.read(chunk.data(), chunk.size());
        if (got < 0) {
            problem_ = workbookError(file_.errorString());
            return false;
        }
        if (got > budget_) {
            problem_ = TableError{TableProblem::TooLarge, 0, {}};
            return false;
        }
        budget_ -= got;
        if (got == 0) {
            atEnd_ = true;
        } else {
            chunk.truncate(got);
            xml_.addData(chunk);
        }
        return true;
    }

    QuaZipFile file_;
    qint64& budget_;
    bool found_ = false;
    bool atEnd_ = false;  // all unpacked
    bool ended_ = false;  // the document is complete
    QXmlStreamReader xml_;
    std::optional<TableError> problem_;
};

// "BC12": column 1 (from 0), or -1 when the reference names no column.
qsizetype columnOf(QStringView reference) {
    qsizetype column = 0;
    qsizetype letters = 0;
    for (const QChar ch : reference) {
        const char16_t c = ch.toUpper().unicode();
        if (c < u'A' || c > u'Z') {
            break;
        }
        if (++letters > 4) {
            return std::numeric_limits<int>::max();  // past any limit
        }
        column = column * 26 + (c - u'A' + 1);
    }
    return letters == 0 ? -1 : column - 1;
}

QString attribute(const QXmlStreamReader& xml, QLatin1StringView name) {
    return xml.attributes().value(name).toString();
}

// "worksheets/sheet1.xml" beside the workbook, or "/xl/worksheets/sheet1.xml".
QString partPath(QStringView target) {
    if (target.startsWith(u'/')) {
        return QDir::cleanPath(target.sliced(1).toString());
    }
    return QDir::cleanPath(u"xl/"_s + target);
}

}  // namespace

struct XlsxReader::State {
    std::unique_ptr<QIODevice> device;
    TableLimits limits;
    QuaZip zip;
    qint64 budget = 0;
    qint64 budgetAtSheet = 0;
    QString sheetPath;
    bool dates1904 = false;
    StringPool strings;
    std::unique_ptr<XmlPart> sheet;
    qsizetype rows = 0;
    qsizetype lastRow = 0;  // the number of the last row read
    qsizetype cells = 0;

    State(std::unique_ptr<QIODevice> d, const TableLimits& l)
        : device(std::move(d)), limits(l), zip(device.get()), budget(l.maxBytes) {}

    std::optional<TableError> readWorkbook(QString* sheetId) {
        XmlPart part(zip, u"xl/workbook.xml"_s, budget);
        if (!part.found()) {
            return TableError{TableProblem::NoSheet, 0, {}};
        }
        for (auto t = part.next(); t != QXmlStreamReader::Invalid; t = part.next()) {
            if (t != QXmlStreamReader::StartElement) {
                continue;
            }
            const QStringView name = part.xml().name();
            if (name == u"workbookPr") {
                const QString value = attribute(part.xml(), "date1904"_L1);
                dates1904 = value == u"1" || value == u"true";
            } else if (name == u"sheet" && sheetId->isEmpty()) {
                for (const QXmlStreamAttribute& a : part.xml().attributes()) {
                    if (a.name() == u"id" && !a.namespaceUri().isEmpty()) {
                        *sheetId = a.value().toString();
                    }
                }
                if (sheetId->isEmpty()) {
                    *sheetId = u"?"_s;  // a sheet without a relation: the usual place
                }
            }
        }
        return part.problem();
    }

    std::optional<TableError> readRelations(const QString& sheetId, QString* stringsPath) {
        XmlPart part(zip, u"xl/_rels/workbook.xml.rels"_s, budget);
        if (!part.found()) {
            return std::nullopt;
        }
        for (auto t = part.next(); t != QXmlStreamReader::Invalid; t = part.next()) {
            if (t != QXmlStreamReader::StartElement || part.xml().name() != u"Relationship") {
                continue;
            }
            const QString target = attribute(part.xml(), "Target"_L1);
            if (attribute(part.xml(), "Id"_L1) == sheetId) {
                sheetPath = partPath(target);
            } else if (attribute(part.xml(), "Type"_L1).endsWith(u"/sharedStrings")) {
                *stringsPath = partPath(target);
            }
        }
        return part.problem();
    }

    std::optional<TableError> readStrings(const QString& path) {
        XmlPart part(zip, path, budget);
        if (!part.found()) {
            return std::nullopt;
        }
        QString text;
        int inText = 0;      // inside <t>
        int inPhonetic = 0;  // inside <rPh>: a reading aid, not the text
        for (auto t = part.next(); t != QXmlStreamReader::Invalid; t = part.next()) {
            const QStringView name = part.xml().name();
            if (t == QXmlStreamReader::StartElement) {
                if (name == u"si") {
                    text.clear();
                } else if (name == u"t") {
                    ++inText;
                } else if (name == u"rPh") {
                    ++inPhonetic;
                }
            } else if (t == QXmlStreamReader::EndElement) {
                if (name == u"si") {
                    strings.add(unescapeXmlString(text));
                } else if (name == u"t") {
                    --inText;
                } else if (name == u"rPh") {
                    --inPhonetic;
                }
            } else if (t == QXmlStreamReader::Characters && inText > 0 && inPhonetic == 0) {
                text += part.xml().text();
            }
        }
        return part.problem();
    }

    std::optional<TableError> startSheet() {
        sheet.reset();  // one part of the zip is open at a time
        budget = budgetAtSheet;
        rows = 0;
        lastRow = 0;
        cells = 0;
        sheet = std::make_unique<XmlPart>(zip, sheetPath, budget);
        if (!sheet->found()) {
            sheet.reset();
            return TableError{TableProblem::NoSheet, 0, {}};
        }
        return std::nullopt;
    }

    bool nextRow(TableRow* row, std::optional<TableError>* error);
};

bool XlsxReader::State::nextRow(TableRow* row, std::optional<TableError>* error) {
    if (!sheet) {
        return false;
    }
    XmlPart& part = *sheet;
    QXmlStreamReader& xml = part.xml();
    bool inRow = false;
    qsizetype column = -1;
    QString type;
    QString value;
    QString inlineText;
    bool inValue = false;
    int inInlineText = 0;
    int inPhonetic = 0;
    const auto fail = [&](TableError problem) {
        *error = std::move(problem);
        sheet.reset();
        return false;
    };
    for (auto t = part.next(); t != QXmlStreamReader::Invalid; t = part.next()) {
        const QStringView name = xml.name();
        if (t == QXmlStreamReader::StartElement) {
            if (name == u"row") {
                if (++rows > limits.maxLines) {
                    return fail(TableError{TableProblem::TooManyLines, 0, {}});
                }
                inRow = true;
                bool ok = false;
                const qsizetype number = attribute(xml, "r"_L1).toLongLong(&ok);
                lastRow = ok && number > 0 ? number : lastRow + 1;
                row->line = lastRow;
                row->cells.clear();
                row->numbers.clear();
                column = -1;
            } else if (inRow && name == u"c") {
                const qsizetype named = columnOf(attribute(xml, "r"_L1));
                column = named >= 0 ? named : column + 1;
                if (column >= limits.maxColumns) {
                    return fail(TableError{TableProblem::TooManyColumns, row->line, {}});
                }
                type = attribute(xml, "t"_L1);
                value.clear();
                inlineText.clear();
            } else if (name == u"v") {
                inValue = true;
            } else if (name == u"t") {
                ++inInlineText;
            } else if (name == u"rPh") {
                ++inPhonetic;
            }
        } else if (t == QXmlStreamReader::Characters) {
            if (inValue) {
                value += xml.text();
            } else if (inInlineText > 0 && inPhonetic == 0) {
                inlineText += xml.text();
            }
        } else if (t == QXmlStreamReader::EndElement) {
            if (name == u"v") {
                inValue = false;
            } else if (name == u"t") {
                --inInlineText;
            } else if (name == u"rPh") {
                --inPhonetic;
            } else if (inRow && name == u"c" && column >= 0) {
                QString text;
                bool number = false;
                if (type == u"s") {
                    bool ok = false;
                    const qsizetype index = value.trimmed().toLongLong(&ok);
                    text =
                        ok && index >= 0 && index < strings.size() ? strings.at(index) : QString();
                } else if (type == u"inlineStr") {
                    text = unescapeXmlString(inlineText);
                } else if (type == u"str") {
                    text = unescapeXmlString(value);
                } else {
                    text = value;
                    number = (type.isEmpty() || type == u"n") && !value.isEmpty();
                }
                if (column >= row->cells.size()) {
                    cells += column + 1 - row->cells.size();
                    if (cells > limits.maxCells) {
                        return fail(TableError{TableProblem::TooManyCells, row->line, {}});
                    }
                    row->cells.resize(column + 1);
                    row->numbers.resize(column + 1);
                }
                row->cells[column] = std::move(text);
                row->numbers[column] = number;
            } else if (name == u"row" && inRow) {
                return true;
            }
        }
    }
    if (part.problem()) {
        return fail(*part.problem());
    }
    sheet.reset();
    return false;
}

XlsxReader::XlsxReader(std::unique_ptr<QIODevice> device, const TableLimits& limits)
    : d_(std::make_unique<State>(std::move(device), limits)) {}

XlsxReader::~XlsxReader() = default;

std::optional<TableError> XlsxReader::open() {
    if (!d_->zip.open(QuaZip::mdUnzip)) {
        return workbookError(u"not a zip archive"_s);
    }
    QString sheetId;
    if (auto problem = d_->readWorkbook(&sheetId)) {
        return problem;
    }
    if (sheetId.isEmpty()) {
        return TableError{TableProblem::NoSheet, 0, {}};
    }
    QString stringsPath = u"xl/sharedStrings.xml"_s;
    if (auto problem = d_->readRelations(sheetId, &stringsPath)) {
        return problem;
    }
    if (d_->sheetPath.isEmpty()) {
        d_->sheetPath = u"xl/worksheets/sheet1.xml"_s;
    }
    if (auto problem = d_->readStrings(stringsPath)) {
        return problem;
    }
    d_->budgetAtSheet = d_->budget;
    return d_->startSheet();
}

bool XlsxReader::next(TableRow* row, std::optional<TableError>* error) {
    return d_->nextRow(row, error);
}

std::optional<TableError> XlsxReader::rewind() {
    return d_->startSheet();
}

bool XlsxReader::dates1904() const {
    return d_->dates1904;
}

QDate dateFromSerial(double serial, bool dates1904) {
    if (!std::isfinite(serial) || serial < 1 || serial > 2958465) {  // up to 31.12.9999
        return QDate();
    }
    const QDate epoch = dates1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    return epoch.addDays(qint64(std::floor(serial)));
}

}  // namespace quorvel
