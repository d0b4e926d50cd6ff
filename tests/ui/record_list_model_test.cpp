#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

#include "support/printers.h"
#include "ui/record_list.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

// Every change goes through Qt's model tester, which aborts the test on the
// first broken promise of the model (rows, indexes, signals).
TEST(RecordListModel, KeepsTheModelContract) {
    RecordListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setRecords({u"a"_s, u"b"_s, u"c"_s, u"d"_s});
    model.insertRecord(0, u"first"_s);
    model.insertRecord(99, u"last"_s);  // beyond the end: appended
    model.insertRecord(-5, u"front"_s);
    EXPECT_EQ(model.records(),
              (QStringList{u"front"_s, u"first"_s, u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"last"_s}));
    model.removeRecordRows({6, 0, 3, 3, 42, -1});  // any order, repeats and strays ignored
    EXPECT_EQ(model.records(), (QStringList{u"first"_s, u"a"_s, u"c"_s, u"d"_s}));
    EXPECT_EQ(model.data(model.index(2), Qt::DisplayRole).toString(), u"c");
    EXPECT_FALSE(model.data(model.index(2), Qt::DecorationRole).isValid());
    model.setRecords({});
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace quorvel
