#pragma once

#include <QString>

namespace quorvel {

// The Russian words of notices that are not the history's.
enum class NoticeWord { TestSubject, TestBody };
QString noticeWord(NoticeWord word);

}  // namespace quorvel
