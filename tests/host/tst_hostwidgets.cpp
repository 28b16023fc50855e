// The host's widget bases and resources that the plug-ins rely on.
#include "SvgIcon.h"
#include "UserScreenWidget.h"

#include <QFile>
#include <QIcon>
#include <QSignalSpy>
#include <QTest>

namespace {

class LabelWidget : public UserScreenWidget
{
    Q_OBJECT
    Q_PROPERTY(int zOrder READ zOrder WRITE setZOrder)
    Q_PROPERTY(int status MEMBER status)
public:
    using UserScreenWidget::UserScreenWidget;
    int status = 1;
};

} // namespace

class TestHostWidgets : public QObject
{
    Q_OBJECT

private slots:
    void lampImagesAreHostResources()
    {
        for (const char *path : {":/share/image/Content/CT_Screens/CT_ScreenScreenOn.svg",
                 ":/share/image/Content/CT_Screens/CT_ScreenScreenWarning.svg"}) {
            QFile file(QString::fromLatin1(path));
            QVERIFY2(file.open(QIODevice::ReadOnly), path);
            QVERIFY(file.readAll().contains("<svg"));
            LM_VERIFY_SVG_ICON_DRAWN(QIcon(QString::fromLatin1(path)), 16);
        }
    }

    void layoutChangesAreAnnounced()
    {
        LabelWidget widget;
        QSignalSpy changed(&widget, &UserScreenWidget::onWidgetChanged);
        widget.setX(10);
        widget.setY(20);
        widget.setWidth(200);
        widget.setHeight(50);
        widget.setZOrder(3);
        widget.setZOrder(3); // no change, no signal
        widget.setVisible(false);
        QCOMPARE(changed.count(), 6);
        QCOMPARE(widget.pos(), QPoint(10, 20));
        QCOMPARE(widget.width(), 200);
        QCOMPARE(widget.height(), 50);
        QCOMPARE(widget.zOrder(), 3);
        QVERIFY(!widget.visible());
        widget.setEnabled(false);
        QCOMPARE(changed.count(), 7);
    }

    void serializedPropertiesNameTheWidgetsProperties()
    {
        LabelWidget widget;
        widget.setObjectName(QStringLiteral("lamp"));
        widget.setZOrder(2);
        const QJsonObject properties = widget.getSerializedProperties();
        QCOMPARE(properties.value(QStringLiteral("objectName")).toString(), QStringLiteral("lamp"));
        QCOMPARE(properties.value(QStringLiteral("zOrder")).toInt(), 2);
        QCOMPARE(properties.value(QStringLiteral("status")).toInt(), 1);
    }
};

QTEST_MAIN(TestHostWidgets)
#include "tst_hostwidgets.moc"
