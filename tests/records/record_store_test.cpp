#include "records/record_store.h"

#include <gtest/gtest.h>

#include <random>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(RecordStore, LinesOfATextAreRecords) {
    const RecordStore store = RecordStore::fromLines(u"a\r\n\r\nbc\rd\n\ne"_s);
    EXPECT_EQ(store, (QStringList{u"a"_s, u""_s, u"bc"_s, u"d"_s, u""_s, u"e"_s}));
    EXPECT_EQ(store.textSize(), 5);
    EXPECT_TRUE(RecordStore::fromLines(QString()).isEmpty());
    EXPECT_EQ(RecordStore::fromLines(u"\n"_s), QStringList{u""_s});
}

// Random edits against a plain list, with records long enough that the text
// left behind is dropped several times on the way.
TEST(RecordStore, EditsMatchAPlainList) {
    std::mt19937 random(13);
    auto text = [&](int i) -> QString {
        const int length = random() % 4 == 0 ? 300000 : int(random() % 40);
        return QString(length, QChar(u'a' + i % 26)) + QString::number(i);
    };
    QStringList expected = {u"first"_s, u""_s, u"third"_s};
    RecordStore store = RecordStore::fromLines(u"first\r\n\r\nthird\r\n"_s);
    for (int i = 0; i < 400; ++i) {
        const qsizetype at = expected.isEmpty() ? 0 : qsizetype(random() % expected.size());
        switch (random() % 4) {
            case 0: {
                const QString line = text(i);
                expected.insert(at, line);
                store.insert(at, line);
                break;
            }
            case 1:
                if (!expected.isEmpty()) {
                    const QString line = random() % 3 == 0 ? QString() : text(i);
                    expected.replace(at, line);
                    store.replace(at, line);
                }
                break;
            case 2:
                if (!expected.isEmpty()) {
                    const qsizetype count = qMin<qsizetype>(expected.size() - at, random() % 3);
                    expected.remove(at, count);
                    store.remove(at, count);
                }
                break;
            default:
                expected.append(text(i));
                store.append(expected.last());
        }
        ASSERT_EQ(store, expected) << "after edit " << i;
    }
    qsizetype units = 0;
    for (const QString& line : expected) {
        units += line.size();
    }
    EXPECT_EQ(store.textSize(), units);
    EXPECT_EQ(store.toStringList(), expected);
}

}  // namespace
}  // namespace quorvel
