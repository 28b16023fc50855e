#pragma once

#include <QtCore/qglobal.h>

#if defined(LMLIB_LIBRARY)
#define LMLIB_EXPORT Q_DECL_EXPORT
#else
#define LMLIB_EXPORT Q_DECL_IMPORT
#endif
