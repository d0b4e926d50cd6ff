#include "records/record_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include <cstring>
#include <future>
#include <vector>

#include "support/printers.h"

#include "records/text_decoding.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

QByteArray bytes(const char* data, qsizetype size) {
    return QByteArray(data, size);
}
#define B(literal) bytes(literal, sizeof(literal) - 1)

struct ReadCase {
    const char* what;
    QByteArray input;
    QStringList records;
    ReadOutcome outcome = ReadOutcome::Read;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.what;
}

class ReadRecordBytes : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadRecordBytes, GivesTheLines) {
    const ReadCase& c = GetParam();
    const RecordFileContent content = parseRecordFile(c.input);
    EXPECT_EQ(content.records, c.records);
    EXPECT_EQ(content.outcome, c.outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadRecordBytes,
    ::testing::Values(
        ReadCase{"empty file", B(""), {}}, ReadCase{"CR LF", B("a\r\nb\r\n"), {u"a"_s, u"b"_s}},
        ReadCase{"LF only, no final line end", B("a\nb"), {u"a"_s, u"b"_s}},
        ReadCase{"lone CR", B("a\rb\r"), {u"a"_s, u"b"_s}},
        ReadCase{"LF CR is two line ends", B("a\n\rb"), {u"a"_s, u""_s, u"b"_s}},
        ReadCase{"blank line is a record", B("a\r\n\r\nb\r\n"), {u"a"_s, u""_s, u"b"_s}},
        ReadCase{"only a line end", B("\r\n"), {u""_s}},
        ReadCase{"NUL ends the text; what follows makes the read lossy",
                 B("ab\0cd\r\nef\r\n"),
                 {u"ab"_s},
                 ReadOutcome::ReadLossily},
        ReadCase{"NUL bytes alone after the text lose nothing", B("ab\r\n\0\0\0"), {u"ab"_s}},
        ReadCase{"NUL first", B("\0\0x"), {}, ReadOutcome::ReadLossily},
        ReadCase{"UTF-16 NUL unit, then more",
                 B("\xFF\xFE"
                   "a\x00\x00\x00"
                   "b\x00"),
                 {u"a"_s},
                 ReadOutcome::ReadLossily},
        ReadCase{"UTF-16 NUL unit, then zero bytes",
                 B("\xFF\xFE"
                   "a\x00\x00\x00\x00"),
                 {u"a"_s}},
        ReadCase{"the encoding is told by the text before the NUL",
                 B("\xD0\x9F\r\n\0\xFF"),
                 {u"П"_s},
                 ReadOutcome::ReadLossily},
        ReadCase{"Windows-1251", B("\xCF\xF0\xE8\xE2\xE5\xF2\r\n"), {u"Привет"_s}},
        ReadCase{"0x98 is U+0098", B("a\x98z"), {u"a\u0098z"_s}},
        ReadCase{"UTF-8 mark", B("\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\r\n"), {u"При"_s}},
        ReadCase{"a second mark is a character", B("\xEF\xBB\xBF\xEF\xBB\xBFx"), {u"\uFEFFx"_s}},
        ReadCase{"UTF-8 without a mark", B("\xD0\x9F\xD1\x80\xD0\xB8\nx"), {u"При"_s, u"x"_s}},
        ReadCase{"UTF-16 LE", B("\xFF\xFE\x1F\x04\x0D\x00\x0A\x00x\x00"), {u"П"_s, u"x"_s}},
        ReadCase{"UTF-16 BE", B("\xFE\xFF\x04\x1F\x00\x0D\x00\x0A\x00x"), {u"П"_s, u"x"_s}},
        ReadCase{"invalid UTF-8 after the mark",
                 B("\xEF\xBB\xBF"
                   "a\xFF"
                   "b\r\nc"),
                 {u"a\uFFFDb"_s, u"c"_s},
                 ReadOutcome::ReadLossily},
        ReadCase{"odd UTF-16 byte count",
                 B("\xFF\xFE"
                   "a\x00"
                   "b"),
                 {u"a\uFFFD"_s},
                 ReadOutcome::ReadLossily},
        ReadCase{"unpaired surrogates in UTF-16",
                 B("\xFF\xFE\x00\xD8"
                   "a\x00\x3D\xD8\x00\xDE\x00\xDC"),
                 {u"\uFFFDa\U0001F600\uFFFD"_s},
                 ReadOutcome::ReadLossily},
        ReadCase{"mixed line ends", B("a\r\nb\nc\rd"), {u"a"_s, u"b"_s, u"c"_s, u"d"_s}}));

struct WriteCase {
    const char* what;
    QStringList records;
    QByteArray expected;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.what;
}

class WriteRecordBytes : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteRecordBytes, EncodesAndReadsBackTheSame) {
    const WriteCase& c = GetParam();
    const QByteArray written = encodeRecordFile(c.records).value();
    EXPECT_EQ(written, c.expected);
    const RecordFileContent back = parseRecordFile(written);
    EXPECT_EQ(back.records, c.records);
    EXPECT_EQ(back.outcome, ReadOutcome::Read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteRecordBytes,
    ::testing::Values(WriteCase{"empty list: no bytes", {}, B("")},
                      WriteCase{
                          "every line ends in CR LF", {u"a"_s, u""_s, u"b"_s}, B("a\r\n\r\nb\r\n")},
                      WriteCase{"Cyrillic in 1251 without a mark",
                                {u"Привет"_s, u"ёЁ"_s},
                                B("\xCF\xF0\xE8\xE2\xE5\xF2\r\n\xB8\xA8\r\n")},
                      WriteCase{"U+0098 round-trips in 1251", {u"\u0098"_s}, B("\x98\r\n")},
                      WriteCase{"a character 1251 lacks: UTF-8 with the mark",
                                {u"日本"_s, u"Привет"_s},
                                B("\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC\r\n"
                                  "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\n")},
                      WriteCase{"1251 bytes that are valid UTF-8: UTF-8 with the mark",
                                {u"Рџ"_s},
                                B("\xEF\xBB\xBF\xD0\xA0\xD1\x9F\r\n")},
                      WriteCase{"1251 bytes that look like a UTF-16 mark",
                                {u"яюa"_s},
                                B("\xEF\xBB\xBF\xD1\x8F\xD1\x8E"
                                  "a\r\n")},
                      WriteCase{"1251 bytes that look like the UTF-8 mark",
                                {u"п»ї"_s},
                                B("\xEF\xBB\xBF\xD0\xBF\xC2\xBB\xD1\x97\r\n")}));

TEST(RecordFile, WritesAndReadsAFile) {
    test::TempDir dir;
    const QStringList records = {u"<QV_U>http://a.example/</QV_U>"_s, u"Ёжик"_s, u""_s};
    ASSERT_TRUE(writeRecordFile(dir.path(u"p.qvp"_s), records));
    const RecordFileContent back = readRecordFile(dir.path(u"p.qvp"_s));
    EXPECT_EQ(back.outcome, ReadOutcome::Read);
    EXPECT_EQ(back.records, records);
    EXPECT_EQ(QDir(dir.path(u""_s)).entryList(QDir::Files), QStringList{u"p.qvp"_s});
}

TEST(RecordFile, MissingAndUnreadableAreToldApart) {
    test::TempDir dir;
    EXPECT_EQ(readRecordFile(dir.path(u"none.qvp"_s)).outcome, ReadOutcome::Missing);
    ASSERT_TRUE(QDir().mkdir(dir.path(u"folder.qvp"_s)));
    EXPECT_EQ(readRecordFile(dir.path(u"folder.qvp"_s)).outcome, ReadOutcome::Unreadable);

    // Larger than 256 MiB: unreadable, without reading it (the file is sparse).
    QFile big(dir.path(u"big.qvp"_s));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(kMaxRecordFileBytes + 1));
    big.close();
    EXPECT_EQ(readRecordFile(big.fileName()).outcome, ReadOutcome::Unreadable);

