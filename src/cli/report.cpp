#include "cli/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/cli.h"
#include "tables/table_export.h"

namespace quorvel::cli {

namespace {

// A value as one text: a number in decimal, a list joined by commas.
QString plainText(const QJsonValue& value) {
    if (value.isDouble()) {
        return QString::number(qint64(value.toDouble()));
    }
    if (value.isArray()) {
        QStringList parts;
        for (const QJsonValue& part : value.toArray()) {
            parts += part.toString();
        }
        return parts.join(u',');
    }
    return value.toString();
}

}  // namespace

const char* statusName(CheckStatus status) {
    switch (status) {
        case CheckStatus::Found:
            return "Found";
        case CheckStatus::Hidden:
            return "Hidden";
        case CheckStatus::Missing:
            return "Missing";
        case CheckStatus::FetchFailed:
            return "FetchFailed";
        case CheckStatus::None:
            break;
    }
    return "none";
}

QCommandLineOption formatOption() {
    return valuedOption(QStringLiteral("format"));
}

std::optional<Format> reportFormat(const Command& command, const QCommandLineParser& parser) {
    if (!parser.isSet(QStringLiteral("format"))) {
        return Format::Tsv;
    }
    const QString name = firstValue(parser, QStringLiteral("format"));
    if (name == u"tsv") {
        return Format::Tsv;
    }
    if (name == u"csv") {
        return Format::Csv;
    }
    if (name == u"json") {
        return Format::Json;
    }
    usageError(command, u"unknown format '" % name % u'\'');
    return std::nullopt;
}

ReportWriter::ReportWriter(Format format, QStringList columns, TsvHeader tsvHeader)
    : format_(format), columns_(std::move(columns)), tsvHeader_(tsvHeader) {
    if (format_ == Format::Csv) {
        writeOut((columns_.join(u',') + u"\r\n").toUtf8());
    } else if (format_ == Format::Json) {
        writeOut("[");
    }
}

void ReportWriter::write(const QList<QJsonValue>& values) {
    QString line;
    switch (format_) {
        case Format::Tsv:
            if (rows_ == 0 && tsvHeader_ == TsvHeader::BeforeFirstRow) {
                line = columns_.join(u'\t') + u'\n';
            }
            for (qsizetype i = 0; i < values.size(); ++i) {
                line += (i > 0 ? u"\t" : u"") + escapeField(plainText(values.at(i)));
            }
            writeOut((line + u'\n').toUtf8());
            break;
        case Format::Csv:
            for (qsizetype i = 0; i < values.size(); ++i) {
                if (i > 0) {
                    line += u',';
                }
                appendCsvField(line, plainText(values.at(i)), u',');
            }
            writeOut((line + u"\r\n").toUtf8());
            break;
        case Format::Json: {
            QJsonObject object;
            for (qsizetype i = 0; i < values.size() && i < columns_.size(); ++i) {
                object.insert(columns_.at(i), values.at(i));
            }
            writeOut(rows_ > 0 ? ",\n " : "\n ");
            writeOut(QJsonDocument(object).toJson(QJsonDocument::Compact));
            break;
        }
    }
    ++rows_;
}

void ReportWriter::finish() {
    if (format_ == Format::Json) {
        writeOut(rows_ > 0 ? "\n]\n" : "]\n");
    }
}

}  // namespace quorvel::cli
