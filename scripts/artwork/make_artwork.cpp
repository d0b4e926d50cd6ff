// Draws the program's own artwork: into src/ui/resources/ the seven 24 x 24
// toolbar pictures, the check button's stopping picture, the import,
// export, overview and schedule pictures and the 480 x 60 advertisement picture, into
// src/publisher/resources/ the 400 x 100 logo of the About box, into
// packaging/icons/ the program's icon in the usual sizes.
// Build and run from the repository root:
//   g++ -std=c++20 -fPIC scripts/artwork/make_artwork.cpp \
//       $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make_artwork && \
//   QT_QPA_PLATFORM=offscreen /tmp/make_artwork src/ui/resources src/publisher/resources \
//       packaging/icons
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>

namespace {

QImage canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void folderAndDrive(QPainter& p, bool arrowDown) {
    // Folder at the top.
    p.setPen(QPen(QColor(150, 110, 20), 1));
    p.setBrush(QColor(250, 205, 80));
    p.drawRect(QRectF(2.5, 3.5, 6, 2));
    p.drawRect(QRectF(2.5, 5.5, 12, 7));
    // Drive at the bottom.
    QLinearGradient g(0, 16, 0, 22);
    g.setColorAt(0, QColor(220, 220, 225));
    g.setColorAt(1, QColor(140, 140, 150));
    p.setPen(QPen(QColor(80, 80, 90), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 15.5, 16, 6), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 200, 60));
    p.drawEllipse(QPointF(14.5, 18.5), 1.2, 1.2);
    // Blue arrow between them, on the right.
    QPainterPath arrow;
    if (arrowDown) {
        arrow.addRect(QRectF(18, 4, 3, 10));
        arrow.moveTo(15.5, 13);
        arrow.lineTo(23.5, 13);
        arrow.lineTo(19.5, 19);
    } else {
        arrow.addRect(QRectF(18, 9, 3, 11));
        arrow.moveTo(15.5, 10);
        arrow.lineTo(23.5, 10);
        arrow.lineTo(19.5, 4);
    }
    arrow.setFillRule(Qt::WindingFill);
    p.setPen(QPen(QColor(20, 60, 160), 1));
    p.setBrush(QColor(50, 120, 230));
    p.drawPath(arrow.simplified());
}

QImage pauseSign() {  // 0: orange pause sign
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(170, 90, 0), 1));
    p.setBrush(QColor(255, 150, 20));
    p.drawRoundedRect(QRectF(5.5, 3.5, 5, 17), 1.5, 1.5);
    p.drawRoundedRect(QRectF(13.5, 3.5, 5, 17), 1.5, 1.5);
    return image;
}

QImage addSheet() {  // 1: sheet of paper with a green plus
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(13.5, 1.5);
    sheet.lineTo(18.5, 6.5);
    sheet.lineTo(18.5, 21.5);
    sheet.lineTo(3.5, 21.5);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(110, 110, 120), 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.setPen(QPen(QColor(170, 170, 180), 1));
    for (int y = 8; y <= 18; y += 3) {
        p.drawLine(QPointF(6, y + 0.5), QPointF(15, y + 0.5));
    }
    p.setPen(QPen(QColor(20, 110, 20), 1));
    p.setBrush(QColor(40, 180, 40));
    QPainterPath plus;
    plus.addRect(QRectF(16, 10, 4, 13));
    plus.addRect(QRectF(11.5, 14.5, 13, 4));
    plus.setFillRule(Qt::WindingFill);
    p.drawPath(plus.simplified());
    return image;
}

QImage projectImage(bool arrowDown) {  // 2: load (up), 3: save (down)
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    folderAndDrive(p, arrowDown);
    return image;
}

QImage about() {  // 4: blue square with a magnifying glass
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 2, 0, 22);
    g.setColorAt(0, QColor(90, 150, 240));
    g.setColorAt(1, QColor(20, 70, 170));
    p.setPen(QPen(QColor(15, 45, 120), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 3, 3);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(200, 225, 255, 120));
    p.drawEllipse(QPointF(10, 10), 5, 5);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 14), QPointF(19, 19));
    return image;
}

