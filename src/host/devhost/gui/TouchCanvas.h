#pragma once

#include <QElapsedTimer>
#include <QPointF>
#include <QSize>
#include <QTimer>
#include <QWidget>

// A media server's output window as a small picture: a click on it is a touch at the
// matching position of the output, in the output's pixels. GUI thread only.
class TouchCanvas : public QWidget
{
    Q_OBJECT
public:
    // Outputs whose pixel size the show does not give.
    static constexpr QSize DefaultPixels {1920, 1080};
    // The line above the picture that names the output.
    static constexpr int TitleHeight = 18;

    TouchCanvas(int server, int output, const QString &title, QSize pixels = DefaultPixels,
        QWidget *parent = nullptr);

    int server() const { return m_server; }
    int output() const { return m_output; }
    QSize pixels() const { return m_pixels; }
    // The part of the widget that stands for the output (its aspect ratio kept).
    QRectF screenRect() const;
    // A widget position in output pixels; false outside the output.
    bool toPixels(const QPointF &widgetPos, QPointF *pixels) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void touched(int server, int output, const QPointF &pos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    int m_server;
    int m_output;
    QString m_title;
    QSize m_pixels;
    // The last touch, drawn while it fades.
    QPointF m_lastTouch;
    QElapsedTimer m_sinceTouch;
    QTimer m_fade;
};
