// Draws the application icon (the same picture as io.github.ht6630.Console.svg)
// as PNG files for the hicolor theme's fixed sizes:
//   ht6630-render-icon OUTDIR   ->  OUTDIR/<N>x<N>/apps/io.github.ht6630.Console.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {
void Draw(QPainter& p) {   // in the SVG's 128 x 128 units
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x4e, 0x8c));
    p.drawRoundedRect(QRectF(4, 4, 120, 120), 22, 22);
    p.setPen(QPen(QColor(0x20, 0x30, 0x40), 3));
    p.setBrush(QColor(0xf4, 0xf4, 0xf0));
    p.drawRoundedRect(QRectF(26, 34, 76, 72), 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2a, 0x3a, 0x2a));
    p.drawRoundedRect(QRectF(34, 44, 60, 30), 4, 4);
    p.setBrush(QColor(0x20, 0x30, 0x40));
    p.drawEllipse(QPointF(48, 90), 5, 5);
    p.drawEllipse(QPointF(80, 90), 5, 5);
    p.setPen(QPen(QColor(0xf4, 0xf4, 0xf0), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(90, 34), QPointF(98, 14));
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath wave(QPointF(104, 12));
    wave.quadTo(QPointF(114, 15), QPointF(112, 24));
    p.drawPath(wave);
}

void DrawReading(QPainter& p) {   // the display's "21.5": only where it can be read
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(18);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x9f, 0xe0, 0x9f));
    p.drawText(QRectF(34, 44, 60, 30), Qt::AlignCenter, QStringLiteral("21.5"));
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ht6630-render-icon OUTDIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.scale(size / 128.0, size / 128.0);
        Draw(p);
        if (size >= 48) DrawReading(p);
        p.end();
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (!out.mkpath(folder) ||
            !image.save(out.filePath(folder + QStringLiteral("/io.github.ht6630.Console.png")), "PNG")) {
            std::fprintf(stderr, "ht6630-render-icon: cannot write %s\n", qPrintable(out.filePath(folder)));
            return 1;
        }
    }
    return 0;
}
