#pragma once

#include <QByteArray>

#include <cstdint>

class NvApi;

// EDID work on one NVAPI display id; the caller frames it with initialise and unload.
bool readEdid(NvApi &driver, uint32_t displayId, QByteArray &bytes);
bool setAndApplyEdid(NvApi &driver, uint32_t displayId, const QByteArray &bytes);
bool lockEdid(NvApi &driver, uint32_t displayId);
bool unloadEdid(NvApi &driver, uint32_t displayId);
