#include "history/history_words.h"

#include <QStringList>

namespace quorvel {

using namespace Qt::StringLiterals;

const QStringList& listColumnWords() {
    static const QStringList words{u"страница партнера"_s,
                                   u"ваша ссылка"_s,
                                   u"дата"_s,
                                   u"icq"_s,
                                   u"e-mail"_s,
                                   u"ваша страница"_s,
                                   u"максимальное количество"_s,
                                   u"дополнительно"_s};
    return words;
}

const QString kYourLinkText = u"ваша ссылка на партнера"_s;
const QString kReasonText = u"причина"_s;

QString historyColumnWords(HistoryColumn column) {
    switch (column) {
        case HistoryColumn::State:
            return u"состояние"_s;
        case HistoryColumn::Since:
            return u"с"_s;
        case HistoryColumn::LastFound:
            return u"последний раз найдена"_s;
        case HistoryColumn::Reason:
            return kReasonText;
        case HistoryColumn::Count:
            return u"ссылок на странице"_s;
        case HistoryColumn::OverLimit:
            return u"превышен лимит"_s;
        case HistoryColumn::Signals:
            return u"сигналы"_s;
        case HistoryColumn::Reciprocal:
            return kYourLinkText;
        case HistoryColumn::Overdue:
            return u"просрочен"_s;
    }
    return QString();
}

const QStringList& exportHistoryColumnWords() {
    static const QStringList words = [] {
        QStringList all;
        for (int column = 0; column < kHistoryColumns; ++column) {
            all += historyColumnWords(HistoryColumn(column));
        }
        return all;
    }();
    return words;
}

QString yesWords() {
    return u"да"_s;
}

const QString kNeverCheckedText = u"еще не проверялась"_s;
const QString kBlockedStateText = u"страница закрыта защитой от ботов"_s;
const QString kUnconfirmedText = u"не подтверждено: "_s;
const QString kRenderedOnlyText = u"ссылка есть только после выполнения JavaScript"_s;

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

QString statusWords(CheckStatus status) {
    return stateWords(stateOf(status));
}

QString checkedStateWords(const RecordSummary& summary, bool blocked) {
    if (blocked) {
        return kBlockedStateText;
    }
    if (summary.state == ConfirmedState::None) {
        return kUnconfirmedText + statusWords(summary.lastStatus);
    }
    // Found by a browser only: the user should know the scripts carry it.
    return summary.renderedOnly ? kRenderedOnlyText : stateWords(summary.state);
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
            return kYourLinkText + u" пропала"_s;
        case ChangeKind::ReciprocalRestored:
            return kYourLinkText + u" снова на месте"_s;
        case ChangeKind::Overdue:
            return u"срок установки ссылки истек"_s;
        case ChangeKind::AnchorChanged:
            return u"изменился текст ссылки"_s;
    }
    return QString();
}

QString failureWords(const FailureReason& reason) {
    using Kind = FailureReason::Kind;
    switch (reason.kind) {
        case Kind::None:
            break;
        case Kind::Dns:
            return u"адрес не найден"_s;
        case Kind::Connect:
            return u"нет соединения"_s;
        case Kind::Timeout:
            return u"истекло время ожидания"_s;
        case Kind::Tls:
            return tlsWords(reason.tlsProblem);
        case Kind::Http:
            // A server that asks to wait, whatever wait it names.
            return reason.isBlocked() ? u"сервер просит подождать (429)"_s
                                      : u"ответ сервера "_s + QString::number(reason.status);
        case Kind::TooLarge:
            return u"страница больше 16 МиБ"_s;
        case Kind::Redirects:
            return u"слишком много перенаправлений"_s;
        case Kind::Scheme:
            return u"адрес не http/https"_s;
        case Kind::Aborted:
            return u"загрузка прервана"_s;
        case Kind::Challenge:
            return kBlockedStateText;
        case Kind::Encoding:
            return u"не удалось распаковать страницу"_s;
        case Kind::NoHost:
            return u"в адресе нет имени сайта"_s;
    }
    return QString();
}

QString verdictReasonWords(VerdictReason reason) {
    switch (reason) {
        case VerdictReason::None:
            break;
        case VerdictReason::Nofollow:
            return u"rel=nofollow"_s;
        case VerdictReason::Noindex:
            return u"внутри noindex"_s;
        case VerdictReason::NoLink:
            return u"не задана ваша ссылка"_s;
    }
    return QString();
}

namespace {

// The words of one code of a reason: a verdict's, a failure's, or the text
// as it is.
QString partWords(QStringView part) {
    if (const std::optional<VerdictReason> verdict = verdictReasonFromCode(part)) {
        return verdictReasonWords(*verdict);
    }
    if (const std::optional<FailureReason> failure = FailureReason::readCode(part)) {
        return failureWords(*failure);
    }
    return part.toString();
}

// An attempt's words where the address is named after them: a bot wall
// closed that address, not "the page".
QString attemptWords(QStringView part) {
    const std::optional<FailureReason> failure = FailureReason::readCode(part);
    return failure && failure->kind == FailureReason::Kind::Challenge
               ? u"закрыта защитой от ботов"_s
               : partWords(part);
}

}  // namespace

