#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

namespace quorvel::test {

// A zip of the given parts, written with QuaZip: a workbook made by hand in
// the test, so that every byte of it is in view.
QByteArray zipOf(const QList<std::pair<QString, QByteArray>>& parts);

// The same, with one part whose bytes come in pieces from `piece` until it
// gives an empty one: a part far larger than the test holds in memory.
QByteArray zipWithStream(const QList<std::pair<QString, QByteArray>>& parts,
                         const QString& streamedName, const std::function<QByteArray()>& piece);

// A workbook of one sheet: the sheet's <sheetData> content and the shared
// strings (<si> elements), with the usual workbook and relations around them.
QByteArray workbook(const QByteArray& sheetData, const QByteArray& sharedStrings = {},
                    const QByteArray& workbookExtra = {});

}  // namespace quorvel::test
