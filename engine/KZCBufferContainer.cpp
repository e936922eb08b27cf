#include "engine/KZCBufferContainer.h"

#include <cstdlib>

#include "support/KZLog.h"

void KZCBufferContainerNew(KZCBufferContainer *container, uint64_t capacity, bool allocateNow)
{
    container->capacity = capacity;
    container->allocated = 0;
    container->length = 0;
    container->data = nullptr;
    if (allocateNow)
        KZCBufferContainerSetSize(container, capacity);
}

bool KZCBufferContainerSetSize(KZCBufferContainer *container, uint64_t size)
{
    if (size == 0 || size <= container->allocated) {
        container->length = size;
        return true;
    }
    if (size > container->capacity) {
        KZLOG_ERROR_F(QStringLiteral("newSize>bufferContainer->capacity newSize:%1 capacity:%2")
                          .arg(static_cast<qint64>(size))
                          .arg(static_cast<qint64>(container->capacity)));
        return false;
    }
    std::free(container->data);
    container->data = static_cast<char *>(std::malloc(size));
    if (!container->data) {
        container->allocated = 0;
        container->length = 0;
        KZLOG_ERROR_F(QStringLiteral("bufferContainer->ptr=malloc(newSize))==NULL newSize:%1").arg(static_cast<qint64>(size)));
        return false;
    }
    container->allocated = size;
    container->length = size;
    return true;
}

void KZCBufferContainerFree(KZCBufferContainer *container)
{
    std::free(container->data);
    container->data = nullptr;
    container->allocated = 0;
    container->length = 0;
}
