#include "ui/window_words.h"

#include "notify/channels.h"
#include "notify/notify_settings.h"
#include "notify/schedule.h"
#include "tables/record_import.h"
#include "tables/table_export.h"
#include "tables/table_reader.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

// A window's words, made at the first call.
template <class Words>
const Words& made() {
    static const Words words;
    return words;
}

}  // namespace

const QString kNoChecksYetText = u"проверок еще не было"_s;
const QString kHistoryUnreadableText = u"не удалось прочитать историю проверок"_s;
const QString kOverdueMark = u"просрочен"_s;
const QString kRenderCommandText = u"проверить с JavaScript"_s;
const QString kRenderNeedsPackageText =
    u"для проверки с JavaScript нужен пакет chromium-headless-shell"_s;

QString eventWords(const HistoryEvent& event) {
    if (event.change == ChangeKind::AnchorChanged) {
        return changeWords(event.change) + u": "_s + event.previousAnchor + u" → "_s + event.anchor;
    }
    return changeWords(event.change);
}

QString runSourceWords(RunSource source) {
    switch (source) {
        case RunSource::Window:
            return u"окно программы"_s;
        case RunSource::CommandLine:
            return u"quorvel-cli"_s;
        case RunSource::Schedule:
            return u"по расписанию"_s;
        case RunSource::Unknown:
            break;
    }
    return QString();
}

QString tallyWords(const std::array<int, 4>& byStatus) {
    return u"есть %1 · скрыты %2 · нет %3 · недоступны %4"_s.arg(byStatus[0])
        .arg(byStatus[1])
        .arg(byStatus[2])
        .arg(byStatus[3]);
}

QString renderLookWords(PageSignals signalsFound, bool rendered) {
    if (signalsFound & RenderedFound) {
        return kRenderedOnlyText;
    }
    if (signalsFound & RenderedHidden) {
        return signalWords(u"rendered-hidden");
    }
    return rendered ? u"ссылки нет и после выполнения JavaScript"_s
                    : u"браузер не показал страницу"_s;
}

const MainWindowWords& mainWindowWords() {
    return made<MainWindowWords>();
}

QString exportProblemWords(const ExportOutcome& outcome) {
    switch (outcome.problem) {
        case ExportOutcome::Problem::None:
        case ExportOutcome::Problem::Stopped:
            break;
        case ExportOutcome::Problem::TooManyRows:
            return u"в списке больше записей, чем помещается на лист XLSX (1048575)"_s;
        case ExportOutcome::Problem::CellTooLong:
            return u"строка %1: значение длиннее 32767 знаков не помещается в ячейку XLSX"_s.arg(
                outcome.row);
        case ExportOutcome::Problem::WriteFailed:
            return outcome.detail.isEmpty()
                       ? u"не удалось записать файл"_s
                       : u"не удалось записать файл ("_s + outcome.detail + u')';
    }
    return QString();
}

const EditorWords& editorWords() {
    return made<EditorWords>();
}

QString editorCaption(int field) {
    return field >= 0 && field < 8 ? editorWords().captions[size_t(field)] : QString();
}

const OutgoingLinksWords& outgoingLinksWords() {
    return made<OutgoingLinksWords>();
}

const HistoryWindowWords& historyWindowWords() {
    return made<HistoryWindowWords>();
}

const OverviewWords& overviewWords() {
    return made<OverviewWords>();
}

const ImportWords& importWords() {
    return made<ImportWords>();
}

QString tableProblemWords(const TableError& error) {
    switch (error.problem) {
        case TableProblem::Unreadable:
            return u"не удалось прочитать файл"_s;
        case TableProblem::NotRegularFile:
            return u"это не обычный файл"_s;
        case TableProblem::TooLarge:
            return u"таблица больше 256 МиБ"_s;
        case TableProblem::TooManyLines:
            return u"в таблице больше 4000000 строк"_s;
        case TableProblem::Binary:
            return u"файл не похож на таблицу: в нем есть нулевые байты"_s;
        case TableProblem::UnterminatedQuote:
            return u"строка %1: кавычка не закрыта"_s.arg(error.line);
        case TableProblem::TooManyColumns:
            return u"строка %1: больше 16384 столбцов"_s.arg(error.line);
        case TableProblem::TooManyCells:
            return u"строка %1: в листе слишком много ячеек"_s.arg(error.line);
        case TableProblem::NoSheet:
            return u"в файле XLSX нет ни одного листа"_s;
        case TableProblem::BadWorkbook:
            return u"файл XLSX поврежден"_s;
    }
    return QString();
}

QString importCountsWords(const ImportCounts& n) {
    return u"добавлено: %1, обновлено: %2, пропущено: дубли %3, без адреса %4, с нечитаемой "
           u"датой %5, с тегами записи %6"_s.arg(n.added)
               .arg(n.updated)
               .arg(n.duplicates)
               .arg(n.noAddress)
               .arg(n.badDates)
               .arg(n.withTags);
}

const ScheduleWords& scheduleWords() {
    return made<ScheduleWords>();
}

QString whenWords(const ScheduleRequest& r) {
    if (r.dailyAt) {
        return u"каждый день в "_s + r.dailyAt->toString(u"HH:mm");
    }
    if (r.everyHours == 1) {
        return u"каждый час"_s;
    }
    // 2, 3 and 4 take "часа"; 6, 8 and 12 "часов".
    return u"каждые %1 %2"_s.arg(r.everyHours)
        .arg(r.everyHours <= 4 ? u"часа"_s : scheduleWords().hours);
}

QString channelWords(NoticeChannel channel) {
    switch (channel) {
        case NoticeChannel::Telegram:
            return scheduleWords().telegram;
        case NoticeChannel::Mail:
            return u"почта"_s;
        case NoticeChannel::Webhook:
            break;
    }
    return scheduleWords().webhook;
}

QString notifyProblemWords(const NotifyProblem& problem) {
    using Kind = NotifyProblem::Kind;
    switch (problem.kind) {
        case Kind::None:
            break;
        case Kind::TelegramIncomplete:
            return u"для Telegram нужны и токен бота, и чат"_s;
        case Kind::TelegramToken:
            return u"токен бота Telegram может содержать только цифры, латинские буквы, «:», «_» "
                   u"и «-»"_s;
        case Kind::TelegramChat:
            return u"в поле чата Telegram не должно быть переводов строки"_s;
        case Kind::MailUrl:
            return u"адрес почтового сервера должен начинаться с smtps:// или smtp://"_s;
        case Kind::MailFrom:
            return u"в поле «от кого» должен быть один адрес электронной почты"_s;
        case Kind::MailNoRecipient:
            return u"не указано, кому отправлять письма"_s;
        case Kind::MailRecipient:
            return u"«"_s + problem.detail + u"» — не адрес электронной почты"_s;
        case Kind::MailPasswordWithoutUser:
            return u"указан пароль почты, но не указан пользователь"_s;
        case Kind::WebhookUrl:
            return u"адрес webhook должен начинаться с https:// или http://"_s;
    }
    return QString();
}

}  // namespace quorvel
