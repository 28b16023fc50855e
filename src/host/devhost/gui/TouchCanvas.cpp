#include "TouchCanvas.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kFadeMs = 1500;
// The colour of the touch plug-in's nodes.
const QColor kZoneColour(153, 102, 204);
const QColor kTouchColour(255, 190, 60);

} // namespace

TouchCanvas::TouchCanvas(
    int server, int output, const QString &title, QSize pixels, QWidget *parent)
    : QWidget(parent)
    , m_server(server)
    , m_output(output)
    , m_title(title)
    , m_pixels(pixels.isValid() && !pixels.isEmpty() ? pixels : kDefaultPixels)
{
    setObjectName(QStringLiteral("canvas_%1_%2").arg(server).arg(output));
    setCursor(Qt::CrossCursor);
    setToolTip(tr("Click to touch %1 (%2 × %3 pixels)")
                   .arg(title)
                   .arg(m_pixels.width())
                   .arg(m_pixels.height()));
    m_fade.setInterval(50);
    connect(&m_fade, &QTimer::timeout, this, [this] {
        if (m_sinceTouch.elapsed() > kFadeMs)
            m_fade.stop();
        update();
    });
}

void TouchCanvas::setZones(const QList<Zone> &zones)
{
    if (zones == m_zones)
        return;
    m_zones = zones;
    update();
}

void TouchCanvas::showTouch(const QPointF &pos)
{
    m_lastTouch = pos;
    m_sinceTouch.start();
    m_fade.start();
    update();
}

QPointF TouchCanvas::toWidget(const QPointF &pixels) const
{
    const QRectF rect = screenRect();
    return QPointF(rect.left() + pixels.x() / m_pixels.width() * rect.width(),
        rect.top() + pixels.y() / m_pixels.height() * rect.height());
}

QSize TouchCanvas::sizeHint() const
{
    return QSize(240, 135 + kTitleHeight);
}

QSize TouchCanvas::minimumSizeHint() const
{
    return QSize(120, 68 + kTitleHeight);
}

QRectF TouchCanvas::screenRect() const
{
    const QRectF area(0, kTitleHeight, width(), height() - kTitleHeight);
    const qreal aspect = qreal(m_pixels.width()) / qreal(m_pixels.height());
    QSizeF size(area.width(), area.width() / aspect);
    if (size.height() > area.height())
        size = QSizeF(area.height() * aspect, area.height());
    QRectF rect(QPointF(), size);
    rect.moveCenter(area.center());
    return rect;
}

bool TouchCanvas::toPixels(const QPointF &widgetPos, QPointF *pixels) const
{
    const QRectF rect = screenRect();
    if (rect.isEmpty() || !rect.contains(widgetPos))
        return false;
    // A tenth of a pixel is finer than any touch screen reports.
    const auto tenth = [](qreal v) { return qRound64(v * 10) / 10.0; };
    *pixels = QPointF(tenth((widgetPos.x() - rect.left()) / rect.width() * m_pixels.width()),
        tenth((widgetPos.y() - rect.top()) / rect.height() * m_pixels.height()));
    return true;
}

void TouchCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(0, 0, width(), kTitleHeight), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("%1  (%2×%3)").arg(m_title).arg(m_pixels.width()).arg(m_pixels.height()));

    const QRectF rect = screenRect();
    painter.fillRect(rect, QColor(24, 28, 36));
    painter.setPen(QPen(QColor(90, 100, 120), 1));
    painter.drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    // Thirds, as a guide for where a touch lands.
    painter.setPen(QPen(QColor(50, 56, 70), 1, Qt::DotLine));
    for (int i = 1; i < 3; ++i) {
        const qreal x = rect.left() + rect.width() * i / 3.0;
        const qreal y = rect.top() + rect.height() * i / 3.0;
        painter.drawLine(QPointF(x, rect.top()), QPointF(x, rect.bottom()));
        painter.drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    }
    painter.save();
    painter.setClipRect(rect);
    for (const Zone &zone : std::as_const(m_zones)) {
        const QRectF area = QRectF(toWidget(zone.topLeft), toWidget(zone.bottomRight));
        const bool crossed = !area.isValid();
        const bool hit = hasTouch() && zone.contains(m_lastTouch);
        QColor fill = kZoneColour;
        fill.setAlpha(hit ? 110 : 45);
        painter.fillRect(area.normalized(), crossed ? QBrush(Qt::NoBrush) : QBrush(fill));
        painter.setPen(QPen(crossed ? QColor(220, 60, 60) : kZoneColour.lighter(130), 1,
            crossed ? Qt::DashLine : Qt::SolidLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.normalized());
        painter.setPen(crossed ? QColor(220, 60, 60) : kZoneColour.lighter(150));
        // Inside a zone with room for it, else above it, clear of the touches it takes.
        const QString label = crossed ? tr("%1 (corners crossed)").arg(zone.name) : zone.name;
        const int lineHeight = painter.fontMetrics().height();
        const QRectF box = area.normalized();
        if (box.height() >= 2 * lineHeight)
            painter.drawText(box.adjusted(3, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, label);
        else
            painter.drawText(
                QRectF(box.left(), box.top() - lineHeight - 1, rect.width(), lineHeight),
                Qt::AlignLeft | Qt::AlignBottom, label);
    }
    if (hasTouch()) {
        const QPointF at = toWidget(m_lastTouch);
        QColor mark = kTouchColour;
        painter.setPen(QPen(mark, 1.5));
        painter.drawLine(at - QPointF(5, 0), at + QPointF(5, 0));
        painter.drawLine(at - QPointF(0, 5), at + QPointF(0, 5));
        if (m_sinceTouch.elapsed() <= kFadeMs) {
            const qreal fade = 1.0 - qreal(m_sinceTouch.elapsed()) / kFadeMs;
            mark.setAlphaF(float(fade));
            painter.setPen(QPen(mark, 2));
            painter.drawEllipse(at, 6 + 10 * (1 - fade), 6 + 10 * (1 - fade));
        }
        painter.setPen(kTouchColour);
        const auto number
            = [](qreal v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); };
        painter.drawText(rect.adjusted(4, 2, -4, -2), Qt::AlignRight | Qt::AlignBottom,
            QStringLiteral("%1, %2").arg(number(m_lastTouch.x()), number(m_lastTouch.y())));
    }
    painter.restore();
}

void TouchCanvas::mousePressEvent(QMouseEvent *event)
{
    QPointF pos;
    if (event->button() != Qt::LeftButton || !toPixels(event->position(), &pos)) {
        QWidget::mousePressEvent(event);
        return;
    }
    showTouch(pos);
    emit touched(m_server, m_output, pos);
}
