#include <minizip/unzip.h>

#include <QByteArray>
#include <QCoreApplication>
#include <limits>

#include "quazip/quazip.h"
#include "quazip/quazipfile.h"

namespace {

// minizip's file functions over a QIODevice: the "file" is the device itself.
QIODevice* deviceOf(voidpf stream) {
    return static_cast<QIODevice*>(stream);
}

voidpf openDevice(voidpf opaque, const void*, int mode) {
    QIODevice* device = static_cast<QIODevice*>(opaque);
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) {
        return nullptr;
    }
    if (!device->isOpen() && !device->open(QIODevice::ReadOnly)) {
        return nullptr;
    }
    // The central directory sits at the end: a stream cannot be unzipped.
    if (!device->isReadable() || device->isSequential()) {
        return nullptr;
    }
    return device;
}

uLong readDevice(voidpf, voidpf stream, void* buf, uLong size) {
    const qint64 got = deviceOf(stream)->read(static_cast<char*>(buf), qint64(size));
    return got < 0 ? 0 : uLong(got);
}

uLong writeDevice(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T tellDevice(voidpf, voidpf stream) {
    const qint64 at = deviceOf(stream)->pos();
    return at < 0 ? ZPOS64_T(-1) : ZPOS64_T(at);
}

long seekDevice(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    QIODevice* device = deviceOf(stream);
    qint64 to = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            to = qint64(offset);
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            to = device->pos() + qint64(offset);
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            to = device->size() + qint64(offset);
            break;
        default:
            return -1;
    }
    return to >= 0 && device->seek(to) ? 0 : -1;
}

int closeDevice(voidpf, voidpf) {
    return 0;
}  // the device stays its owner's
int errorOf(voidpf, voidpf) {
    return 0;
}

unzFile unzipOf(void* handle) {
    return static_cast<unzFile>(handle);
}

}  // namespace

QuaZip::QuaZip(QIODevice* device) : device_(device) {}

QuaZip::~QuaZip() {
    if (unzip_) {
        unzClose(unzipOf(unzip_));
    }
}

bool QuaZip::open(Mode mode) {
    if (mode != mdUnzip || unzip_ || !device_) {
        return false;
    }
    zlib_filefunc64_def functions{};
    functions.zopen64_file = openDevice;
    functions.zread_file = readDevice;
    functions.zwrite_file = writeDevice;
    functions.ztell64_file = tellDevice;
    functions.zseek64_file = seekDevice;
    functions.zclose_file = closeDevice;
    functions.zerror_file = errorOf;
    functions.opaque = device_;
    // minizip hands the name to zopen64_file only; the device is the archive.
    unzip_ = unzOpen2_64("", &functions);
    return unzip_ != nullptr;
}

bool QuaZip::setCurrentFile(const QString& name, CaseSensitivity cs) {
    hasCurrent_ = false;
    if (!unzip_) {
        return false;
    }
    const Qt::CaseSensitivity sensitivity =
        cs == csInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    unzFile unzip = unzipOf(unzip_);
    for (int more = unzGoToFirstFile(unzip); more == UNZ_OK; more = unzGoToNextFile(unzip)) {
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(unzip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
            return false;
        }
        if (info.size_filename > 0xFFFF) {
            continue;
        }
        QByteArray raw(qsizetype(info.size_filename), Qt::Uninitialized);
        if (unzGetCurrentFileInfo64(unzip, nullptr, raw.data(), uLong(raw.size()), nullptr, 0,
                                    nullptr, 0) != UNZ_OK) {
            return false;
        }
        // Bit 11 marks a UTF-8 name; others are taken byte for byte.
        const QString current =
            (info.flag & (1u << 11)) ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
        if (current.compare(name, sensitivity) == 0) {
            hasCurrent_ = true;
            return true;
        }
    }
    return false;
}

QuaZipFile::QuaZipFile(QuaZip* zip) : zip_(zip) {}

QuaZipFile::~QuaZipFile() {
    if (isOpen()) {
        close();
    }
}

bool QuaZipFile::open(OpenMode mode) {
    if (isOpen() || mode != QIODevice::ReadOnly || !zip_->unzip_ || !zip_->hasCurrent_) {
        return false;
    }
    const int code = unzOpenCurrentFile(unzipOf(zip_->unzip_));
    if (code != UNZ_OK) {
        setZipError(code);
        return false;
    }
    return QIODevice::open(mode);
}

void QuaZipFile::close() {
    if (isOpen()) {
        unzCloseCurrentFile(unzipOf(zip_->unzip_));
    }
    QIODevice::close();
}

qint64 QuaZipFile::readData(char* data, qint64 maxSize) {
    const unsigned size = unsigned(qMin<qint64>(maxSize, std::numeric_limits<int>::max()));
    const int got = unzReadCurrentFile(unzipOf(zip_->unzip_), data, size);
    if (got < 0) {
        setZipError(got);
        return -1;
    }
    return got;
}

void QuaZipFile::setZipError(int code) {
    setErrorString(QCoreApplication::translate("QuaZipFile", "ZIP/UNZIP API error %1").arg(code));
}
