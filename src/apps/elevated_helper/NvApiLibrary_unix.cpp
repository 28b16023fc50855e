#include "NvApi.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <dlfcn.h>

QString NvApi::libraryPath()
{
    const QString configured = qEnvironmentVariable("LM_NVAPI_LIBRARY");
    if (!configured.isEmpty())
        return configured;
    static const QString simulated = [] {
        const QString bare = QStringLiteral("liblm_nvapi_sim.so");
        if (!QCoreApplication::instance())
            return bare;
        const QFileInfo beside(
            QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/") + bare);
        return beside.exists() ? beside.absoluteFilePath() : bare;
    }();
    return simulated;
}

bool NvApi::loadLibrary()
{
    const QString path = libraryPath();
    // A configured path that does not exist is the common "no driver" case.
    const QFileInfo file(path);
    if (file.isAbsolute() && !file.exists())
        return false;
    m_library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    return m_library != nullptr;
}

void NvApi::unloadLibrary()
{
    if (m_library)
        dlclose(m_library);
    m_library = nullptr;
}

QFunctionPointer NvApi::resolveSymbol(const char *name)
{
    return m_library ? reinterpret_cast<QFunctionPointer>(dlsym(m_library, name)) : nullptr;
}
