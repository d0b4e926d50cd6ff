#include "tables/xlsx_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#ifdef QUORVEL_XLSXWRITER_DLMOPEN
#include <dlfcn.h>
#endif

#include "records/file_io.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

// The library's functions that the export calls.
// clang-format off
#define QUORVEL_XLSX_FUNCTIONS(X) \
    X(workbook_new_opt) X(workbook_add_worksheet) X(workbook_add_format) X(workbook_close) \
    X(format_set_bold) X(format_set_num_format) X(format_set_pattern) X(format_set_bg_color) \
    X(format_set_font_color) X(worksheet_set_column_pixels) X(worksheet_freeze_panes) \
    X(worksheet_autofilter) X(worksheet_write_string) X(worksheet_write_number) \
    X(worksheet_write_datetime) X(lxw_strerror)
// clang-format on

struct XlsxLibrary {
#define QUORVEL_XLSX_POINTER(name) decltype(&::name) name = nullptr;
    QUORVEL_XLSX_FUNCTIONS(QUORVEL_XLSX_POINTER)
#undef QUORVEL_XLSX_POINTER
    QString problem;  // why it is not there
};

// libxlsxwriter writes its zip with the system's minizip, whose functions
// QuaZip (which reads workbooks) exports under the same names from its own
// changed copy. In one namespace of the dynamic linker every call would go
// to the first of the two, and one library would crash in the other's
// code. On Linux the writer is therefore loaded into a link namespace of its
// own, with its minizip; elsewhere each library calls its own.
const XlsxLibrary& xlsxLibrary() {
    static const XlsxLibrary library = [] {
        XlsxLibrary l;
#ifdef QUORVEL_XLSXWRITER_DLMOPEN
        void* handle = dlmopen(LM_ID_NEWLM, QUORVEL_XLSXWRITER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            l.problem = QString::fromLocal8Bit(dlerror());
            return l;
        }
#define QUORVEL_XLSX_LOOKUP(name)                                       \
    l.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
    if (!l.name && l.problem.isEmpty()) {                               \
        l.problem = QStringLiteral("no " #name " in libxlsxwriter");    \
    }
#else
#define QUORVEL_XLSX_LOOKUP(name) l.name = &::name;
#endif
        QUORVEL_XLSX_FUNCTIONS(QUORVEL_XLSX_LOOKUP)
#undef QUORVEL_XLSX_LOOKUP
        return l;
    }();
    return library;
}

// The list's default width for the columns it has no width for.
constexpr int kDefaultWidth = 120;

// A time already in the user's zone, as the workbook keeps it.
lxw_datetime dateTimeOf(const QDateTime& local) {
    const QDate d = local.date();
    const QTime t = local.time();
    return lxw_datetime{d.year(), d.month(), d.day(), t.hour(), t.minute(), double(t.second())};
}

// The fill of a state cell: the list's marker colours, with white text on
// the dark ones.
lxw_format* stateFormat(const XlsxLibrary& x, lxw_workbook* book, ConfirmedState state) {
    uint32_t colour = 0;
    bool dark = false;
    switch (state) {
        case ConfirmedState::Found:
            colour = 0xC0DCC0;
            break;
        case ConfirmedState::Hidden:
            colour = 0xFF0000;
            dark = true;
            break;
        case ConfirmedState::Missing:
            colour = 0xA0A0A4;
            break;
        case ConfirmedState::Down:
            colour = 0x800000;
            dark = true;
            break;
        case ConfirmedState::None:
            return nullptr;
    }
    lxw_format* format = x.workbook_add_format(book);
    x.format_set_pattern(format, LXW_PATTERN_SOLID);
    x.format_set_bg_color(format, colour);
    if (dark) {
        x.format_set_font_color(format, LXW_COLOR_WHITE);
    }
    return format;
}

}  // namespace

QString excelDateFormat(const QString& qtFormat) {
    QString out;
    for (const QChar ch : qtFormat) {
        if (ch == u'd' || ch == u'y') {
            out += ch;
        } else if (ch == u'M') {
            out += u'm';
        } else if (ch == u'.' || ch == u'/' || ch == u'-' || ch == u' ') {
            out += ch;
        } else {
            return QString();
        }
    }
    return out;
}

