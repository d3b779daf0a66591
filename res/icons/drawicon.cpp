// SPDX-License-Identifier: MIT
// Draws the application icon from one list of shapes into both the scalable SVG and the PNGs at
// every size the desktop asks for, so the two can never drift apart.
// Usage: qlxduo-drawicon <output folder>
#include <QBrush>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QString>
#include <QTextStream>
#include <vector>

namespace {

constexpr double kGrid = 32.0;  // the shapes are laid out on a 32 × 32 grid
constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

struct Shape {
    std::vector<QPointF> points;  // a polygon, or for a rectangle its two opposite corners
    double radius;                // corner radius; negative: the points are a polygon
    const char* fill;
    const char* stroke;  // nullptr: no outline
    double strokeWidth;
};

const char* const kInk = "#163246";

// A steel-blue box with two serial connectors and a two-way arrow between them.
const std::vector<Shape>& Shapes() {
    static const std::vector<Shape> shapes = {
        {{{2, 7}, {30, 27}}, 3.0, "#2f5d7c", kInk, 1.0},
        {{{5, 17}, {14, 17}, {13, 23}, {6, 23}}, -1, "#e8eef2", kInk, 0.75},
        {{{18, 17}, {27, 17}, {26, 23}, {19, 23}}, -1, "#e8eef2", kInk, 0.75},
        {{{7.5, 19}, {11.5, 21}}, 0.5, kInk, nullptr, 0},
        {{{20.5, 19}, {24.5, 21}}, 0.5, kInk, nullptr, 0},
        {{{11.5, 11}, {20.5, 13}}, 0, "#3cdc64", nullptr, 0},
        {{{7, 12}, {12, 8.5}, {12, 15.5}}, -1, "#3cdc64", nullptr, 0},
        {{{25, 12}, {20, 8.5}, {20, 15.5}}, -1, "#3cdc64", nullptr, 0},
    };
    return shapes;
}

QString SvgElement(const Shape& s) {
    QString paint = QString(" fill=\"%1\"").arg(s.fill);
    if (s.stroke != nullptr)
        paint += QString(" stroke=\"%1\" stroke-width=\"%2\"").arg(s.stroke).arg(s.strokeWidth);
    if (s.radius < 0) {
        QStringList pts;
        for (const QPointF& p : s.points) pts << QString("%1,%2").arg(p.x()).arg(p.y());
        return QString("  <polygon points=\"%1\"%2/>\n").arg(pts.join(' '), paint);
    }
    const QRectF r(s.points[0], s.points[1]);
    return QString("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\"%6/>\n")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .arg(s.radius)
        .arg(paint);
}

bool WriteSvg(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QTextStream out(&file);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 32 32\">\n";
    for (const Shape& s : Shapes()) out << SvgElement(s);
    out << "</svg>\n";
    return out.status() == QTextStream::Ok;
}

void Paint(QPainter& painter, const Shape& s) {
    painter.setBrush(QColor(s.fill));
    painter.setPen(s.stroke != nullptr ? QPen(QColor(s.stroke), s.strokeWidth) : QPen(Qt::NoPen));
    if (s.radius < 0) {
        painter.drawPolygon(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
    } else {
        painter.drawRoundedRect(QRectF(s.points[0], s.points[1]), s.radius, s.radius);
    }
}

bool WritePng(const QString& path, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    for (const Shape& s : Shapes()) Paint(painter, s);
    painter.end();
    return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = WriteSvg(folder + "/qlxduo.svg");
    for (int size : kSizes) ok = WritePng(QString("%1/qlxduo-%2.png").arg(folder).arg(size), size) && ok;
    return ok ? 0 : 1;
}
