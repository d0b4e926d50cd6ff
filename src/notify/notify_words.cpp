#include "notify/notify_words.h"

namespace quorvel {

QString noticeWord(NoticeWord word) {
    switch (word) {
        case NoticeWord::TestSubject:
            return QStringLiteral("Quorvel: проверка отправки");
        case NoticeWord::TestBody:
            break;
    }
    return QStringLiteral(
        "Уведомления доходят: сюда придут изменения, найденные проверками ссылок.");
}

}  // namespace quorvel
