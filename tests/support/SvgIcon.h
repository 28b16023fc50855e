#pragma once

#include <QIcon>
#include <QTest>

// The SVG icons are drawn by Qt Svg's image plug-in. The Qt built for Windows here has no Qt Svg:
// there the drawing check is skipped, and says so.
#ifdef LM_HAVE_QT_SVG
#define LM_VERIFY_SVG_ICON_DRAWN(icon, size) QVERIFY(!(icon).pixmap(size, size).isNull())
#else
#define LM_VERIFY_SVG_ICON_DRAWN(icon, size)                                                       \
    qInfo("SKIP drawing the SVG icon: Qt Svg is not in this Qt build (%s:%d)", __FILE__, __LINE__)
#endif
