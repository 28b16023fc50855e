#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QRectF>
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
    static constexpr QSize kDefaultPixels {1920, 1080};
    // The line above the picture that names the output.
    static constexpr int kTitleHeight = 18;

    // An "On Touch Zone" node watching this output, with its corners as the node reads them.
    struct Zone
    {
        int nodeId = -1;
        QString name;
        QPointF topLeft;
        QPointF bottomRight;
        // Both bounds inclusive; a zone whose corners are crossed never hits.
        bool contains(const QPointF &p) const
        {
            return topLeft.x() <= p.x() && p.x() <= bottomRight.x() && topLeft.y() <= p.y()
                && p.y() <= bottomRight.y();
        }
        bool operator==(const Zone &o) const
        {
            return nodeId == o.nodeId && name == o.name && topLeft == o.topLeft
                && bottomRight == o.bottomRight;
        }
    };

    TouchCanvas(int server, int output, const QString &title, QSize pixels = kDefaultPixels,
        QWidget *parent = nullptr);

    int server() const { return m_server; }
    int output() const { return m_output; }
    QSize pixels() const { return m_pixels; }
    // The part of the widget that stands for the output (its aspect ratio kept).
    QRectF screenRect() const;
    // A widget position in output pixels; false outside the output.
    bool toPixels(const QPointF &widgetPos, QPointF *pixels) const;

    void setZones(const QList<Zone> &zones);
    const QList<Zone> &zones() const { return m_zones; }
    // The last touch on this output, from a click or a script; it stays drawn.
    void showTouch(const QPointF &pos);
    bool hasTouch() const { return m_sinceTouch.isValid(); }
    QPointF lastTouch() const { return m_lastTouch; }
    // A point in output pixels as a widget position.
    QPointF toWidget(const QPointF &pixels) const;

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
    QList<Zone> m_zones;
    // The last touch: a mark that stays, and a ring that fades.
    QPointF m_lastTouch;
    QElapsedTimer m_sinceTouch;
    QTimer m_fade;
};
