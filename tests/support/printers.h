#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <ostream>

#include "records/record_store.h"

// Readable failure messages for Qt's text types.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(QStringView s, std::ostream* os) {
    *os << '"' << s.toString().toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"' << b.toPercentEncoding(" !#$&'()*+,/:;=?@[]<>{}|^~").toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[';
    for (qsizetype i = 0; i < l.size(); ++i) {
        *os << (i ? ", " : "");
        PrintTo(l.at(i), os);
    }
    *os << ']';
}
inline void PrintTo(const quorvel::RecordStore& s, std::ostream* os) {
    PrintTo(s.toStringList(), os);
}
