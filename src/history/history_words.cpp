#include "history/history_words.h"

#include <QStringList>

namespace quorvel {

using namespace Qt::StringLiterals;

const QString kNoChecksYetText = u"проверок еще не было"_s;
const QString kHistoryUnreadableText = u"не удалось прочитать историю проверок"_s;
const QString kNeverCheckedText = u"еще не проверялась"_s;
const QString kBlockedStateText = u"страница закрыта защитой от ботов"_s;
const QString kUnconfirmedText = u"не подтверждено: "_s;
const QString kOverdueMark = u"просрочен"_s;

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
            return reason.tlsProblem.isEmpty() ? u"ошибка TLS-соединения"_s
                                               : u"ошибка сертификата: "_s + reason.tlsProblem;
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

QString reasonWords(QStringView reason) {
    QStringList parts;
    for (const QStringView part : reason.split(u"; ")) {
        if (const std::optional<VerdictReason> verdict = verdictReasonFromCode(part)) {
            parts += verdictReasonWords(*verdict);
        } else if (const std::optional<FailureReason> failure = FailureReason::readCode(part)) {
            parts += failureWords(*failure);
        } else {
            parts += part.toString();
        }
    }
    return parts.join(u"; ");
}

QString signalWords(QStringView name) {
    static constexpr struct {
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

QString tallyWords(const std::array<int, 4>& byStatus) {
    return u"есть %1 · скрыты %2 · нет %3 · недоступны %4"_s.arg(byStatus[0])
        .arg(byStatus[1])
        .arg(byStatus[2])
        .arg(byStatus[3]);
}

}  // namespace quorvel
