// A read-only, random-access QIODevice over a file descriptor that refuses to
// deliver more than a fixed number of bytes in all: libraries that insist on a
// device (or would scan a damaged file to its end) read headers only.
#pragma once

#include <QIODevice>

namespace kzplatform {

class KZHeaderReadDevice : public QIODevice
{
public:
    // fd stays owned by the caller and must outlive the device.
    KZHeaderReadDevice(int fd, qint64 budget, QObject *parent = nullptr);

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    // The bytes delivered so far.
    qint64 bytesRead() const { return m_read; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    int m_fd;
    qint64 m_budget;
    qint64 m_size = 0;
    qint64 m_read = 0;
};

} // namespace kzplatform
