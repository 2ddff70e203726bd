#ifndef SUPPORT_FILESIZELIMIT_H
#define SUPPORT_FILESIZELIMIT_H

#include "core/SafeWrite.h"

#include <QFileInfo>

#include <sys/resource.h>

#include <csignal>

namespace ts {

// While it lives, this process cannot make a file larger than the given
// number of bytes: writes past it fail as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit l = saved;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved{};
};

// While it lives, the file system takes every write but refuses the data of
// the file named (the temporary file written for it) at the flush or the
// close with err, as a quota or a network share does.
class StepFailure
{
public:
    StepFailure(SafeWrite::Step step, const QString& fileName, int err)
    {
        SafeWrite::setStepFailure([this, step, fileName, err](const QString& path, SafeWrite::Step s) {
            if (s != step || !QFileInfo(path).fileName().startsWith(fileName + '.')) return 0;
            ++refused;
            return err;
        });
    }
    ~StepFailure() { SafeWrite::setStepFailure(nullptr); }
    StepFailure(const StepFailure&) = delete;
    StepFailure& operator=(const StepFailure&) = delete;

    int refused = 0;
};

}  // namespace ts

#endif
