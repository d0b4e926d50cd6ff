#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace quorvel::test {

// A scratch directory removed at the end of the test.
class TempDir {
  public:
    TempDir();
    QString path(const QString& name) const;
    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;

  private:
    QTemporaryDir dir_;
};

}  // namespace quorvel::test
