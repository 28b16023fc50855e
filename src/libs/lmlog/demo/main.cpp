#include <LMLog.h>

int main()
{
    return LMLog::modeContains(LOG::FATAL) ? 0 : 1;
}
