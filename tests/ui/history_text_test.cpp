#include "ui/history_text.h"

#include <gtest/gtest.h>

#include "support/printers.h"
#include "ui/window_words.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(HistoryText, ReasonsInWords) {
    struct Row {
        const char* name;
        QString reason;
        QString words;
    };
    const Row rows[] = {
        {"dns", u"dns"_s, u"адрес не найден"_s},
        {"connect", u"connect"_s, u"нет соединения"_s},
        {"timeout", u"timeout"_s, u"истекло время ожидания"_s},
        // The certificate problems by the texts the library gives them.
        {"tls, expired", u"tls certificate has expired"_s, u"сертификат просрочен"_s},
        {"tls, self-signed", u"tls self-signed certificate"_s, u"сертификат самоподписанный"_s},
        {"tls, another name", u"tls certificate does not match the host name"_s,
         u"сертификат выдан другому имени"_s},
        {"tls, anything else", u"tls unable to get local issuer certificate"_s,
         u"сертификат не проверен: unable to get local issuer certificate"_s},
        {"tls without details", u"tls"_s, u"ошибка TLS-соединения"_s},
        {"http status", u"http 404"_s, u"ответ сервера 404"_s},
        {"too large", u"too-large"_s, u"страница больше 16 МиБ"_s},
        {"redirect loop", u"redirects"_s, u"слишком много перенаправлений"_s},
        {"scheme", u"scheme"_s, u"адрес не http/https"_s},
        {"nofollow", u"nofollow"_s, u"rel=nofollow"_s},
        {"noindex", u"noindex"_s, u"внутри noindex"_s},
        {"no link", u"no-link"_s, u"не задана ваша ссылка"_s},
        // Two attempts: the first's reason, then the second's when it differs.
        {"both attempts", u"dns; http 503"_s,
         u"адрес не найден (первый адрес); второй адрес: ответ сервера 503"_s},
        {"both alike", u"dns; dns"_s, u"адрес не найден"_s},
        {"a bot wall, then no such host", u"blocked challenge; dns"_s,
         u"закрыта защитой от ботов (первый адрес); второй адрес: адрес не найден"_s},
        {"known and unknown", u"timeout; weird thing"_s,
         u"истекло время ожидания (первый адрес); второй адрес: weird thing"_s},
        {"unknown as it is", u"Couldn't connect to server"_s, u"Couldn't connect to server"_s},
        {"markup as it is", u"<b>dns</b>"_s, u"<b>dns</b>"_s},
        {"a prefix is no code", u"dnsx"_s, u"dnsx"_s},
        {"details where none belong", u"dns 1"_s, u"dns 1"_s},
        {"a bot wall", u"blocked challenge"_s, u"страница закрыта защитой от ботов"_s},
        {"a rate limit, its wait left out", u"blocked http 429 retry-after 30"_s,
         u"сервер просит подождать (429)"_s},
        {"a rate limit, and a plain 503", u"blocked http 429; http 503"_s,
         u"сервер просит подождать (429) (первый адрес); второй адрес: ответ сервера 503"_s},
        {"two rate limits, each its own wait",
         u"blocked http 429 retry-after 5; blocked http 429"_s, u"сервер просит подождать (429)"_s},
        {"a code without its details", u"http"_s, u"http"_s},
        {"empty", QString(), QString()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(reasonWords(row.reason), row.words);
    }
}

QDateTime local(int day, int hour, int minute = 0) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute)).toUTC();
}

HistoryEvent event(ChangeKind change, QDateTime at, const QString& reason = {}) {
    HistoryEvent e;
    e.change = change;
    e.checkedAt = std::move(at);
    e.reason = reason;
    return e;
}

// The lines around the state: unconfirmed, a last check that disagrees, and
// every change in words.
TEST(HistoryText, StateLastCheckAndChanges) {
    EXPECT_EQ(historyText({}), u"проверок еще не было");

    RecordHistory once;
    once.summary.checks = 1;
    once.summary.lastStatus = CheckStatus::FetchFailed;
    once.summary.lastReason = u"timeout"_s;
    once.summary.lastCheckedAt = local(2, 9, 5);
    EXPECT_EQ(historyText(once),
              u"последняя проверка 02.03.2024 09:05: не удалось загрузить страницу партнера "
              u"(истекло время ожидания); состояние еще не подтверждено");

    RecordHistory h;
    h.summary.checks = 9;
    h.summary.state = ConfirmedState::Found;
    h.summary.since = local(8, 7);
    h.summary.lastFound = local(8, 7, 1);
    h.summary.lastStatus = CheckStatus::Missing;
    h.summary.lastCheckedAt = local(9, 7, 2);
    h.events = {event(ChangeKind::Indexable, local(8, 7, 1)),
                event(ChangeKind::Hidden, local(7, 7, 1), u"noindex"_s),
                event(ChangeKind::Restored, local(6, 7, 1)),
                event(ChangeKind::Up, local(5, 7, 1)),
                event(ChangeKind::Down, local(4, 7, 1), u"http 500; http 500"_s),
                event(ChangeKind::Lost, local(3, 7, 1), u"no-link"_s)};
    EXPECT_EQ(
        historyText(h).split(u'\n'),
        (QStringList{u"ссылка есть с 08.03.2024 07:00"_s,
                     u"последняя проверка 09.03.2024 07:02: ссылки нет"_s,
                     u"08.03.2024 07:01 — ссылка снова индексируется"_s,
                     u"07.03.2024 07:01 — ссылка перестала индексироваться (внутри noindex)"_s,
                     u"06.03.2024 07:01 — ссылка снова на месте"_s,
                     u"05.03.2024 07:01 — страница партнера снова загружается"_s,
                     u"04.03.2024 07:01 — страница партнера не загружается "
                     u"(ответ сервера 500)"_s,
                     u"03.03.2024 07:01 — ссылка пропала (не задана ваша ссылка)"_s}));
}

