#include "ui/history_text.h"

#include <QStringList>

#include "checking/deadline.h"
#include "records/record_line.h"

namespace quorvel {

using namespace Qt::StringLiterals;

const QString kNoChecksYetText = u"проверок еще не было"_s;
const QString kHistoryUnreadableText = u"не удалось прочитать историю проверок"_s;
const QString kNeverCheckedText = u"еще не проверялась"_s;
const QString kUnconfirmedText = u"не подтверждено: "_s;
const QString kBlockedStateText = u"страница закрыта защитой от ботов"_s;
const QString kOverdueMark = u"просрочен"_s;

// The words of the check button's legend.
QString stateWords(ConfirmedState state) {
    switch (state) {
        case ConfirmedState::Found:
            return u"ссылка есть"_s;
        case ConfirmedState::Hidden:
            return u"ссылка не индексируется"_s;
        case ConfirmedState::Missing:
            return u"ссылки нет"_s;
        case ConfirmedState::Down:
            return u"не удалось загрузить страницу партнера"_s;
        case ConfirmedState::None:
            break;
    }
    return QString();
}

// The state a single check speaks for.
ConfirmedState stateOf(CheckStatus status) {
    switch (status) {
        case CheckStatus::Found:
            return ConfirmedState::Found;
        case CheckStatus::Hidden:
            return ConfirmedState::Hidden;
        case CheckStatus::Missing:
            return ConfirmedState::Missing;
        case CheckStatus::FetchFailed:
            return ConfirmedState::Down;
        case CheckStatus::None:
            break;
    }
    return ConfirmedState::None;
}

QString changeWords(ChangeKind change) {
    switch (change) {
        case ChangeKind::Lost:
            return u"ссылка пропала"_s;
        case ChangeKind::Restored:
            return u"ссылка снова на месте"_s;
        case ChangeKind::Hidden:
            return u"ссылка перестала индексироваться"_s;
        case ChangeKind::Indexable:
            return u"ссылка снова индексируется"_s;
        case ChangeKind::Down:
            return u"страница партнера не загружается"_s;
        case ChangeKind::Up:
            return u"страница партнера снова загружается"_s;
        case ChangeKind::Blocked:
            return u"страница партнера закрыта защитой от ботов"_s;
        case ChangeKind::ReciprocalLost:
            return u"ваша ссылка на партнера пропала"_s;
        case ChangeKind::ReciprocalRestored:
            return u"ваша ссылка на партнера снова на месте"_s;
    }
    return QString();
}

// The signals' names ("meta-noindex", ...) in the user's words.
QString signalWords(QStringView name) {
    struct SignalEntry {
        QStringView code;
        QStringView words;
    };
    static constexpr SignalEntry kSignals[] = {
        {u"meta-noindex", u"meta robots noindex"},
        {u"meta-nofollow", u"meta robots nofollow"},
        {u"header-noindex", u"заголовок X-Robots-Tag noindex"},
        {u"header-nofollow", u"заголовок X-Robots-Tag nofollow"},
        {u"rel-sponsored", u"rel=sponsored"},
        {u"rel-ugc", u"rel=ugc"},
        {u"challenge-marker", u"признаки защиты от ботов"},
    };
    for (const SignalEntry& entry : kSignals) {
        if (entry.code == name) {
            return entry.words.toString();
        }
    }
    return name.toString();
}

// The user's own page as the reciprocal check found it.
QString reciprocalWords(CheckStatus status) {
    switch (status) {
        case CheckStatus::Found:
            return u"есть"_s;
        case CheckStatus::Hidden:
            return u"не индексируется"_s;
        case CheckStatus::Missing:
            return u"нет"_s;
        case CheckStatus::FetchFailed:
            return u"страница не загрузилась"_s;
        case CheckStatus::None:
            break;
    }
    return u"еще не проверялась"_s;
}

QString historyTimeText(const QDateTime& time) {
    return time.isValid() ? time.toLocalTime().toString(u"dd.MM.yyyy HH:mm"_s) : QString();
}

QString tallyWords(const std::array<int, 4>& byStatus) {
    return u"есть %1 · скрыты %2 · нет %3 · недоступны %4"_s.arg(byStatus[0])
        .arg(byStatus[1])
        .arg(byStatus[2])
        .arg(byStatus[3]);
}

QString signalListWords(const QStringList& names) {
    QStringList words;
    for (const QString& name : names) {
        words += signalWords(name);
    }
    return words.join(u", ");
}

QString runSourceWords(RunSource source) {
    switch (source) {
        case RunSource::Window:
            return u"окно программы"_s;
        case RunSource::CommandLine:
            return u"quorvel-cli"_s;
        case RunSource::Unknown:
            break;
    }
    return QString();
}

namespace {

// One reason code in words. A code stands alone ("dns") or, when its words
// take "%1", is followed by a space and details that go there ("http 404").
// Where codes overlap, the longest one that fits wins, so a narrower code
// ("blocked http 429") can sit beside a wider one ("http").
struct ReasonEntry {
    QStringView code;
    QStringView words;
    bool dropsDetails = false;  // details after the code are not worth telling
};

constexpr ReasonEntry kReasonEntries[] = {
    // The page could not be loaded.
    {u"dns", u"адрес не найден"},
    {u"connect", u"нет соединения"},
    {u"timeout", u"истекло время ожидания"},
    {u"tls", u"ошибка сертификата: %1"},
    {u"tls", u"ошибка TLS-соединения"},  // without details
    {u"http", u"ответ сервера %1"},
    {u"too-large", u"страница больше 16 МиБ"},
    {u"redirects", u"слишком много перенаправлений"},
    {u"scheme", u"адрес не http/https"},
    // The link is there but hidden from search engines.
    {u"nofollow", u"rel=nofollow"},
    {u"noindex", u"внутри noindex"},
    // Missing because there is nothing to look for.
    {u"no-link", u"не задана ваша ссылка"},
    // Not the partner's page: a bot wall, or a server that asks to wait
    // (whatever wait it names).
    {u"blocked challenge", u"страница закрыта защитой от ботов"},
    {u"blocked http 429", u"сервер просит подождать (429)", true},  // " retry-after N"...
};

QString oneReasonWords(QStringView part) {
    const ReasonEntry* best = nullptr;
    QStringView details;
    for (const ReasonEntry& entry : kReasonEntries) {
        if (best && best->code.size() >= entry.code.size()) {
            continue;
        }
        if (!entry.words.contains(u"%1")) {
            if (part == entry.code || (entry.dropsDetails && part.startsWith(entry.code) &&
                                       part.at(entry.code.size()) == u' ')) {
                best = &entry;
                details = {};
            }
        } else if (part.size() > entry.code.size() + 1 && part.startsWith(entry.code) &&
                   part.at(entry.code.size()) == u' ') {
            best = &entry;
            details = part.sliced(entry.code.size() + 1);
        }
    }
    if (!best) {
        return part.toString();
    }
    return details.isNull() ? best->words.toString() : best->words.toString().arg(details);
}

QString withReason(const QString& words, QStringView reason) {
    return reason.isEmpty() ? words : words + u" ("_s + reasonWords(reason) + u')';
}

QString lastCheckLine(const RecordSummary& summary) {
    return u"последняя проверка "_s + historyTimeText(summary.lastCheckedAt) + u": "_s +
           withReason(stateWords(stateOf(summary.lastStatus)), summary.lastReason);
}

// A deadline that has passed, as of the last check's status.
QStringList overdueLines(const RecordSummary& summary, const RecordFacts& facts) {
    if (!isOverdue(facts.deadline, summary.lastStatus, facts.today)) {
        return {};
    }
    return {u"срок установки ссылки истек "_s +
            parseDeadline(facts.deadline)->toString(u"dd.MM.yyyy"_s)};
}

}  // namespace

QString reasonWords(QStringView reason) {
    QStringList parts;
    for (QStringView part : reason.split(u"; ")) {
        parts += oneReasonWords(part);
    }
    return parts.join(u"; ");
}

QString historyText(const RecordHistory& history, const RecordFacts& facts) {
    const RecordSummary& summary = history.summary;
    if (summary.checks == 0) {
        return (QStringList{kNoChecksYetText} + overdueLines(summary, facts)).join(u'\n');
    }
    QStringList lines;
    if (summary.state == ConfirmedState::None) {
        // One Missing check or fewer than three failures confirm nothing yet.
        lines += lastCheckLine(summary) + u"; состояние еще не подтверждено"_s;
    } else {
        QString line = withReason(stateWords(summary.state), summary.stateReason);
        if (summary.since.isValid()) {
            line += u" с "_s + historyTimeText(summary.since);
        }
        lines += line;
    }
    if (!summary.lastSignals.isEmpty()) {
        lines += u"сигналы страницы: "_s + signalListWords(summary.lastSignals);
    }
    if (facts.hasOwnPage) {
        lines += u"ваша ссылка на партнера: "_s + reciprocalWords(summary.lastReciprocal);
    }
    lines += overdueLines(summary, facts);
    const bool foundNow =
        summary.state == ConfirmedState::Found || summary.state == ConfirmedState::Hidden;
    if (!foundNow && summary.lastFound.isValid()) {
        lines += u"ссылка последний раз найдена "_s + historyTimeText(summary.lastFound);
    }
    // A single odd check does not move the state, but the user should see
    // why the page failed this morning.
    if (summary.state != ConfirmedState::None && stateOf(summary.lastStatus) != summary.state) {
        lines += lastCheckLine(summary);
    }
    for (const HistoryEvent& event : history.events) {
        lines += historyTimeText(event.checkedAt) + u" — "_s +
                 withReason(changeWords(event.change), event.reason);
    }
    return lines.join(u'\n');
}

}  // namespace quorvel
