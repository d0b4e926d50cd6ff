#pragma once

// The current entry of a QuaZip archive, read as it unpacks (see quazip.h).

#include <QIODevice>

#include "quazip/quazip.h"

class QuaZipFile : public QIODevice {
  public:
    explicit QuaZipFile(QuaZip* zip);
    ~QuaZipFile() override;

    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return true; }

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    void setZipError(int code);

    QuaZip* zip_;
};
