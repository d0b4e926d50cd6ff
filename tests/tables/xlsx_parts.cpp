#include "tables/xlsx_parts.h"

#include <QBuffer>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

namespace quorvel::test {

namespace {

bool addPart(QuaZip& zip, const QString& name, const std::function<QByteArray()>& piece) {
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name), nullptr, 0, Z_DEFLATED, 1)) {
        return false;
    }
    for (QByteArray bytes = piece(); !bytes.isEmpty(); bytes = piece()) {
        file.write(bytes);
    }
    file.close();
    return file.getZipError() == 0;
}

}  // namespace

QByteArray zipWithStream(const QList<std::pair<QString, QByteArray>>& parts,
                         const QString& streamedName, const std::function<QByteArray()>& piece) {
    QBuffer buffer;
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    for (const auto& [name, bytes] : parts) {
        bool given = false;
        addPart(zip, name, [&, bytes = bytes] {
            const bool first = !given;
            given = true;
            return first ? bytes : QByteArray();
        });
    }
    if (!streamedName.isEmpty()) {
        addPart(zip, streamedName, piece);
    }
    zip.close();
    return buffer.data();
}

QByteArray zipOf(const QList<std::pair<QString, QByteArray>>& parts) {
    return zipWithStream(parts, {}, {});
}

QByteArray workbook(const QByteArray& sheetData, const QByteArray& sharedStrings,
                    const QByteArray& workbookExtra) {
    const QByteArray book =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
        workbookExtra +
        "<sheets><sheet name=\"Лист1\" sheetId=\"1\" r:id=\"rId3\"/>"
        "<sheet name=\"Лист2\" sheetId=\"2\" r:id=\"rId4\"/></sheets></workbook>";
    const QByteArray rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId4\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
        "Target=\"worksheets/sheet2.xml\"/>"
        "<Relationship Id=\"rId3\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
        "Target=\"worksheets/first.xml\"/>"
        "<Relationship Id=\"rId9\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
        "sharedStrings\" Target=\"/xl/strings.xml\"/></Relationships>";
    const QByteArray sheet =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData>" +
        sheetData + "</sheetData></worksheet>";
    const QByteArray strings =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
        sharedStrings + "</sst>";
    const QByteArray other =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>second sheet</t></is></c>"
        "</row></sheetData></worksheet>";
    return zipOf({{QStringLiteral("xl/workbook.xml"), book},
                  {QStringLiteral("xl/_rels/workbook.xml.rels"), rels},
                  {QStringLiteral("xl/worksheets/sheet2.xml"), other},
                  {QStringLiteral("xl/worksheets/first.xml"), sheet},
                  {QStringLiteral("xl/strings.xml"), strings}});
}

}  // namespace quorvel::test
