#pragma once

#include <QtCore/qglobal.h>

#if defined(LMLOG_LIBRARY)
#define LMLOG_EXPORT Q_DECL_EXPORT
#else
#define LMLOG_EXPORT Q_DECL_IMPORT
#endif
