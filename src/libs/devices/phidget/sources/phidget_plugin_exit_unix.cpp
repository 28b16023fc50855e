#include "phidget_plugin_exit.h"

// Library destructors run at exit while the other threads still run.
bool processIsExiting()
{
    return false;
}
