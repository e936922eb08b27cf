#include "platform/KZPosixFS.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

namespace kzplatform {

namespace {

struct timespec fromStatx(const struct statx_timestamp &t)
{
    struct timespec ts;
    ts.tv_sec = t.tv_sec;
    ts.tv_nsec = t.tv_nsec;
    return ts;
}

bool earlier(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

int statxInto(int dirfd, const char *name, int flags, KZStat *out)
{
    struct statx sx;
    if (statx(dirfd, name, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return -1;
    out->dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    out->ino = sx.stx_ino;
    out->mode = sx.stx_mode;
    out->nlink = sx.stx_nlink;
    out->uid = sx.stx_uid;
    out->gid = sx.stx_gid;
    out->size = static_cast<int64_t>(sx.stx_size);
    out->blocks = static_cast<int64_t>(sx.stx_blocks);
    out->atime = fromStatx(sx.stx_atime);
    out->mtime = fromStatx(sx.stx_mtime);
    out->ctime = fromStatx(sx.stx_ctime);
    const bool birth = (sx.stx_mask & STATX_BTIME) && (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0);
    out->hasBirthTime = birth;
    if (birth)
        out->btime = fromStatx(sx.stx_btime);
    else
        out->btime = earlier(out->ctime, out->mtime) ? out->ctime : out->mtime;
    return 0;
}

} // namespace

int kzStatAt(int dirfd, const char *name, KZStat *out)
{
    return statxInto(dirfd, name, AT_SYMLINK_NOFOLLOW, out);
}

int kzLstat(const char *path, KZStat *out)
{
    return statxInto(AT_FDCWD, path, AT_SYMLINK_NOFOLLOW, out);
}

int kzStatFollow(const char *path, KZStat *out)
{
    return statxInto(AT_FDCWD, path, 0, out);
}

ssize_t kzListXattr(const char *path, char *buf, size_t size)
{
    return llistxattr(path, buf, size);
}

ssize_t kzGetXattr(const char *path, const char *name, void *buf, size_t size)
{
    return lgetxattr(path, name, buf, size);
}

int kzSetXattr(const char *path, const char *name, const void *value, size_t size)
{
    return lsetxattr(path, name, value, size, 0);
}

int kzRemoveXattr(const char *path, const char *name)
{
    return lremovexattr(path, name);
}

} // namespace kzplatform
