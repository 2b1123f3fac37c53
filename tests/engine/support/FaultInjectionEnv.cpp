#include "FaultInjectionEnv.h"

#include <cerrno>

namespace fatura::engine {

namespace {

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void applyWrite(std::string& bytes, std::uint64_t offset, const std::string& data, bool truncation)
{
    if (truncation) {
        bytes.resize(offset, '\0');
        return;
    }
    if (offset + data.size() > bytes.size())
        bytes.resize(offset + data.size(), '\0');
    bytes.replace(offset, data.size(), data);
}

// Passes through to the wrapped file unless the env has a fault for the call. A short transfer
// moves half the bytes asked for and reports no error, as an end of file or a full disk does.
class FaultFile final : public FileWrapper {
public:
    FaultFile(FaultInjectionEnv& env, std::string path, std::unique_ptr<File> base)
        : FileWrapper(std::move(base)), env_(env), path_(std::move(path))
    {
    }

    IoResult read(std::uint64_t offset, void* buffer, std::size_t n) override
    {
        OsError error = 0;
        if (env_.takeFault(FaultInjectionEnv::Op::Read, path_, error)) {
            if (error != 0)
                return {0, error};
            return target().read(offset, buffer, n / 2);
        }
        return target().read(offset, buffer, n);
    }

    std::unique_ptr<FileView> map(std::uint64_t offset, std::size_t n) override
    {
        // A read through a view cannot fail on purpose, so reads a rule may catch are not
        // offered one and go through read() above.
        if (!env_.mayMap(path_))
            return nullptr;
        return target().map(offset, n);
    }

    IoResult write(std::uint64_t offset, const void* data, std::size_t n) override
    {
        OsError error = 0;
        if (env_.takeFault(FaultInjectionEnv::Op::Write, path_, error)) {
            if (error != 0)
                return {0, error};
            n /= 2;
        }
        if (!env_.noteWrite(path_, offset, data, n, false))
            return {0, EIO};
        return target().write(offset, data, n);
    }

    OsError truncate(std::uint64_t length) override
    {
        if (!env_.noteWrite(path_, length, nullptr, 0, true))
            return EIO;
        return target().truncate(length);
    }

    OsError sync() override
    {
        OsError error = 0;
        if (env_.takeFault(FaultInjectionEnv::Op::Sync, path_, error))
            return error;
        if (const OsError e = target().sync())
            return e;
        return env_.noteSync(path_, target()) ? 0 : EIO;
    }

