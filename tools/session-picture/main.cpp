// Draws a session's skin responses into a PNG, as the exports measure them: the conductance of
// each reading at its recorded time, the tonic level, each response's onset, peak (with its
// amplitude) and half-recovery, and the markers with their response windows.
//
//     session-picture <folder of working files | name.Tst> <out.png>
//                     [--threshold US] [--window FROM,TO] [--size WIDTHxHEIGHT]
//
// A folder stands for the working files in it (tempdata.tst and the rest); a .Tst for a saved
// session, with its .Hdr, .Mrk, .Tim and .Tms beside it. Runs without a display.

#include "analysis/marker_responses.h"
#include "storage/extra_settings.h"
#include "storage/session_export.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace storage = sylvane::storage;
namespace analysis = sylvane::analysis;

// Tick steps of 1, 2 or 5 times a power of ten, about `count` of them over the span.
double tickStep(double span, int count) {
    const double raw = span / std::max(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

QString number(double x, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    return QString::number(x, 'f', decimals);
}

int usage() {
    std::fprintf(stderr, "usage: session-picture <folder | name.Tst> <out.png> [--threshold US] "
                         "[--window FROM,TO] [--size WIDTHxHEIGHT]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) return usage();
    // The options as sylvane-extra.ini would have them, checked by its own reader.
    std::string settings;
    int width = 1200, height = 520;
    for (qsizetype i = 3; i + 1 < args.size(); i += 2) {
        const std::string value = args[i + 1].toStdString();
        if (args[i] == "--threshold") {
            settings += std::string(storage::kResponseThresholdKey) + "=" + value + "\n";
        } else if (args[i] == "--window") {
            settings += std::string(storage::kResponseWindowKey) + "=" + value + "\n";
        } else if (args[i] == "--size") {
            const QStringList wh = args[i + 1].split('x');
            if (wh.size() != 2) return usage();
            width = std::clamp(wh[0].toInt(), 400, 8000);
            height = std::clamp(wh[1].toInt(), 200, 4000);
        } else {
            return usage();
        }
    }
    const storage::ResponseSettings chosen = storage::responseSettingsOf(settings);
    for (const std::string& problem : chosen.problems)
        std::fprintf(stderr, "%s\n", problem.c_str());
    const double threshold = chosen.thresholdMicrosiemens;
    const analysis::ResponseWindow window{chosen.windowFromSeconds, chosen.windowToSeconds};

    const QFileInfo in(args[1]);
    const storage::ExportSource source =
        in.isDir() ? storage::ExportSource::working(in.absoluteFilePath().toStdString())
                   : storage::ExportSource::saved(
                         in.absoluteFilePath().toStdString(),
                         (in.absolutePath() + '/' + in.completeBaseName() + ".Hdr").toStdString());
    storage::ExportOptions options;
    options.responseThreshold = threshold;
    storage::ExportedSession s;
    std::string error;
    if (!storage::loadSession(source, options, &s, &error)) {
        std::fprintf(stderr, "session-picture: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& note : s.notes) std::fprintf(stderr, "%s\n", note.c_str());

    struct Point {
        double t, g, tonic;
    };
    std::vector<Point> points;
    std::size_t sound = 0;
    for (std::size_t i = 0; i < s.values.size(); ++i) {
        const auto g = analysis::conductanceOfAdc(s.values[i]);
        if (!g) continue;
        points.push_back({s.secondsOf(static_cast<std::int64_t>(i) + 1), *g, s.tonic[sound++]});
    }
    const double t0 = points.front().t;
    const double t1 = std::max(points.back().t, t0 + 1);
    double lo = points.front().g, hi = lo;
    for (const Point& p : points) {
        lo = std::min({lo, p.g, p.tonic});
        hi = std::max({hi, p.g, p.tonic});
    }
    const double pad = std::max(0.02, (hi - lo) * 0.12);
    lo -= pad;
    hi += pad * 1.6; // room for the markers' labels

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QRectF plot(70, 52, width - 90, height - 52 - 48);
    const auto x = [&](double t) { return plot.left() + (t - t0) / (t1 - t0) * plot.width(); };
    const auto y = [&](double g) { return plot.bottom() - (g - lo) / (hi - lo) * plot.height(); };

    // The markers' response windows, under everything.
    std::vector<double> markerTimes;
    for (const auto& m : s.markers) markerTimes.push_back(s.secondsOf(m));
    for (const double m : markerTimes) {
        const double a = std::clamp(x(m + window.fromSeconds), plot.left(), plot.right());
        const double b = std::clamp(x(m + window.toSeconds), plot.left(), plot.right());
        painter.fillRect(QRectF(a, plot.top(), b - a, plot.height()), QColor(255, 243, 200));
    }

    // Grid and axes.
    painter.setPen(QColor(225, 225, 225));
    const double xStep = tickStep(t1 - t0, 12);
    const double yStep = tickStep(hi - lo, 8);
    for (double t = std::ceil(t0 / xStep) * xStep; t <= t1; t += xStep)
        painter.drawLine(QPointF(x(t), plot.top()), QPointF(x(t), plot.bottom()));
    for (double g = std::ceil(lo / yStep) * yStep; g <= hi; g += yStep)
        painter.drawLine(QPointF(plot.left(), y(g)), QPointF(plot.right(), y(g)));
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    for (double t = std::ceil(t0 / xStep) * xStep; t <= t1; t += xStep)
        painter.drawText(QRectF(x(t) - 40, plot.bottom() + 4, 80, 16), Qt::AlignCenter,
                         number(t, xStep));
    for (double g = std::ceil(lo / yStep) * yStep; g <= hi; g += yStep)
        painter.drawText(QRectF(0, y(g) - 8, plot.left() - 6, 16),
                         Qt::AlignRight | Qt::AlignVCenter, number(g, yStep));
    painter.drawText(QRectF(plot.left(), plot.bottom() + 22, plot.width(), 18), Qt::AlignCenter,
                     QStringLiteral("seconds from Start"));
    painter.save();
    painter.translate(14, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-100, -8, 200, 16), Qt::AlignCenter,
                     QStringLiteral("conductance (uS)"));
    painter.restore();

    // The tonic level, then the conductance over it.
    const auto line = [&](auto value) {
        QPainterPath path;
        path.moveTo(x(points.front().t), y(value(points.front())));
        for (const Point& p : points) path.lineTo(x(p.t), y(value(p)));
        return path;
    };
    painter.setPen(QPen(QColor(230, 130, 20), 2, Qt::DashLine));
    painter.drawPath(line([](const Point& p) { return p.tonic; }));
    painter.setPen(QPen(QColor(20, 50, 140), 1.5));
    painter.drawPath(line([](const Point& p) { return p.g; }));

    // The markers.
    for (std::size_t i = 0; i < s.markers.size(); ++i) {
        const double mx = x(markerTimes[i]);
        painter.setPen(QPen(QColor(170, 120, 0), 1.5));
        painter.drawLine(QPointF(mx, plot.top()), QPointF(mx, plot.bottom()));
        const QString text = QString::fromStdString(
            s.markers[i].text.empty() ? "marker " + std::to_string(i + 1) : s.markers[i].text);
        painter.drawText(QRectF(mx + 4, plot.top() + 2, 160, 16), Qt::AlignLeft, text);
    }

    // Each response: onset, rise to the peak, amplitude, half-recovery.
    for (const analysis::Response& r : s.responses) {
        const QPointF onset(x(r.onsetSeconds), y(r.onsetLevel));
        const QPointF peak(x(r.peakSeconds), y(r.peakLevel));
        painter.setPen(QPen(QColor(0, 140, 60), 1, Qt::DotLine));
        painter.drawLine(onset, QPointF(peak.x(), onset.y()));
        painter.drawLine(QPointF(peak.x(), onset.y()), peak);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 150, 60));
        painter.drawEllipse(onset, 4, 4);
        painter.setBrush(QColor(210, 30, 30));
        painter.drawEllipse(peak, 4, 4);
        if (r.halfRecoverySeconds) {
            painter.setBrush(QColor(140, 60, 170));
            painter.drawEllipse(QPointF(x(r.peakSeconds + *r.halfRecoverySeconds),
                                        y(r.peakLevel - r.amplitude() / 2)),
                                3, 3);
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QColor(150, 20, 20));
        painter.drawText(QRectF(peak.x() - 40, peak.y() - 20, 80, 16), Qt::AlignCenter,
                         QString::number(r.amplitude(), 'f', 2));
    }

    // Title and legend.
    painter.setPen(Qt::black);
    painter.drawText(QRectF(plot.left(), 8, plot.width(), 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("%1 readings, %2 skin responses of at least %3 uS, %4 markers "
                                    "(their windows %5 to %6 s after them shaded)")
                         .arg(points.size())
                         .arg(s.responses.size())
                         .arg(threshold)
                         .arg(s.markers.size())
                         .arg(window.fromSeconds)
                         .arg(window.toSeconds));
    struct Key {
        QColor colour;
        bool dot;
        const char* text;
    };
    const Key keys[] = {
        {QColor(20, 50, 140), false, "conductance"},
        {QColor(230, 130, 20), false, "tonic level (responses left out, 20 s median)"},
        {QColor(0, 150, 60), true, "onset"},
        {QColor(210, 30, 30), true, "peak, amplitude in uS"},
        {QColor(140, 60, 170), true, "half-recovery"}};
    // The key, in a row under the title.
    double kx = plot.left();
    const double ky = 28;
    for (const Key& k : keys) {
        if (k.dot) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(k.colour);
            painter.drawEllipse(QPointF(kx + 10, ky + 7), 4, 4);
            painter.setBrush(Qt::NoBrush);
        } else {
            painter.setPen(QPen(k.colour, 2));
            painter.drawLine(QPointF(kx, ky + 7), QPointF(kx + 20, ky + 7));
        }
        painter.setPen(Qt::black);
        const QString text = QString::fromLatin1(k.text);
        const double w = painter.fontMetrics().horizontalAdvance(text);
        painter.drawText(QRectF(kx + 26, ky, w + 4, 14), Qt::AlignLeft | Qt::AlignVCenter, text);
        kx += 26 + w + 24;
    }
    painter.end();

    if (!image.save(args[2])) {
        std::fprintf(stderr, "session-picture: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    std::printf("wrote %s: %zu readings, %zu responses, %zu markers\n", qPrintable(args[2]),
                points.size(), s.responses.size(), s.markers.size());
    return 0;
}