QString tlsWords(QStringView problem) {
    if (problem.isEmpty()) {
        return u"ошибка TLS-соединения"_s;
    }
    // The library's words for the usual problems, and our own for a name
    // that does not match; anything else is named as the library says it.
    if (problem.contains(u"expired", Qt::CaseInsensitive)) {
        return u"сертификат просрочен"_s;
    }
    if (problem.contains(u"self-signed", Qt::CaseInsensitive) ||
        problem.contains(u"self signed", Qt::CaseInsensitive)) {
        return u"сертификат самоподписанный"_s;
    }
    if (problem.contains(u"host name", Qt::CaseInsensitive) ||
        problem.contains(u"subject name", Qt::CaseInsensitive)) {
        return u"сертификат выдан другому имени"_s;
    }
    return u"сертификат не проверен: "_s + problem;
}

QString reasonWords(QStringView reason) {
    const QList<QStringView> parts = reason.split(u"; ");
    if (parts.size() == 2) {
        // The two addresses of a failed page: the first attempt's reason,
        // then the second's only when it says something else.
        const QString second = partWords(parts.at(1));
        if (partWords(parts.at(0)) == second) {
            return second;
        }
        return attemptWords(parts.at(0)) + u" (первый адрес); второй адрес: "_s +
               attemptWords(parts.at(1));
    }
    QStringList words;
    for (const QStringView part : parts) {
        words += partWords(part);
    }
    return words.join(u"; ");
}

QString signalWords(QStringView name) {
    static const struct {
        QStringView name;
        QStringView words;
    } kSignals[] = {
        {u"meta-noindex", u"meta robots noindex"},
        {u"meta-nofollow", u"meta robots nofollow"},
        {u"header-noindex", u"заголовок X-Robots-Tag noindex"},
        {u"header-nofollow", u"заголовок X-Robots-Tag nofollow"},
        {u"rel-sponsored", u"rel=sponsored"},
        {u"rel-ugc", u"rel=ugc"},
        {u"challenge-marker", u"признаки защиты от ботов"},
        {u"other-link-to-you", u"на странице есть другая ссылка на ваш сайт"},
        {u"canonical-elsewhere", u"страница указывает каноническим другой адрес"},
        {u"robots-disallow", u"robots.txt запрещает страницу"},
        {u"rendered-found", kRenderedOnlyText},
        {u"rendered-hidden",
         u"ссылка есть только после выполнения JavaScript, но не индексируется"},
    };
    for (const auto& signal : kSignals) {
        if (signal.name == name) {
            return signal.words.toString();
        }
    }
    return name.toString();
}

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
    return kNeverCheckedText;
}

QString overdueWords(QDate deadline) {
    return u"срок установки ссылки истек "_s + deadline.toString(u"dd.MM.yyyy"_s);
}

QString signalListWords(const QStringList& names) {
    QStringList words;
    for (const QString& name : names) {
        words += signalWords(name);
    }
    return words.join(u", ");
}

QString signalListWords(const QStringList& names, const SignalDetails& details) {
    QStringList words;
    for (const QString& name : names) {
        QString word = signalWords(name);
        if (name == u"other-link-to-you" && !details.nearLink.isEmpty()) {
            word += u": "_s + details.nearLink;
        } else if (name == u"canonical-elsewhere" && !details.canonical.isEmpty()) {
            word += u": "_s + details.canonical;
        } else if (name == u"robots-disallow" && !details.robotsAgent.isEmpty()) {
            // A file that names neither engine forbids it to every crawler.
            word += u" для "_s + (details.robotsAgent == u"*" ? u"всех поисковых роботов"_s
                                                              : details.robotsAgent);
        }
        words += word;
    }
    return words.join(u", ");
}

SignalDetails signalDetails(const RecordSummary& summary) {
    return {summary.lastNearLink, summary.lastCanonical, summary.lastRobotsAgent};
}

QString changeGroupWords(ChangeKind change) {
    switch (change) {
        case ChangeKind::Lost:
            return u"пропали ссылки"_s;
        case ChangeKind::Down:
            return u"недоступны"_s;
        case ChangeKind::ReciprocalLost:
            return u"пропали ваши ссылки на партнеров"_s;
        case ChangeKind::Hidden:
            return u"ссылки перестали индексироваться"_s;
        case ChangeKind::Blocked:
            return u"закрыты защитой от ботов"_s;
        case ChangeKind::Restored:
            return u"ссылки снова на месте"_s;
        case ChangeKind::Indexable:
            return u"ссылки снова индексируются"_s;
        case ChangeKind::Up:
            return u"снова доступны"_s;
        case ChangeKind::ReciprocalRestored:
            return u"ваши ссылки на партнеров снова на месте"_s;
        case ChangeKind::Overdue:
            return u"просрочен срок установки"_s;
        case ChangeKind::AnchorChanged:
            return u"изменился текст ссылки"_s;
    }
    return QString();
}

QString runTotalsWords(int checked, int found, int hidden, int missing, int failed) {
    return u"проверено %1: есть %2, скрыты %3, нет %4, недоступны %5"_s.arg(checked)
        .arg(found)
        .arg(hidden)
        .arg(missing)
        .arg(failed);
}

QString runTimeWords(const QDateTime& started) {
    return u"проверка "_s + started.toLocalTime().toString(u"dd.MM.yyyy HH:mm");
}

QString sinceWords(const QDateTime& since) {
    return u"с "_s + since.toLocalTime().toString(u"dd.MM.yyyy HH:mm");
}

const QString kNoticeTestSubject = u"Quorvel: проверка отправки"_s;
const QString kNoticeTestText =
    u"Уведомления доходят: сюда придут изменения, найденные проверками ссылок."_s;

}  // namespace quorvel
