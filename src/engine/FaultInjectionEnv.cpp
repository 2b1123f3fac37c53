#include "FaultInjectionEnv.h"

namespace fatura::engine {

namespace {

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Passes through to the wrapped file unless the env has a fault for the call. A short transfer
// moves half the bytes asked for and reports no error, as an end of file or a full disk does.
class FaultFile final : public File {
public:
    FaultFile(FaultInjectionEnv& env, std::string path, std::unique_ptr<File> base)
        : env_(env), path_(std::move(path)), base_(std::move(base))
    {
    }

    IoResult read(std::uint64_t offset, void* buffer, std::size_t n) override
    {
        OsError error = 0;
        if (env_.takeFault(FaultInjectionEnv::Op::Read, path_, error)) {
            if (error != 0)
                return {0, error};
            return base_->read(offset, buffer, n / 2);
        }
        return base_->read(offset, buffer, n);
    }

    std::unique_ptr<FileView> map(std::uint64_t offset, std::size_t n) override
    {
        // A read through a view cannot fail on purpose, so reads a rule may catch are not
        // offered one and go through read() above.
        if (!env_.mayMap(path_))
            return nullptr;
        return base_->map(offset, n);
    }

    IoResult write(std::uint64_t offset, const void* data, std::size_t n) override
    {
        OsError error = 0;
        if (env_.takeFault(FaultInjectionEnv::Op::Write, path_, error)) {
            if (error != 0)
                return {0, error};
            return base_->write(offset, data, n / 2);
        }
        return base_->write(offset, data, n);
    }

    OsError size(std::uint64_t& bytes) override { return base_->size(bytes); }

    OsError sync() override
    {
        OsError error = 0;
        if (env_.takeFault(FaultInjectionEnv::Op::Sync, path_, error))
            return error;
        return base_->sync();
    }

    OsError lock(std::uint64_t offset, std::uint64_t length, LockKind kind) override
    {
        OsError error = 0;
        if (env_.takeFault(FaultInjectionEnv::Op::Lock, path_, error))
            return error;
        return base_->lock(offset, length, kind);
    }

    OsError unlock(std::uint64_t offset, std::uint64_t length) override { return base_->unlock(offset, length); }

private:
    FaultInjectionEnv& env_;
    std::string path_;
    std::unique_ptr<File> base_;
};

} // namespace

FaultInjectionEnv::FaultInjectionEnv(Env& base) : base_(base) {}

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

OsError FaultInjectionEnv::open(const std::string& path, Access access, Share share, Disposition disposition,
                                std::unique_ptr<File>& file)
{
    OsError error = 0;
    if (takeFault(Op::Open, path, error))
        return error;
    std::unique_ptr<File> base;
    if (const OsError e = base_.open(path, access, share, disposition, base))
        return e;
    file = std::make_unique<FaultFile>(*this, path, std::move(base));
    return 0;
}

OsError FaultInjectionEnv::attributes(const std::string& path, FileAttributes& attributes)
{
    OsError error = 0;
    if (takeFault(Op::Attributes, path, error))
        return error;
    return base_.attributes(path, attributes);
}

OsError FaultInjectionEnv::setHidden(const std::string& path)
{
    return base_.setHidden(path);
}

OsError FaultInjectionEnv::listFolder(const std::string& folder, std::vector<std::string>& names)
{
    OsError error = 0;
    if (takeFault(Op::ListFolder, folder, error))
        return error;
    return base_.listFolder(folder, names);
}

void FaultInjectionEnv::sleepMs(unsigned milliseconds)
{
    base_.sleepMs(milliseconds);
}

double FaultInjectionEnv::localTimeDays()
{
    return base_.localTimeDays();
}

} // namespace fatura::engine