// The facts beside the state: the page's signals, the user's own page and a
// deadline that has passed (as of the last check) since the first check.
TEST(HistoryText, SignalsYourSideAndTheDeadline) {
    RecordHistory h;
    h.summary.checks = 2;
    h.summary.state = ConfirmedState::Missing;
    h.summary.since = local(8, 7);
    h.summary.lastStatus = CheckStatus::Missing;
    h.summary.lastCheckedAt = local(9, 7, 2);
    h.summary.lastSignals = {u"meta-noindex"_s, u"header-nofollow"_s, u"rel-sponsored"_s};
    h.summary.lastReciprocal = CheckStatus::Hidden;
    h.summary.firstChecked = local(1, 7);
    const QDate today(2024, 3, 10);
    EXPECT_EQ(historyText(h, {true, u"09.03.2024"_s, today}).split(u'\n'),
              (QStringList{u"ссылки нет с 08.03.2024 07:00"_s,
                           u"сигналы страницы: meta robots noindex, заголовок X-Robots-Tag "
                           u"nofollow, rel=sponsored"_s,
                           u"ваша ссылка на партнера: не индексируется"_s,
                           u"срок установки ссылки истек 09.03.2024"_s}));
    // No own page, a deadline still to come (or today), a date in ISO form.
    h.summary.lastSignals.clear();
    EXPECT_EQ(historyText(h, {false, u"2024-03-10"_s, today}), u"ссылки нет с 08.03.2024 07:00");
    EXPECT_EQ(historyText(h, {false, u"2024-03-01"_s, today}),
              u"ссылки нет с 08.03.2024 07:00\nсрок установки ссылки истек 01.03.2024")
        << "on the first check's day";
    EXPECT_EQ(historyText(h, {false, u"2024-02-29"_s, today}), u"ссылки нет с 08.03.2024 07:00")
        << "it had passed before the record was first checked";
    // Found in time is not late, whatever the date.
    h.summary.state = ConfirmedState::Found;
    h.summary.lastStatus = CheckStatus::Found;
    h.summary.lastReciprocal = CheckStatus::None;
    EXPECT_EQ(historyText(h, {true, u"01.01.2000"_s, today}),
              u"ссылка есть с 08.03.2024 07:00\nваша ссылка на партнера: еще не проверялась");
}

// What the last check learnt of the link, a state that stands on a rendering
// and a new text of the link.
TEST(HistoryText, FactsOfTheLink) {
    RecordHistory h;
    h.summary.checks = 3;
    h.summary.state = ConfirmedState::Found;
    h.summary.since = local(8, 7);
    h.summary.lastStatus = CheckStatus::Found;
    h.summary.lastSignals = {u"canonical-elsewhere"_s, u"robots-disallow"_s};
    h.summary.lastCanonical = u"http://p.test/"_s;
    h.summary.lastRobotsAgent = u"Googlebot"_s;
    h.summary.lastAnchor = u"окна"_s;
    h.summary.lastExternal = 41;
    HistoryEvent changed = event(ChangeKind::AnchorChanged, local(8, 7, 1));
    changed.previousAnchor = u"купить окна"_s;
    changed.anchor = u"окна"_s;
    h.events = {changed};
    EXPECT_EQ(historyText(h).split(u'\n'),
              (QStringList{u"ссылка есть с 08.03.2024 07:00"_s,
                           u"сигналы страницы: страница указывает каноническим другой адрес: "
                           u"http://p.test/, robots.txt запрещает страницу для Googlebot"_s,
                           u"текст ссылки: окна"_s, u"всего внешних ссылок: 41"_s,
                           u"08.03.2024 07:01 — изменился текст ссылки: купить окна → окна"_s}));

    RecordHistory rendered;
    rendered.summary.checks = 1;
    rendered.summary.state = ConfirmedState::Found;
    rendered.summary.renderedOnly = true;
    rendered.summary.lastStatus = CheckStatus::Missing;
    rendered.summary.lastCheckedAt = local(9, 7, 2);
    EXPECT_EQ(historyText(rendered).split(u'\n').first(),
              u"ссылка есть только после выполнения JavaScript");
}

// A change in one line: the change of a link's text says both texts.
TEST(HistoryText, AChangeInOneLine) {
    HistoryEvent event;
    event.change = ChangeKind::AnchorChanged;
    event.previousAnchor = u"купить окна"_s;
    event.anchor = u"окна"_s;
    EXPECT_EQ(eventWords(event), u"изменился текст ссылки: купить окна → окна"_s);
    event.change = ChangeKind::Lost;
    EXPECT_EQ(eventWords(event), changeWords(ChangeKind::Lost));
}

}  // namespace
}  // namespace quorvel
