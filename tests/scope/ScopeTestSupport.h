// Helpers of the scope tests: a mount table of our own making that the guarded
// file-system calls consult, and a "server" that stops answering on request.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <atomic>
#include <future>
#include <memory>

#include "platform/KZGuardedFS.h"
#include "tests/testlib/TestEnvironment.h"

namespace scopetest {

// The real root line first, so that every other path counts as local unless a
// test mounts something over it.
inline QByteArray rootLine()
{
    return "1 0 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
}

// One mount line for mountPoint with the given file-system type. mountinfo
// escapes blanks, tabs, newlines and backslashes in octal.
inline QByteArray mountLine(int id, const QString &mountPoint, const QByteArray &fsType,
                            const QByteArray &source = "/dev/sdz1", const QByteArray &devNumbers = "8:90")
{
    QByteArray escaped;
    for (const char c : QFile::encodeName(mountPoint))
        escaped += QByteArrayView(" \t\n\\").contains(c)
            ? '\\' + QByteArray::number(static_cast<unsigned char>(c), 8).rightJustified(3, '0')
            : QByteArray(1, c);
    return QByteArray::number(id) + " 1 " + devNumbers + " / " + escaped + " rw,relatime - " + fsType + ' ' + source
        + " rw\n";
}

// Points the guarded calls at a mount table file while alive.
class FakeMountTable
{
public:
    explicit FakeMountTable(const QByteArray &lines = QByteArray()) { set(lines); }
    ~FakeMountTable() { kzplatform::kzSetMountInfoPathForTesting(QByteArray()); }
    void set(const QByteArray &lines)
    {
        const QString file = m_tree.writeFile(QStringLiteral("mountinfo"), rootLine() + lines);
        kzplatform::kzSetMountInfoPathForTesting(QFile::encodeName(file));
    }
    // A table that cannot be read.
    void setUnreadable() { kzplatform::kzSetMountInfoPathForTesting(m_tree.pathBytes("no-such-file")); }

private:
    kztest::TempTree m_tree;
};

// While alive, every access to a network or FUSE path blocks (a server that
// does not answer); gone, the server answers again. Counts the accesses.
class SilentServer
{
public:
    SilentServer()
    {
        kzplatform::kzSetRemoteProbeHookForTesting(
            [calls = m_calls, answer = m_answer.get_future().share()](const QByteArray &) {
                ++*calls;
                answer.wait();
            });
    }
    ~SilentServer()
    {
        m_answer.set_value();
        kzplatform::kzSetRemoteProbeHookForTesting({});
    }
    int calls() const { return m_calls->load(); }

private:
    std::promise<void> m_answer;
    std::shared_ptr<std::atomic<int>> m_calls = std::make_shared<std::atomic<int>>(0);
};

// Waits until no worker is stuck on mountPoint any more.
inline bool waitForWorkersToDrain(const QString &mountPoint)
{
    return kztest::waitUntil([&] { return kzplatform::kzStuckWorkerCount(QFile::encodeName(mountPoint)) == 0; });
}

} // namespace scopetest