QImage wand() {  // 5: magic wand with sparkles
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 21), QPointF(15, 10));
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 11), QPointF(16, 9));
    p.setPen(QPen(QColor(230, 170, 0), 1.5));
    const QPointF stars[] = {{19, 5}, {12, 4}, {20, 12}};
    for (const QPointF& c : stars) {
        p.drawLine(c - QPointF(2.5, 0), c + QPointF(2.5, 0));
        p.drawLine(c - QPointF(0, 2.5), c + QPointF(0, 2.5));
    }
    return image;
}

QImage start() {  // 6: green double arrow
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 110, 20), 1));
    p.setBrush(QColor(50, 190, 50));
    for (double x : {2.5, 11.5}) {
        QPainterPath tri;
        tri.moveTo(x, 4.5);
        tri.lineTo(x + 10, 12);
        tri.lineTo(x, 19.5);
        tri.closeSubpath();
        p.drawPath(tri);
    }
    return image;
}

QImage overview() {  // the overview of every partner: a table of coloured rows
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(110, 110, 120), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(1.5, 2.5, 21, 19), 2, 2);
    // One row per marker colour, each with a dark stroke of text.
    const QColor rows[] = {QColor(192, 220, 192), QColor(255, 0, 0), QColor(160, 160, 164),
                           QColor(128, 0, 0)};
    for (int i = 0; i < 4; ++i) {
        const double y = 4.5 + i * 4.2;
        p.setPen(Qt::NoPen);
        p.setBrush(rows[i]);
        p.drawRect(QRectF(3, y, 18, 3.4));
        p.setPen(QPen(i == 0 || i == 2 ? QColor(40, 40, 40) : Qt::white, 1));
        p.drawLine(QPointF(5, y + 1.7), QPointF(5 + 7 + (i % 2) * 3, y + 1.7));
    }
    return image;
}

QImage schedule() {  // checks on a schedule: a clock with a small envelope
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 70, 130), 1.5));
    p.setBrush(QColor(235, 242, 255));
    p.drawEllipse(QPointF(10.5, 10.5), 8.5, 8.5);
    p.setPen(QPen(QColor(30, 30, 40), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(10.5, 5));
    p.drawLine(QPointF(10.5, 10.5), QPointF(14, 12.5));
    // The envelope at the bottom right.
    p.setPen(QPen(QColor(150, 110, 20), 1));
    p.setBrush(QColor(250, 205, 80));
    p.drawRect(QRectF(12.5, 15.5, 10, 7));
    p.drawLine(QPointF(12.5, 15.5), QPointF(17.5, 19.5));
    p.drawLine(QPointF(22.5, 15.5), QPointF(17.5, 19.5));
    return image;
}

// A small table: a sheet with a green head row and grid lines, on the left.
void tableSheet(QPainter& p) {
    p.setPen(QPen(QColor(90, 110, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 3.5, 14, 17));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 160, 80));
    p.drawRect(QRectF(2, 4, 13, 4));
    p.setPen(QPen(QColor(150, 180, 150), 1));
    for (double y : {11.5, 14.5, 17.5}) {
        p.drawLine(QPointF(2, y), QPointF(15, y));
    }
    p.drawLine(QPointF(8.5, 8), QPointF(8.5, 20));
}

// A blue arrow across the right half: into the list (pointing left) or out of it.
void sideArrow(QPainter& p, bool in) {
    QPainterPath arrow;
    if (in) {
        arrow.addRect(QRectF(15, 10.5, 8, 3));
        arrow.moveTo(17, 6.5);
        arrow.lineTo(10.5, 12);
        arrow.lineTo(17, 17.5);
    } else {
        arrow.addRect(QRectF(10, 10.5, 8, 3));
        arrow.moveTo(16.5, 6.5);
        arrow.lineTo(23, 12);
        arrow.lineTo(16.5, 17.5);
    }
    arrow.setFillRule(Qt::WindingFill);
    p.setPen(QPen(QColor(20, 60, 160), 1));
    p.setBrush(QColor(50, 120, 230));
    p.drawPath(arrow.simplified());
}

QImage tableImage(bool in) {  // partners in from a table, or out to one
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    tableSheet(p);
    sideArrow(p, in);
    return image;
}