ExportOutcome writeXlsx(const QString& path, const XlsxExport& book) {
    ExportOutcome outcome;
    const auto failed = [&](ExportOutcome::Problem problem, const QString& detail = {}) {
        outcome.problem = problem;
        outcome.detail = detail;
        return outcome;
    };
    if (book.rows + 1 > LXW_ROW_MAX) {
        return failed(ExportOutcome::Problem::TooManyRows);
    }
    const XlsxLibrary& x = xlsxLibrary();
    if (!x.problem.isEmpty()) {
        return failed(ExportOutcome::Problem::WriteFailed, u"libxlsxwriter: "_s + x.problem);
    }
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        return failed(ExportOutcome::Problem::WriteFailed, u"not a regular file"_s);
    }
    // The temporary file beside the target, so that taking its name is one
    // step on one file system; the library's own temporary files go there too.
    QTemporaryFile temporary(target.absoluteDir().filePath(target.fileName() + u".XXXXXX"_s));
    if (!temporary.open()) {
        return failed(ExportOutcome::Problem::WriteFailed, temporary.errorString());
    }
    temporary.close();
    // The workbook gets the permissions a file the user saves gets, or the
    // old file's.
    temporary.setPermissions(target.exists() ? QFile::permissions(path)
                                             : QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ReadGroup | QFile::ReadOther);
    const QByteArray temporaryName = QFile::encodeName(temporary.fileName());
    QByteArray directory = QFile::encodeName(target.absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = directory.data();
    options.use_zip64 = LXW_TRUE;  // a very big list may pass 4 GB inside
    lxw_workbook* workbook = x.workbook_new_opt(temporaryName.constData(), &options);
    if (!workbook) {
        return failed(ExportOutcome::Problem::WriteFailed, u"cannot create the workbook"_s);
    }
    lxw_worksheet* sheet = x.workbook_add_worksheet(workbook, "партнеры");
    lxw_format* bold = x.workbook_add_format(workbook);
    x.format_set_bold(bold);
    lxw_format* time = x.workbook_add_format(workbook);
    x.format_set_num_format(time, "dd.mm.yyyy hh:mm");
    const QByteArray dateCode = excelDateFormat(book.dateFormat).toUtf8();
    lxw_format* date = nullptr;
    if (!dateCode.isEmpty()) {
        date = x.workbook_add_format(workbook);
        x.format_set_num_format(date, dateCode.constData());
    }
    lxw_format* states[5] = {};
    for (const ConfirmedState state : {ConfirmedState::Found, ConfirmedState::Hidden,
                                       ConfirmedState::Missing, ConfirmedState::Down}) {
        states[int(state)] = stateFormat(x, workbook, state);
    }

    const auto columns = lxw_col_t(book.header.size());
    for (lxw_col_t c = 0; c < columns; ++c) {
        const int pixels = c < book.columnWidths.size() ? book.columnWidths.at(c) : kDefaultWidth;
        x.worksheet_set_column_pixels(sheet, c, c, uint32_t(qMax(1, pixels)), nullptr);
    }
    x.worksheet_freeze_panes(sheet, 1, 0);
    x.worksheet_autofilter(sheet, 0, 0, lxw_row_t(book.rows), lxw_col_t(columns - 1));

    lxw_error error = LXW_NO_ERROR;
    lxw_row_t at = 0;
    const auto text = [&](lxw_col_t c, const QString& value, lxw_format* format) {
        if (error == LXW_NO_ERROR && !value.isEmpty()) {
            error = x.worksheet_write_string(sheet, at, c, value.toUtf8().constData(), format);
        }
    };
    for (lxw_col_t c = 0; c < columns; ++c) {
        text(c, book.header.at(c), bold);
    }
    ExportRow row;
    while (error == LXW_NO_ERROR && book.next(&row)) {
        ++at;
        if (book.stop && at % 4096 == 0 && book.stop()) {
            x.workbook_close(workbook);
            return failed(ExportOutcome::Problem::Stopped);
        }
        for (lxw_col_t c = 0; c < lxw_col_t(row.cells.size()) && c < columns; ++c) {
            const QString& value = row.cells[c];
            if (c == 2 && row.deadline && date) {
                lxw_datetime day{
                    row.deadline->year(), row.deadline->month(), row.deadline->day(), 0, 0, 0};
                error = x.worksheet_write_datetime(sheet, at, c, &day, date);
            } else if ((c == 9 && row.since.isValid()) || (c == 10 && row.lastFound.isValid())) {
                lxw_datetime moment = dateTimeOf(c == 9 ? row.since : row.lastFound);
                error = x.worksheet_write_datetime(sheet, at, c, &moment, time);
            } else if (c == 12 && row.count) {
                error = x.worksheet_write_number(sheet, at, c, double(*row.count), nullptr);
            } else {
                text(c, value, c == 8 ? states[int(row.state)] : nullptr);
            }
            if (error == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED) {
                x.workbook_close(workbook);
                outcome.row = qsizetype(at) + 1;
                return failed(ExportOutcome::Problem::CellTooLong);
            }
        }
    }
    const lxw_error closed = x.workbook_close(workbook);
    if (error == LXW_NO_ERROR) {
        error = closed;
    }
    if (error != LXW_NO_ERROR) {
        return failed(ExportOutcome::Problem::WriteFailed,
                      QString::fromUtf8(x.lxw_strerror(error)));
    }
    if (const Outcome<> replaced = replaceFileWith(path, temporary.fileName()); !replaced) {
        return failed(ExportOutcome::Problem::WriteFailed, replaced.error);
    }
    return outcome;
}

}  // namespace quorvel
