#ifndef SUPPORT_FILESIZELIMIT_H
#define SUPPORT_FILESIZELIMIT_H

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

}  // namespace ts

#endif
