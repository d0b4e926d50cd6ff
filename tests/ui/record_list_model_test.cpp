#include <QAbstractItemModelTester>
#include <QSignalSpy>

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

// The markers are a role of the model: nothing while they are not shown, a
// row's result while they are, and no entry beyond the tables.
TEST(RecordListModel, MarkersAreARole) {
    RecordListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto results = std::make_shared<CheckResults>();
    results->store(1, {CheckStatus::Found, 12, true});
    model.setCheckResults(results);
    QStringList lines(kResultTableSize + 1, u"x"_s);
    model.setRecords(lines);
    EXPECT_FALSE(model.data(model.index(1), RecordListModel::MarkerRole).isValid());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setMarkersShown(true);
    ASSERT_EQ(changed.size(), 1) << "the views hear of it";
    EXPECT_EQ(changed.at(0).at(2).value<QList<int>>(), QList<int>{RecordListModel::MarkerRole});
    const auto marker = [&](int row) {
        return model.data(model.index(row), RecordListModel::MarkerRole).value<RowMarker>();
    };
    EXPECT_TRUE(marker(1).hasEntry);
    EXPECT_EQ(marker(1).status, CheckStatus::Found);
    EXPECT_EQ(marker(1).count, 12);
    EXPECT_TRUE(marker(1).overLimit);
    EXPECT_TRUE(marker(0).hasEntry);
    EXPECT_EQ(marker(0).status, CheckStatus::None);
    EXPECT_FALSE(marker(kResultTableSize).hasEntry);
    model.setMarkersShown(true);
    EXPECT_EQ(changed.size(), 1) << "no change, no signal";
    model.setMarkersShown(false);
    EXPECT_FALSE(model.data(model.index(1), RecordListModel::MarkerRole).isValid());
}

}  // namespace
}  // namespace quorvel
