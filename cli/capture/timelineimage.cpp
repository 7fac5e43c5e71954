// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/capture/timelineimage.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <vector>

#include "cli/base/numbers.h"
#include "cli/capture/timeline.h"

namespace cli {

namespace {

// Fonts need a Qt GUI application; a command line has none, and no display either. False
// when a Qt application without a GUI runs already: no text can be drawn then.
bool ensureOffscreenApplication() {
    if (QCoreApplication::instance() != nullptr)
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own notes (a missing XDG_RUNTIME_DIR and the like) are nothing for this
    // program's user.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtFatalMsg)
            fputs(qPrintable(text + QLatin1Char('\n')), stderr);
    });
    static int argc = 1;
    static char name[] = "regwise-io";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
    return true;
}

// The step between axis marks: 1, 2 or 5 times a power of ten, about ten marks over span.
double axisStep(double span) {
    const double rough = span / 10;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough)
            return factor * power;
    }
    return 10 * power;
}

}  // namespace

std::string timelinePng(const Timeline& timeline, int32_t base) {
    if (!ensureOffscreenApplication())
        return {};
    const std::span<const CapturedLine> lines = capturedLines(timeline.lsr());
    constexpr int kWidth = 1200, kLeft = 70, kRight = 20, kTop = 40, kRow = 34, kAxis = 46;
    const int height = kTop + kRow * static_cast<int>(lines.size()) + kAxis;
    QImage image(kWidth, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);

    const int64_t span = std::max<int64_t>(timeline.span(), 1);
    const double plotWidth = kWidth - kLeft - kRight;
    auto xOf = [&](int64_t ns) { return kLeft + plotWidth * static_cast<double>(ns) / span; };
    const bool inMs = span >= 2'000'000;
    const double unit = inMs ? 1e6 : 1e3;
    painter.setPen(Qt::black);
    painter.drawText(QRect(kLeft, 6, kWidth - kLeft - kRight, kTop - 12),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(hexPort(base)) + QStringLiteral("  ") +
                         QString::number(timeline.samples()) + QStringLiteral(" samples"));

    // The key to the latched marks, at the right of the heading.
    const QColor latchedColour(230, 120, 20, 170);
    painter.fillRect(QRect(kWidth - kRight - 270, 14, 12, 14), latchedColour);
    painter.drawText(QRect(kWidth - kRight - 252, 6, 252, kTop - 12),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("latched: seen by a change bit only"));

    // Axis marks, with faint lines across the traces.
    const double step = axisStep(static_cast<double>(span) / unit);
    const int axisY = kTop + kRow * static_cast<int>(lines.size()) + 6;
    for (double t = 0; t * unit <= static_cast<double>(span) + 0.5; t += step) {
        const double x = xOf(static_cast<int64_t>(t * unit));
        painter.setPen(QColor(225, 225, 225));
        painter.drawLine(QPointF(x, kTop), QPointF(x, axisY));
        painter.setPen(Qt::black);
        painter.drawLine(QPointF(x, axisY), QPointF(x, axisY + 5));
        painter.drawText(QRectF(x - 40, axisY + 6, 80, 16), Qt::AlignHCenter | Qt::AlignTop,
                         QString::number(t, 'g', 6));
    }
    painter.drawLine(QPointF(kLeft, axisY), QPointF(kLeft + plotWidth, axisY));
    painter.drawText(QRectF(kLeft, axisY + 24, plotWidth, 16), Qt::AlignRight | Qt::AlignTop,
                     inMs ? QStringLiteral("ms") : QStringLiteral("µs"));

    const std::vector<Edge> edges = timeline.edges();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int top = kTop + kRow * static_cast<int>(i);
        const double high = top + 7, low = top + kRow - 7;
        painter.setPen(Qt::black);
        painter.drawText(QRect(6, top, kLeft - 12, kRow), Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromLatin1(lines[i].name.data(),
                                             static_cast<qsizetype>(lines[i].name.size())));
        QPainterPath trace;
        bool level = timeline.initialLevel(i);
        double x = kLeft;
        trace.moveTo(x, level ? high : low);
        std::vector<std::pair<double, double>> latched;  // pulses a change bit showed
        double pulseFrom = -1;
        for (const Edge& edge : edges) {
            if (edge.line != i)
                continue;
            double to = std::max(xOf(edge.ns), x);
            // Latched edges come in pairs; the pulse stays visible however short.
            if (edge.latched && pulseFrom < 0) {
                pulseFrom = to;
            } else if (edge.latched) {
                to = std::max(to, pulseFrom + 2);
                latched.emplace_back(pulseFrom, to);
                pulseFrom = -1;
            }
            trace.lineTo(to, level ? high : low);
            x = to;
            level = edge.level;
            trace.lineTo(x, level ? high : low);
        }
        trace.lineTo(kLeft + plotWidth, level ? high : low);
        painter.setPen(QPen(QColor(20, 90, 180), 1.5));
        painter.drawPath(trace);
        painter.setPen(Qt::NoPen);
        painter.setBrush(latchedColour);
        for (const auto& [from, to] : latched)
            painter.drawRect(
                QRectF(from - 1, high - 3, std::max(to - from, 2.0) + 2, low - high + 6));
        painter.setBrush(Qt::NoBrush);
    }
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return bytes.toStdString();
}

}  // namespace cli
