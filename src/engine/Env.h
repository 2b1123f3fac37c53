#pragma once
// Env: every operating-system call the table engine makes goes through this interface, so that
// tests can run the engine on an in-memory file system (MemEnv) or one that fails on purpose
// (FaultInjectionEnv). Production uses PosixEnv through Env::defaultEnv().
//
// Contract shared by all implementations:
// - Every call returns an operating-system error code (errno values on every implementation,
//   0 = success); nothing throws except std::bad_alloc.
// - Paths are byte strings (UTF-8 on Linux) naming files directly; no call expands or
//   normalises them.
// - Byte-range locks never block: a lock that conflicts with one held through another File
//   object fails at once with EAGAIN. Locks belong to the File object that took them (an open
//   file description), not to the process, so two File objects of one process conflict like
//   two processes. Closing a File drops its locks.
// - The locks of one File merge as POSIX record locks do: locking a range it already holds
//   (in part or whole) converts that part to the new kind without a moment unlocked, and
//   unlocking a range releases exactly those bytes, splitting a lock that reaches beyond it.
//   So unlocking a wide range also drops a narrower lock taken inside it through the same
//   File; callers that nest locks must unlock around the inner ones.
// - File objects are used by one thread at a time; the Env itself may be shared.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fatura::engine {

// An operating-system error code: an errno value, 0 for success.
using OsError = int;

// Bytes moved by one read or write. Fewer bytes than asked means end of file (read) or a
// failure, in which case error is set.
struct IoResult {
    std::size_t bytes = 0;
    OsError error = 0;
};

enum class Access { ReadOnly, ReadWrite };
// Shared opens coexist; an exclusive open fails while the file is open anywhere else, and
// while it is held every other open fails (EAGAIN, a sharing violation).
enum class Share { Shared, Exclusive };
enum class Disposition {
    OpenExisting, // ENOENT when missing
    CreateNew,    // EEXIST when present
    CreateAlways, // create, or truncate an existing file to length 0
};
enum class LockKind { Shared, Exclusive };

struct FileAttributes {
    bool readOnly = false;  // no write permission bit at all (the owner's wishes, even for root)
    bool hidden = false;
    bool directory = false;
    std::uint64_t size = 0;
};

// Read-only bytes of a file seen in place (File::map). Destroying the view gives them up.
class FileView {
public:
    virtual ~FileView() = default;
    const unsigned char* data() const { return data_; }

protected:
    const unsigned char* data_ = nullptr;
};

class File {
public:
    virtual ~File() = default;
    // Reads n bytes at offset. Returns fewer only at end of file or when error is set.
    virtual IoResult read(std::uint64_t offset, void* buffer, std::size_t n) = 0;
    // Writes n bytes at offset, extending the file (with zero bytes in any gap) as needed.
    virtual IoResult write(std::uint64_t offset, const void* data, std::size_t n) = 0;
    virtual OsError size(std::uint64_t& bytes) = 0;
    // Cuts the file to length bytes (or extends it with zero bytes).
    virtual OsError truncate(std::uint64_t length) = 0;
    // Flushes written data to the storage device; blocks until done. Only what was written
    // before a sync that returned 0 is sure to survive a power cut.
    virtual OsError sync() = 0;
    // Byte-range locks (see the contract above). Non-blocking lock of [offset, offset +
    // length), which may lie beyond the end of the file; EAGAIN when it conflicts with a lock
    // held through another File object. An exclusive lock needs a File opened for writing.
    virtual OsError lock(std::uint64_t offset, std::uint64_t length, LockKind kind) = 0;
    virtual OsError unlock(std::uint64_t offset, std::uint64_t length) = 0;
    // [offset, offset + n) seen in place, without copying it, for long reads such as table
    // scans. The range must lie within the file's length; nothing may shorten the file while
    // the view exists, and a write through any File may or may not show in it (on MemEnv it
    // may even move the bytes, so no write may happen while a view is held). Null when this
    // file offers no such view; the caller then reads.
    virtual std::unique_ptr<FileView> map(std::uint64_t offset, std::size_t n)
    {
        (void)offset;
        (void)n;
        return nullptr;
    }
};

class Env {
public:
    virtual ~Env() = default;

    // The process-wide PosixEnv. Never null, never destroyed.
    static Env* defaultEnv();

    virtual OsError open(const std::string& path, Access access, Share share,
                         Disposition disposition, std::unique_ptr<File>& file) = 0;
    // ENOENT (or ENOTDIR) when the path does not exist.
    virtual OsError attributes(const std::string& path, FileAttributes& attributes) = 0;
    // Marks a file hidden from ordinary folder views where the file system has such a mark.
    virtual OsError setHidden(const std::string& path) = 0;
    // Names (not paths) of the entries of a folder, in the order the file system gives them,
    // without "." and "..".
    virtual OsError listFolder(const std::string& folder, std::vector<std::string>& names) = 0;
    // Blocks the calling thread; the lock retry waits go through here so tests need not wait.
    virtual void sleepMs(unsigned milliseconds) = 0;
    // The local date and time as days since 30 December 1899, the fraction being the time of day.
    virtual double localTimeDays() = 0;
};

// Bases for Envs and Files that change a few calls of another one and pass the rest through
// unchanged: a wrapper overrides only what it changes. The wrapped object must outlive the
// wrapper.
class FileWrapper : public File {
public:
    explicit FileWrapper(std::unique_ptr<File> target) : target_(std::move(target)) {}
    File& target() { return *target_; }

    IoResult read(std::uint64_t offset, void* buffer, std::size_t n) override { return target_->read(offset, buffer, n); }
    IoResult write(std::uint64_t offset, const void* data, std::size_t n) override
    {
        return target_->write(offset, data, n);
    }
    OsError size(std::uint64_t& bytes) override { return target_->size(bytes); }
    OsError truncate(std::uint64_t length) override { return target_->truncate(length); }
    OsError sync() override { return target_->sync(); }
    OsError lock(std::uint64_t offset, std::uint64_t length, LockKind kind) override
    {
        return target_->lock(offset, length, kind);
    }
    OsError unlock(std::uint64_t offset, std::uint64_t length) override { return target_->unlock(offset, length); }
    std::unique_ptr<FileView> map(std::uint64_t offset, std::size_t n) override { return target_->map(offset, n); }

private:
    std::unique_ptr<File> target_;
};

class EnvWrapper : public Env {
public:
    explicit EnvWrapper(Env& target) : target_(target) {}
    Env& target() { return target_; }

    OsError open(const std::string& path, Access access, Share share, Disposition disposition,
                 std::unique_ptr<File>& file) override
    {
        return target_.open(path, access, share, disposition, file);
    }
    OsError attributes(const std::string& path, FileAttributes& attributes) override
    {
        return target_.attributes(path, attributes);
    }
    OsError setHidden(const std::string& path) override { return target_.setHidden(path); }
    OsError listFolder(const std::string& folder, std::vector<std::string>& names) override
    {
        return target_.listFolder(folder, names);
    }
    void sleepMs(unsigned milliseconds) override { target_.sleepMs(milliseconds); }
    double localTimeDays() override { return target_.localTimeDays(); }

private:
    Env& target_;
};

} // namespace fatura::engine