    OsError lock(std::uint64_t offset, std::uint64_t length, LockKind kind) override
    {
        OsError error = 0;
        if (env_.takeFault(FaultInjectionEnv::Op::Lock, path_, error))
            return error;
        return target().lock(offset, length, kind);
    }

private:
    FaultInjectionEnv& env_;
    std::string path_;
};

std::string contentsOf(File& file)
{
    std::uint64_t size = 0;
    file.size(size);
    std::string bytes(size, '\0');
    file.read(0, bytes.data(), bytes.size());
    return bytes;
}

} // namespace

FaultInjectionEnv::FaultInjectionEnv(Env& base) : EnvWrapper(base) {}

void FaultInjectionEnv::addFault(const Fault& fault)
{
    std::lock_guard guard(mutex_);
    rules_.push_back({fault});
}

void FaultInjectionEnv::clearFaults()
{
    std::lock_guard guard(mutex_);
    rules_.clear();
}

void FaultInjectionEnv::failOpen(const std::string& pathSuffix, OsError error, int times)
{
    addFault({Op::Open, pathSuffix, error, 0, times});
}

void FaultInjectionEnv::shortReads(const std::string& pathSuffix, int skip)
{
    addFault({Op::Read, pathSuffix, 0, skip, -1});
}

void FaultInjectionEnv::shortWrites(const std::string& pathSuffix, int skip)
{
    addFault({Op::Write, pathSuffix, 0, skip, -1});
}

void FaultInjectionEnv::setMapping(bool allowed)
{
    std::lock_guard guard(mutex_);
    mapping_ = allowed;
}

bool FaultInjectionEnv::mayMap(const std::string& path)
{
    std::lock_guard guard(mutex_);
    if (!mapping_)
        return false;
    for (const Rule& rule : rules_) {
        if (rule.fault.op == Op::Read && endsWith(path, rule.fault.pathSuffix)
            && (rule.fault.times < 0 || rule.fired < rule.fault.times))
            return false;
    }
    return true;
}

bool FaultInjectionEnv::takeFault(Op op, const std::string& path, OsError& error)
{
    std::lock_guard guard(mutex_);
    for (Rule& rule : rules_) {
        if (rule.fault.op != op || !endsWith(path, rule.fault.pathSuffix))
            continue;
        if (rule.seen++ < rule.fault.skip)
            return false;
        if (rule.fault.times >= 0 && rule.fired >= rule.fault.times)
            continue;
        ++rule.fired;
        error = rule.fault.error;
        return true;
    }
    return false;
}

int FaultInjectionEnv::faultsFired()
{
    std::lock_guard guard(mutex_);
    int fired = 0;
    for (const Rule& rule : rules_)
        fired += rule.fired;
    return fired;
}

OsError FaultInjectionEnv::open(const std::string& path, Access access, Share share, Disposition disposition,
                                std::unique_ptr<File>& file)
{
    OsError error = 0;
    if (takeFault(Op::Open, path, error))
        return error;
    std::unique_ptr<File> base;
    if (const OsError e = target().open(path, access, share, disposition, base))
        return e;
    {
        std::lock_guard guard(mutex_);
        if (tracking_ && !disks_.count(path))
            disks_[path].synced = contentsOf(*base);
    }
    file = std::make_unique<FaultFile>(*this, path, std::move(base));
    return 0;
}

OsError FaultInjectionEnv::attributes(const std::string& path, FileAttributes& attributes)
{
    OsError error = 0;
    if (takeFault(Op::Attributes, path, error))
        return error;
    return target().attributes(path, attributes);
}

OsError FaultInjectionEnv::listFolder(const std::string& folder, std::vector<std::string>& names)
{
    OsError error = 0;
    if (takeFault(Op::ListFolder, folder, error))
        return error;
    return target().listFolder(folder, names);
}

void FaultInjectionEnv::trackDurability()
{
    std::lock_guard guard(mutex_);
    tracking_ = true;
    disks_.clear();
}

void FaultInjectionEnv::powerOffAfter(int writes)
{
    std::lock_guard guard(mutex_);
    writesLeft_ = writes;
    writesSeen_ = 0;
    off_ = false;
}

bool FaultInjectionEnv::poweredOff()
{
    std::lock_guard guard(mutex_);
    return off_;
}

int FaultInjectionEnv::writesSeen()
{
    std::lock_guard guard(mutex_);
    return writesSeen_;
}

bool FaultInjectionEnv::noteWrite(const std::string& path, std::uint64_t offset, const void* data, std::size_t n,
                                  bool truncation)
{
    std::lock_guard guard(mutex_);
    if (off_)
        return false;
    if (writesLeft_ >= 0 && writesLeft_-- == 0) {
        off_ = true;
        return false;
    }
    ++writesSeen_;
    auto it = disks_.find(path);
    if (tracking_ && it != disks_.end())
        it->second.pending.push_back({offset, std::string(static_cast<const char*>(data), truncation ? 0 : n), truncation});
    return true;
}

bool FaultInjectionEnv::noteSync(const std::string& path, File& file)
{
    std::lock_guard guard(mutex_);
    if (off_)
        return false;
    auto it = disks_.find(path);
    if (tracking_ && it != disks_.end()) {
        it->second.synced = contentsOf(file);
        it->second.pending.clear();
    }
    return true;
}

void FaultInjectionEnv::restoreAfterPowerCut(Survivors survivors, std::uint64_t seed)
{
    std::map<std::string, Disk> disks;
    {
        std::lock_guard guard(mutex_);
        disks.swap(disks_);
        tracking_ = false;
        writesLeft_ = -1;
        off_ = false;
    }
    std::mt19937_64 random(seed);
    for (auto& [path, disk] : disks) {
        std::string bytes = disk.synced;
        for (const PendingWrite& w : disk.pending) {
            const bool kept = survivors == Survivors::All || (survivors == Survivors::Random && (random() & 1));
            if (kept)
                applyWrite(bytes, w.offset, w.bytes, w.truncation);
        }
        std::unique_ptr<File> file;
        if (target().open(path, Access::ReadWrite, Share::Shared, Disposition::CreateAlways, file) == 0)
            file->write(0, bytes.data(), bytes.size());
    }
}

} // namespace fatura::engine
