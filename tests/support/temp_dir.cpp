#include "support/temp_dir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace quorvel::test {

TempDir::TempDir() {
    EXPECT_TRUE(dir_.isValid());
}

QString TempDir::path(const QString& name) const {
    return dir_.filePath(name);
}

void TempDir::write(const QString& name, const QByteArray& bytes) const {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray TempDir::read(const QString& name) const {
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << name.toStdString();
        return QByteArray();
    }
    return file.readAll();
}

}  // namespace quorvel::test
