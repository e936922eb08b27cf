#include "platform/KZProcessMemory.h"

#include <malloc.h>

namespace kzplatform {

bool kzReleaseFreeHeapMemory()
{
    return malloc_trim(0) != 0;
}

} // namespace kzplatform
