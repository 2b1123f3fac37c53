#include "PosixEnv.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fatura::engine {

namespace {

// The byte that carries the sharing mode: above every record and table lock.
constexpr off_t kShareByte = 4294967295LL;

OsError ofdLock(int fd, short type, std::uint64_t offset, std::uint64_t length)
{
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    while (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        if (errno == EINTR)
            continue;
        // A conflict is reported as EAGAIN or EACCES depending on the system; callers see one.
        return errno == EACCES ? EAGAIN : errno;
    }
    return 0;
}

class MappedRange final : public FileView {
public:
    MappedRange(void* base, std::size_t length, std::size_t skip) : base_(base), length_(length)
    {
        data_ = static_cast<const unsigned char*>(base) + skip;
    }
    ~MappedRange() override { ::munmap(base_, length_); }

private:
    void* base_;
    std::size_t length_;
};

class PosixFile final : public File {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override { ::close(fd_); }

    IoResult read(std::uint64_t offset, void* buffer, std::size_t n) override
    {
        IoResult r;
        auto* p = static_cast<char*>(buffer);
        while (r.bytes < n) {
            const ssize_t got = ::pread(fd_, p + r.bytes, n - r.bytes, static_cast<off_t>(offset + r.bytes));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                r.error = errno;
                break;
            }
            if (got == 0)
                break;
            r.bytes += static_cast<std::size_t>(got);
        }
        return r;
    }

    std::unique_ptr<FileView> map(std::uint64_t offset, std::size_t n) override
    {
        struct stat st {};
        // Touching a mapped page past the end of the file kills the process; refuse instead.
        if (n == 0 || ::fstat(fd_, &st) != 0 || offset + n > static_cast<std::uint64_t>(st.st_size))
            return nullptr;
        static const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
        const std::uint64_t start = offset - offset % page;
        const std::size_t skip = static_cast<std::size_t>(offset - start);
        void* base = ::mmap(nullptr, n + skip, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(start));
        if (base == MAP_FAILED)
            return nullptr;
        ::madvise(base, n + skip, MADV_SEQUENTIAL);
        return std::make_unique<MappedRange>(base, n + skip, skip);
    }

    IoResult write(std::uint64_t offset, const void* data, std::size_t n) override
    {
        IoResult r;
        const auto* p = static_cast<const char*>(data);
        while (r.bytes < n) {
            const ssize_t put = ::pwrite(fd_, p + r.bytes, n - r.bytes, static_cast<off_t>(offset + r.bytes));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                r.error = errno;
                break;
            }
            if (put == 0) {
                r.error = ENOSPC;
                break;
            }
            r.bytes += static_cast<std::size_t>(put);
        }
        return r;
    }

    OsError size(std::uint64_t& bytes) override
    {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            return errno;
        bytes = static_cast<std::uint64_t>(st.st_size);
        return 0;
    }

    OsError truncate(std::uint64_t length) override
    {
        while (::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
            if (errno != EINTR)
                return errno;
        }
        return 0;
    }

    OsError sync() override { return ::fdatasync(fd_) == 0 ? 0 : errno; }

    OsError lock(std::uint64_t offset, std::uint64_t length, LockKind kind) override
    {
        return ofdLock(fd_, kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK, offset, length);
    }

    OsError unlock(std::uint64_t offset, std::uint64_t length) override
    {
        return ofdLock(fd_, F_UNLCK, offset, length);
    }

private:
    int fd_;
};

} // namespace

Env* Env::defaultEnv()
{
    static PosixEnv* env = new PosixEnv;
    return env;
}

OsError PosixEnv::open(const std::string& path, Access access, Share share, Disposition disposition,
                       std::unique_ptr<File>& file)
{
    int flags = O_CLOEXEC | (access == Access::ReadWrite ? O_RDWR : O_RDONLY);
    if (disposition == Disposition::CreateNew)
        flags |= O_CREAT | O_EXCL;
    else if (disposition == Disposition::CreateAlways)
        flags |= O_CREAT;
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;

    // An exclusive holder keeps a write lock on the share byte, shared holders read locks;
    // a file opened for reading only cannot carry a write lock and is shared at most.
    const bool exclusive = share == Share::Exclusive && access == Access::ReadWrite;
    if (const OsError e = ofdLock(fd, exclusive ? F_WRLCK : F_RDLCK, kShareByte, 1)) {
        ::close(fd);
        return e;
    }
    // Truncate only once the sharing check passed, so a refused open destroys nothing.
    if (disposition == Disposition::CreateAlways && ::ftruncate(fd, 0) != 0) {
        const OsError e = errno;
        ::close(fd);
        return e;
    }
    file = std::make_unique<PosixFile>(fd);
    return 0;
}

OsError PosixEnv::attributes(const std::string& path, FileAttributes& attributes)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    attributes.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    attributes.hidden = false;
    attributes.directory = S_ISDIR(st.st_mode);
    attributes.size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

OsError PosixEnv::setHidden(const std::string&)
{
    return 0;
}

OsError PosixEnv::listFolder(const std::string& folder, std::vector<std::string>& names)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return errno;
    names.clear();
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return 0;
}

void PosixEnv::sleepMs(unsigned milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

double PosixEnv::localTimeDays()
{
    timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    tm local {};
    ::localtime_r(&ts.tv_sec, &local);
    const double localSeconds = static_cast<double>(ts.tv_sec + local.tm_gmtoff) + ts.tv_nsec / 1e9;
    constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 counted from 1899-12-30
    return kUnixEpochDays + localSeconds / 86400.0;
}

} // namespace fatura::engine
