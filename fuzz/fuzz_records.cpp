// Any bytes as a record file: read, written, read again, the records must be
// the same; writing never loses a character.
#include <cstdint>
#include <cstdlib>

#include "records/record_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const quorvel::RecordFileContent first = quorvel::parseRecordFile(bytes);
    const std::optional<QByteArray> written = quorvel::encodeRecordFile(first.records);
    if (!written) {
        std::abort();  // what was read can always be written
    }
    const quorvel::RecordFileContent second = quorvel::parseRecordFile(*written);
    if (!(second.records == first.records) || second.outcome != quorvel::ReadOutcome::Read) {
        std::abort();
    }
    return 0;
}
