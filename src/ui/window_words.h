#pragma once

// The window's own words (Russian), gathered window by window: captions,
// hints, commands and messages. What the history knows is said in the
// history's words (history/history_words.h), which the export and the
// notices share; what only the window says is said here, once, so that the
// words of a window can be read, and changed, in one place.

#include <QString>
#include <QStringList>

#include <array>

#include "checking/page_signals.h"
#include "history/history.h"
#include "history/history_words.h"

namespace quorvel {

struct TableError;
struct ImportCounts;
struct ExportOutcome;
struct NotifyProblem;
struct ScheduleRequest;
enum class NoticeChannel;

// Said of the history in more than one window.

// "проверок еще не было": a record the history has never seen.
extern const QString kNoChecksYetText;
// The history file exists but cannot be read (a newer program's, damaged,
// locked for too long).
extern const QString kHistoryUnreadableText;
// The mark of a deadline that has passed.
extern const QString kOverdueMark;
// The headings of the facts of the link (constant, for tables' captions).
inline constexpr char16_t kAnchorHeading[] = u"текст ссылки";
inline constexpr char16_t kExternalHeading[] = u"всего внешних ссылок";
// A change as one line: the change's words, and for anchor-changed the
// texts ("изменился текст ссылки: БЫЛО → СТАЛО").
QString eventWords(const HistoryEvent& event);
// Which program ran a check: "окно программы" or "quorvel-cli" (Unknown:
// nothing).
QString runSourceWords(RunSource source);
// How many records ended Found, Hidden, Missing and FetchFailed: "есть 3 ·
// скрыты 0 · нет 1 · недоступны 2".
QString tallyWords(const std::array<int, 4>& byStatus);

// The list's command that looks at a page once more in a browser, and what
// it says without the browser's package.
extern const QString kRenderCommandText;
extern const QString kRenderNeedsPackageText;
// What that look found, for the status bar: the link there, there but not
// indexable, not there either, or no answer from the browser (its reason
// follows).
QString renderLookWords(PageSignals signalsFound, bool rendered);

// The main window: the toolbar's hints, the list's menu, and what its
// table and history commands say.
struct MainWindowWords {
    QString advertisementHint = QStringLiteral(
        "Quorvel Positions - позиции вашего сайта в поисковых системах\r\n"
        "проверяет, на каком месте выдачи стоят ваши страницы по нужным запросам\r\n"
        "следит за изменениями позиций день за днем\r\n"
        "щелкните, чтобы узнать больше");
    QString saveProjectHint = QStringLiteral("сохранить файл проекта");
    QString loadProjectHint = QStringLiteral("загрузить файл проекта");
    QString addRecordHint = QStringLiteral("добавить запись");
    QString editRecordHint = QStringLiteral("редактировать запись");
    QString aboutHint = QStringLiteral("о программе");
    QString overviewHint = QStringLiteral("обзор партнеров: состояние ссылок по истории проверок");
    QString importHint =
        QStringLiteral("импорт партнеров из таблицы (CSV, TSV, XLSX) или из буфера обмена");
    QString exportHint = QStringLiteral("экспорт списка и результатов проверки в таблицу");
    QString scheduleHint = QStringLiteral(
        "расписание проверок: проверять список и без окна программы и присылать изменения");
    QString openPartnerPage = QStringLiteral("открыть страницу партнера в браузере");
    QString outgoingLinks = QStringLiteral("список исходящих ссылок на странице партнера");
    QString removeMarkers = QStringLiteral("убрать цветовые маркеры");
    // The list's menu item, the overview's, and the history window's title.
    QString checkHistory = QStringLiteral("история проверок");
    QString importCommand = QStringLiteral("импорт партнеров…");
    QString exportCommand = QStringLiteral("экспорт…");
    // The import dialog's title and the busy dialog's of the import.
    QString importTitle = QStringLiteral("импорт партнеров");
    QString readingTable = QStringLiteral("Чтение таблицы…");
    QString tableUnreadable = QStringLiteral("не удалось прочитать таблицу: ");
    QString exportTitle = QStringLiteral("экспорт");
    QString writingTable = QStringLiteral("Запись таблицы…");
    // The export's file types, as the file dialog lists them.
    QString xlsxFilter = QStringLiteral("Excel (*.xlsx)");
    QString excelCsvFilter = QStringLiteral("CSV для Excel (*.csv)");
    QString csvFilter = QStringLiteral("CSV (*.csv)");
    QString exportFailed = QStringLiteral("Не удалось экспортировать список: ");
    QString exportWithoutHistory =
        QStringLiteral("История проверок не прочитана: столбцы результатов проверки пусты.");
    QString historyTitle = QStringLiteral("История проверок");
    QString readingHistory = QStringLiteral("Чтение истории проверок…");
};
const MainWindowWords& mainWindowWords();
// Why the export failed; empty when it did not.
QString exportProblemWords(const ExportOutcome& outcome);

// The editor panel under the list.
struct EditorWords {
    // The record's fields, in the order of a record line (kFieldCodes).
    std::array<QString, 8> captions{
        QStringLiteral("страница партнера"),
        QStringLiteral("icq партнера"),
        QStringLiteral("e-mail партнера"),
        QStringLiteral("должен установить до"),
        QStringLiteral("ваша страница со ссылкой партнера"),
        QStringLiteral("максимальное количество исходящих ссылок на странице партнера"),
        QStringLiteral("ваша ссылка на странице партнера"),
        QStringLiteral("дополнительно"),
    };
    QString close = QStringLiteral("закрыть");
    QString apply = QStringLiteral("применить");
    QString add = QStringLiteral("добавить");
};
const EditorWords& editorWords();
// The caption of a field of the record line (kFieldCodes order):
// "страница партнера", "icq партнера", ...; empty for no field.
QString editorCaption(int field);

// The outgoing links window.
struct OutgoingLinksWords {
    QString title = QStringLiteral("Просмотр исходящих ссылок со страницы");
};
const OutgoingLinksWords& outgoingLinksWords();

// The history window of a record, and the lines of its text that the
// list's hints show too.
struct HistoryWindowWords {
    QString checkedAt = QStringLiteral("дата и время");
    QString result = QStringLiteral("результат");
    // The outgoing links, here and in the overview.
    QString count = QStringLiteral("ссылок");
    QString source = QStringLiteral("источник");
    QString lastFound = QStringLiteral("ссылка последний раз найдена ");
    QString pageSignals = QStringLiteral("сигналы страницы: ");
    QString lastCheck = QStringLiteral("последняя проверка ");
    QString notConfirmed = QStringLiteral("; состояние еще не подтверждено");
    // Between a state and the time it holds since.
    QString since = QStringLiteral(" с ");
};
const HistoryWindowWords& historyWindowWords();

// The overview of every partner.
struct OverviewWords {
    QString search = QStringLiteral("поиск");
    QString all = QStringLiteral("все");
    QString problems = QStringLiteral("только проблемы");
    QString changed = QStringLiteral("изменились за последнюю проверку");
    QString title = QStringLiteral("обзор партнеров: %1 из %2");  // rows shown, of all
    QString number = QStringLiteral("№");
    QString deadline = QStringLiteral("срок");
};
const OverviewWords& overviewWords();

// The import dialog.
struct ImportWords {
    QString from = QStringLiteral("откуда:");
    QString file = QStringLiteral("файл");
    QString browse = QStringLiteral("выбрать…");
    QString clipboard = QStringLiteral(
        "буфер обмена (ячейки, скопированные из таблицы, или адреса по одному в строке)");
    QString encoding = QStringLiteral("кодировка:");
    QString delimiter = QStringLiteral("разделитель:");
    QString headerChoice = QStringLiteral("первая строка — заголовки столбцов");
    QString mapping = QStringLiteral("куда идет каждый столбец (первые %1 строк таблицы):");
    QString update = QStringLiteral(
        "обновить существующие (строки с теми же страницей партнера и ссылкой заменяют непустые "
        "поля записи)");
    QString import = QStringLiteral("импортировать");
    QString cancel = QStringLiteral("отмена");
    QString fileFilter = QStringLiteral("Таблицы (*.csv *.tsv *.txt *.xlsx)");
    QString chooseSource = QStringLiteral("выберите файл или буфер обмена");
    QString clipboardName = QStringLiteral("буфер обмена");
    QString clipboardEmpty = QStringLiteral("в буфере обмена нет текста");
    // The delimiters to choose from: TAB, ';' and ','; another in quotes.
    QString tab = QStringLiteral("табуляция");
    QString semicolon = QStringLiteral("точка с запятой");
    QString comma = QStringLiteral("запятая");
    QString otherDelimiter = QStringLiteral("«%1»");
    // What the reading went by.
    QString detected = QStringLiteral("определено: ");
    QString firstSheet = QStringLiteral("первый лист книги XLSX");
    QString encodingChosen = QStringLiteral("кодировка выбрана: ");
    QString encodingFound = QStringLiteral("кодировка: ");
    QString byMark = QStringLiteral(" (по метке в начале)");
    QString delimiterChosen = QStringLiteral("разделитель выбран: ");
    QString delimiterFound = QStringLiteral("разделитель: ");
    QString bySepLine = QStringLiteral(" (по строке sep=)");
    QString headerRow = QStringLiteral("первая строка — заголовки");
    QString noHeaderRow = QStringLiteral("строки заголовков нет");
    QString column = QStringLiteral("столбец %1");
    QString notImported = QStringLiteral("не импортировать");
};
const ImportWords& importWords();
// Why a table could not be read:
// "строка 1234: кавычка не закрыта", "в файле XLSX нет ни одного листа", ...
QString tableProblemWords(const TableError& error);
// "добавлено: N, обновлено: U, пропущено: дубли D, без адреса A, с
// нечитаемой датой B, с тегами записи T".
QString importCountsWords(const ImportCounts& counts);

// The schedule dialog.
struct ScheduleWords {
    QString title = QStringLiteral("расписание проверок");
    QString note = QStringLiteral(
        "Проверки по расписанию идут и тогда, когда окно программы закрыто: их запускает "
        "система. Проверяется список из файла «%1» в том виде, в каком окно сохранило его при "
        "последнем закрытии. Если указан хотя бы один канал, изменения после проверки придут "
        "туда.");
    QString daily = QStringLiteral("проверять ежедневно в");
    QString every = QStringLiteral("каждые");
    QString hours = QStringLiteral("часов");
    QString telegram = QStringLiteral("Telegram");
    QString botToken = QStringLiteral("токен бота");
    QString chat = QStringLiteral("чат (номер или @канал)");
    QString mail = QStringLiteral("электронная почта");
    QString mailServer = QStringLiteral("сервер (smtps:// или smtp://)");
    QString mailServerExample = QStringLiteral("smtps://smtp.example.org:465");
    QString user = QStringLiteral("пользователь");
    QString password = QStringLiteral("пароль");
    QString mailFrom = QStringLiteral("от кого");
    QString mailTo = QStringLiteral("кому (через запятую)");
    QString webhook = QStringLiteral("webhook");
    QString address = QStringLiteral("адрес");
    QString secret = QStringLiteral("секрет для подписи (необязательно)");
    QString testSend = QStringLiteral("проверить отправку");
    QString enable = QStringLiteral("включить");
    QString disable = QStringLiteral("выключить");
    QString close = QStringLiteral("закрыть");
    QString settingsUnreadable = QStringLiteral("не удалось прочитать настройки уведомлений: ");
    QString settingsUnwritten = QStringLiteral("не удалось сохранить настройки уведомлений: ");
    QString enabled = QStringLiteral("расписание включено: ");
    QString withNotices = QStringLiteral(", с уведомлениями");
    QString withoutNotices = QStringLiteral(", без уведомлений");
    QString nextCheck = QStringLiteral("; следующая проверка ");
    QString disabled = QStringLiteral("расписание выключено");
    QString readingHistory = QStringLiteral("читается история проверок…");
    QString noScheduledCheck = QStringLiteral("проверок по расписанию еще не было");
    QString lastScheduledCheck = QStringLiteral("последняя проверка по расписанию: ");
    QString dash = QStringLiteral(" — ");
    QString changedRecords = QStringLiteral(" · изменились ");
    QString noProgram = QStringLiteral(
        "не найдена программа quorvel-cli, которая выполняет проверки по расписанию");
    QString lingerAdvice = QStringLiteral(
        ".\nСейчас проверки идут, только пока вы вошли в систему. Чтобы они шли всегда, выполните "
        "в терминале: loginctl enable-linger");
    QString noUserSystemdEnable = QStringLiteral(
        "В системе нет systemd пользователя, расписание не включено. Добавьте в crontab (команда "
        "crontab -e) строку:\n");
    QString enableFailed = QStringLiteral("не удалось включить расписание (");
    QString noUserSystemdDisable = QStringLiteral(
        "В системе нет systemd пользователя: уберите из crontab (команда crontab -e) строку, "
        "которая проверяет «%1».");
    QString disableFailed = QStringLiteral("не удалось выключить расписание (");
    QString noChannel = QStringLiteral("не указан ни один канал: Telegram, почта или webhook");
    QString sending = QStringLiteral("отправка проверочного сообщения…");
    QString accepted = QStringLiteral(": принято (");
    QString notAccepted = QStringLiteral(": не принято: ");
};
const ScheduleWords& scheduleWords();
// How often a schedule checks: "каждый день в 07:00", "каждый час", "каждые 6 часов".
QString whenWords(const ScheduleRequest& request);
// A channel's name: "Telegram", "почта", "webhook".
QString channelWords(NoticeChannel channel);
// What is wrong with the notice settings, in the user's words; empty for None.
QString notifyProblemWords(const NotifyProblem& problem);

}  // namespace quorvel