    QFile exact(dir.path(u"exact.qvp"_s));
    ASSERT_TRUE(exact.open(QIODevice::WriteOnly));
    ASSERT_TRUE(exact.resize(1024));
    exact.close();
    // 1024 NUL bytes: readable, and the first NUL ends the text.
    EXPECT_EQ(readRecordFile(exact.fileName()).outcome, ReadOutcome::Read);
}

// The line ceiling counts the lines of the text as the reader cuts it: CR LF
// is one line end, nothing after the NUL counts, UTF-16 counts units.
TEST(RecordFile, LineAndByteCeilings) {
    struct Row {
        const char* what;
        QByteArray input;
        bool readable;
    };
    const RecordFileLimits limits{16, 3};
    const Row rows[] = {
        {"three lines", B("a\nb\nc"), true},
        {"three lines, each ended", B("a\r\nb\r\nc\r\n"), true},
        {"three blank lines", B("\r\n\r\n\r\n"), true},
        {"four blank lines", B("\n\n\n\n"), false},
        {"a fourth line without an end", B("a\nb\nc\nd"), false},
        {"LF, CR LF, CR: three line ends", B("\n\r\n\r"), true},
        {"LF CR is two line ends", B("\n\r\n\r\r"), false},
        {"lines after the NUL do not count", B("a\0\n\n\n\n\n\n"), true},
        {"UTF-16, three lines", B("\xFF\xFE\x0A\x00\x0A\x00\x0A\x00"), true},
        {"UTF-16, four lines", B("\xFE\xFF\x00\x0A\x00\x0A\x00\x0A\x00x"), false},
        {"16 bytes", B("0123456789abcdef"), true},
        {"17 bytes", B("0123456789abcdefg"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const RecordFileContent content = parseRecordFile(row.input, limits);
        EXPECT_EQ(wasRead(content.outcome), row.readable);
        if (!row.readable) {
            EXPECT_EQ(content.outcome, ReadOutcome::Unreadable);
            EXPECT_FALSE(content.problem.isEmpty());
            EXPECT_TRUE(content.records.isEmpty());
        }
    }
}

// Endless blank lines from a pipe: refused once the ceiling is passed, long
// before the cap on bytes.
TEST(RecordFile, TheLineCeilingStopsAnEndlessInput) {
    class EndlessLines : public QIODevice {
      public:
        bool isSequential() const override { return true; }
        qint64 delivered = 0;

      protected:
        qint64 readData(char* data, qint64 max) override {
            std::memset(data, '\n', size_t(max));
            delivered += max;
            return max;
        }
        qint64 writeData(const char*, qint64) override { return -1; }
    } device;
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    const RecordFileContent content = readRecordDevice(device);
    EXPECT_EQ(content.outcome, ReadOutcome::Unreadable);
    EXPECT_EQ(content.problem, u"more than 4000000 lines");
    EXPECT_LT(device.delivered, 8 << 20);
}

TEST(RecordFile, FourMillionLinesAreTheMost) {
    test::TempDir dir;
    dir.write(u"most.qvp"_s, QByteArray(kMaxRecordFileLines, '\n'));
    const RecordFileContent most = readRecordFile(dir.path(u"most.qvp"_s));
    EXPECT_EQ(most.outcome, ReadOutcome::Read);
    EXPECT_EQ(most.records.size(), kMaxRecordFileLines);
    dir.write(u"more.qvp"_s, QByteArray(kMaxRecordFileLines, '\n') + "x");
    EXPECT_EQ(readRecordFile(dir.path(u"more.qvp"_s)).outcome, ReadOutcome::Unreadable);
}

// What the program writes it can always read back: a list whose file would
// pass either ceiling is not written at all.
TEST(RecordFile, WritingStopsAtTheReadersCeilings) {
    struct Row {
        const char* what;
        QStringList records;
        bool written;
    };
    const RecordFileLimits limits{12, 3};
    const Row rows[] = {
        {"12 bytes", {u"aaaa"_s, u"bbbb"_s}, true},
        {"13 bytes", {u"aaaa"_s, u"bbbbb"_s}, false},
        {"three records", {u"a"_s, u"b"_s, u"c"_s}, true},
        {"four records", {u"a"_s, u"b"_s, u""_s, u""_s}, false},
        {"a line end inside a record makes a fourth line", {u"a\nb"_s, u"c"_s, u"d"_s}, false},
        {"11 bytes in UTF-8 with the mark", {u"日本"_s}, true},
        {"5 bytes if it fitted 1251, but 14 in UTF-8 with the mark", {u"日本日"_s}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::optional<QByteArray> bytes = encodeRecordFile(row.records, limits);
        ASSERT_EQ(bytes.has_value(), row.written);
        if (bytes) {
            const RecordFileContent back = parseRecordFile(*bytes, limits);
            EXPECT_EQ(back.outcome, ReadOutcome::Read);
            EXPECT_EQ(back.records, row.records);
        }
    }

    test::TempDir dir;
    dir.write(u"p.qvp"_s, "old");
    EXPECT_FALSE(writeRecordFile(dir.path(u"p.qvp"_s), {u"aaaa"_s, u"bbbbb"_s}, limits));
    EXPECT_EQ(dir.read(u"p.qvp"_s), "old");
}

#ifndef Q_OS_WIN
// A FIFO with no writer, a link to one, a device: refused at once, without
// waiting for a writer. A link to a regular file is read.
TEST(RecordFile, OnlyRegularFilesAreRead) {
    test::TempDir dir;
    const QString fifo = dir.path(u"fifo.qvp"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, dir.path(u"to-fifo.qvp"_s)));
    dir.write(u"plain.qvp"_s, "a\r\n");
    ASSERT_TRUE(QFile::link(dir.path(u"plain.qvp"_s), dir.path(u"to-plain.qvp"_s)));

    for (const QString& path : {fifo, dir.path(u"to-fifo.qvp"_s), u"/dev/zero"_s}) {
        SCOPED_TRACE(path.toStdString());
        auto read = std::async(std::launch::async, [&] { return readRecordFile(path); });
        if (read.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
            // Let the blocked reader go before failing.
            QFile writer(fifo);
            writer.open(QIODevice::WriteOnly);
            FAIL() << "the read waits for a writer";
        }
        const RecordFileContent content = read.get();
        EXPECT_EQ(content.outcome, ReadOutcome::Unreadable);
        EXPECT_EQ(content.problem, u"not a regular file");
    }
    EXPECT_EQ(readRecordFile(dir.path(u"to-plain.qvp"_s)).records, QStringList{u"a"_s});

    // Nor is anything but a regular file replaced.
    EXPECT_FALSE(writeRecordFile(fifo, {u"x"_s}));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
#endif

TEST(TextDecoding, Utf8CheckIsStrict) {
    bool multi = true;
    EXPECT_TRUE(isValidUtf8("plain ascii text, longer than eight", &multi));
    EXPECT_FALSE(multi);
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80", &multi));
    EXPECT_TRUE(multi);
    for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xF5\x80\x80\x80", "\xD0", "\x80", "abcdefgh\xD0"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    }
}

// A file written in pieces is judged as the reader judges it whole, wherever
// the pieces are cut (a mark or a UTF-8 sequence across a cut included).
TEST(TextDecoding, PiecesAreJudgedAsTheWhole) {
    const std::vector<std::pair<QByteArray, TextForm>> cases = {
        {"", TextForm::Ascii},
        {"plain", TextForm::Ascii},
        {"\xEF\xBB\xBFmark", TextForm::Utf8WithMark},
        {"\xEF\xBB", TextForm::CodePage},
        {"\xFF\xFEx\x00", TextForm::Utf16LE},
        {"\xFE\xFF\x00x", TextForm::Utf16BE},
        {"\xD0\x9F\xD1\x80\xD0\xB8", TextForm::Utf8},
        {"\xCF\xF0\xE8\xE2\xE5\xF2", TextForm::CodePage},
        {"ab\xF0\x9F\x98", TextForm::CodePage},  // cut off at the end
    };
    for (const auto& [bytes, form] : cases) {
        EXPECT_EQ(detectTextForm(bytes), form) << bytes.toHex().constData();
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
            TextFormDetector detector;
            detector.add(QByteArrayView(bytes).first(cut));
            detector.add(QByteArrayView(bytes).sliced(cut));
            EXPECT_EQ(detector.form(), form) << bytes.toHex().constData() << " cut at " << cut;
        }
    }
}

}  // namespace
}  // namespace quorvel
