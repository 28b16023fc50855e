#include "SimLibrary.h"

#include <dlfcn.h>

namespace {
constexpr char kLibraryName[] = "libphidget22.so.0";
}

QString SimLibrary::fileName()
{
    return QString::fromLatin1(kLibraryName);
}

void *SimLibrary::open(QString *reason)
{
    void *library = dlopen(kLibraryName, RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        library = dlopen(kLibraryName, RTLD_NOW);
    if (!library && reason) {
        *reason = QStringLiteral("%1 cannot be loaded (%2)")
                      .arg(fileName(), QString::fromLocal8Bit(dlerror()));
    }
    return library;
}

SimLibrary::Function SimLibrary::resolve(void *library, const char *name)
{
    return reinterpret_cast<Function>(dlsym(library, name));
}
