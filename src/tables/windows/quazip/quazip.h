#pragma once

// The Windows build's stand-in for the few QuaZip calls that the workbook
// reader makes (xlsx_reader.cpp), over minizip's unzip. QuaZip for Qt 6 needs
// Qt's Core5Compat module, a second Qt module to cross-build for nothing but
// its file name codecs; the workbook's part names are ASCII. Texts and
// choices follow QuaZip's, so a workbook reads the same on both platforms.

#include <QIODevice>
#include <QString>

class QuaZipFile;

class QuaZip {
  public:
    enum Mode { mdNotOpen, mdUnzip };
    enum CaseSensitivity { csDefault, csSensitive, csInsensitive };

    // Reads the archive from `device` (not owned), which must allow seeking.
    explicit QuaZip(QIODevice* device);
    ~QuaZip();
    QuaZip(const QuaZip&) = delete;
    QuaZip& operator=(const QuaZip&) = delete;

    bool open(Mode mode);
    // Makes the first entry of that name (in the central directory's order)
    // the current one; false when there is none.
    bool setCurrentFile(const QString& name, CaseSensitivity cs = csDefault);

  private:
    friend class QuaZipFile;
    QIODevice* device_;
    void* unzip_ = nullptr;  // minizip's unzFile
    bool hasCurrent_ = false;
};