QImage stopping() {  // a run that is stopping: red stop sign, a click cuts it off
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath octagon;
    for (int i = 0; i < 8; ++i) {
        const double angle = (22.5 + 45.0 * i) * 3.14159265358979 / 180.0;
        const QPointF corner(12 + 10.5 * std::cos(angle), 12 + 10.5 * std::sin(angle));
        if (i == 0) {
            octagon.moveTo(corner);
        } else {
            octagon.lineTo(corner);
        }
    }
    octagon.closeSubpath();
    p.setPen(QPen(QColor(130, 0, 0), 1));
    p.setBrush(QColor(215, 30, 30));
    p.drawPath(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6, 10, 12, 4));
    return image;
}

QImage advertisement() {  // 480 x 60: another product of ours
    QImage image(480, 60, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 480, 60);
    g.setColorAt(0, QColor(16, 60, 120));
    g.setColorAt(1, QColor(40, 130, 200));
    p.fillRect(image.rect(), g);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawEllipse(QPointF(430, 10), 70, 70);
    // A small chart: positions climbing.
    p.setPen(QPen(QColor(255, 210, 60), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF chart[] = {{14, 48}, {28, 40}, {40, 43}, {54, 26}, {66, 30}, {80, 12}};
    p.drawPolyline(chart, 6);
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(22);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(100, 4, 370, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Quorvel Positions"));
    QFont line(QStringLiteral("DejaVu Sans"));
    line.setPixelSize(13);
    p.setFont(line);
    p.setPen(QColor(220, 235, 255));
    p.drawText(QRect(100, 32, 370, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("позиции вашего сайта в поисковых системах"));
    return image;
}

QImage logo() {  // 400 x 100: the About box
    QImage image(400, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Two chain links: partners linked to each other.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 150, 60), 9, Qt::SolidLine, Qt::RoundCap));
    p.drawRoundedRect(QRectF(12, 28, 56, 34), 17, 17);
    p.setPen(QPen(QColor(30, 90, 190), 9, Qt::SolidLine, Qt::RoundCap));
    p.drawRoundedRect(QRectF(46, 40, 56, 34), 17, 17);
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(44);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(30, 60, 120));
    p.drawText(QRect(120, 10, 280, 56), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Quorvel"));
    QFont line(QStringLiteral("DejaVu Sans"));
    line.setPixelSize(14);
    p.setFont(line);
    p.setPen(QColor(80, 90, 110));
    p.drawText(QRect(122, 64, 278, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("проверка обмена ссылками"));
    return image;
}

QImage appIcon(int size) {  // two linked chain links on a rounded square
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient g(0, 0, 0, 64);
    g.setColorAt(0, QColor(250, 250, 252));
    g.setColorAt(1, QColor(210, 220, 235));
    p.setPen(QPen(QColor(120, 130, 150), 2));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 150, 60), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawRoundedRect(QRectF(8, 17, 32, 20), 10, 10);
    p.setPen(QPen(QColor(30, 90, 190), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawRoundedRect(QRectF(24, 27, 32, 20), 10, 10);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QImage toolbar[] = {
        pauseSign(), addSheet(), projectImage(false), projectImage(true), about(), wand(), start()};
    bool ok = true;
    for (int i = 0; i < 7; ++i) {
        ok = toolbar[i].save(dir + QStringLiteral("/toolbar%1.png").arg(i)) && ok;
    }
    ok = stopping().save(dir + QStringLiteral("/stopping.png")) && ok;
    ok = tableImage(true).save(dir + QStringLiteral("/import.png")) && ok;
    ok = tableImage(false).save(dir + QStringLiteral("/export.png")) && ok;
    ok = overview().save(dir + QStringLiteral("/overview.png")) && ok;
    ok = schedule().save(dir + QStringLiteral("/schedule.png")) && ok;
    ok = advertisement().save(dir + QStringLiteral("/advertisement.png")) && ok;
    const QString publisherDir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir;
    ok = logo().save(publisherDir + QStringLiteral("/logo.png")) && ok;
    const QString iconDir = argc > 3 ? QString::fromLocal8Bit(argv[3]) : dir;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        ok = appIcon(size).save(iconDir + QStringLiteral("/quorvel-%1.png").arg(size)) && ok;
    }
    std::printf(ok ? "artwork written\n" : "could not write the artwork\n");
    return ok ? 0 : 1;
}
