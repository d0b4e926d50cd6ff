#include "records/settings_file.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>

#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(SettingsFile, ChangesAreKeptAndGroupsRemovedWhole) {
    test::TempDir dir;
    const QString path = dir.path(u"sub/quorvel.ini"_s);
    const Outcome<SettingsValues> missing = readSettings(path);
    ASSERT_TRUE(missing) << missing.error.toStdString();
    EXPECT_TRUE(missing.value.isEmpty()) << "no file yet is no settings";

    const QString text = u"Проверка = «кавычки», ; и \"двойные\"\nвторая строка"_s;
    ASSERT_TRUE(updateSettings(path, {{u"window/lastRun"_s, 42},
                                      {u"views/Мои/search"_s, text},
                                      {u"views/Мои/columns"_s, QStringList{u"a"_s, u"b, c"_s}},
                                      {u"views/other/search"_s, u"x"_s}}));
    ASSERT_TRUE(updateSettings(
        path,
        {{u"views/Мои/"_s, QVariant()}, {u"window/lastRun"_s, 43}, {u"absent"_s, QVariant()}}));
    const Outcome<SettingsValues> read = readSettings(path);
    ASSERT_TRUE(read) << read.error.toStdString();
    EXPECT_EQ(read.value.value(u"window/lastRun"_s).toInt(), 43);
    EXPECT_EQ(read.value.value(u"views/other/search"_s).toString(), u"x"_s);
    EXPECT_FALSE(read.value.contains(u"views/Мои/search"_s)) << "the group went whole";
    EXPECT_FALSE(read.value.contains(u"views/Мои/columns"_s));

    ASSERT_TRUE(updateSettings(path, {{u"t"_s, text}, {u"l"_s, QStringList{u"a"_s, u"b, c"_s}}}));
    const SettingsValues again = readSettings(path).value;
    EXPECT_EQ(again.value(u"t"_s).toString(), text) << "any text comes back as it was";
    EXPECT_EQ(again.value(u"l"_s).toStringList(), (QStringList{u"a"_s, u"b, c"_s}));
}

// Two programs writing different keys at once keep both.
TEST(SettingsFile, WritersAtOnceLoseNothing) {
    test::TempDir dir;
    const QString path = dir.path(u"quorvel.ini"_s);
    constexpr int kEach = 20;
    auto writer = [&](const QString& prefix) {
        for (int i = 0; i < kEach; ++i) {
            ASSERT_TRUE(updateSettings(path, {{prefix + QString::number(i), i}}));
        }
    };
    std::thread a(writer, u"a/"_s);
    std::thread b(writer, u"b/"_s);
    a.join();
    b.join();
    EXPECT_EQ(readSettings(path).value.size(), 2 * kEach);
}

TEST(SettingsFile, OnlyARegularFileOfSettingsSizeIsRead) {
    test::TempDir dir;
    const QString fifo = dir.path(u"fifo.ini"_s);
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(readSettings(fifo)) << "a FIFO is refused without blocking";
    EXPECT_FALSE(updateSettings(fifo, {{u"k"_s, 1}})) << "and never replaced";

    const QString big = dir.path(u"big.ini"_s);
    dir.write(u"big.ini"_s, "[g]\nk=" + QByteArray(5 * 1024 * 1024, 'x') + '\n');
    const Outcome<SettingsValues> read = readSettings(big);
    EXPECT_FALSE(read);
    EXPECT_TRUE(read.error.contains(u"4 MiB"_s)) << read.error.toStdString();
}

}  // namespace
}  // namespace quorvel
