#include "MemEnv.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fatura::engine {

struct MemEnv::Node {
    std::string bytes;
    bool readOnly = false;
    bool hidden = false;
    int sharedOpens = 0;
    int exclusiveOpens = 0;
    struct Lock {
        const File* owner;
        std::uint64_t offset;
        std::uint64_t length;
        LockKind kind;
    };
    std::vector<Lock> locks;
};

namespace {

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string withoutTrailingSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool overlaps(std::uint64_t a, std::uint64_t alen, std::uint64_t b, std::uint64_t blen)
{
    return a < b + blen && b < a + alen;
}

// Keeps the file's bytes alive; they stay in place while nothing writes to the file.
class MemView final : public FileView {
public:
    MemView(std::shared_ptr<MemEnv::Node> node, const unsigned char* data) : node_(std::move(node)) { data_ = data; }

private:
    std::shared_ptr<MemEnv::Node> node_;
};

class MemFile final : public File {
public:
    MemFile(std::mutex& mutex, std::shared_ptr<MemEnv::Node> node, bool writable, bool exclusive)
        : mutex_(mutex), node_(std::move(node)), writable_(writable), exclusive_(exclusive)
    {
    }

    ~MemFile() override
    {
        std::lock_guard guard(mutex_);
        (exclusive_ ? node_->exclusiveOpens : node_->sharedOpens)--;
        auto& locks = node_->locks;
        locks.erase(std::remove_if(locks.begin(), locks.end(), [this](const auto& l) { return l.owner == this; }),
                    locks.end());
    }

    IoResult read(std::uint64_t offset, void* buffer, std::size_t n) override
    {
        std::lock_guard guard(mutex_);
        const std::string& b = node_->bytes;
        if (offset >= b.size())
            return {};
        const std::size_t count = std::min<std::uint64_t>(n, b.size() - offset);
        std::memcpy(buffer, b.data() + offset, count);
        return {count, 0};
    }

    std::unique_ptr<FileView> map(std::uint64_t offset, std::size_t n) override
    {
        std::lock_guard guard(mutex_);
        const std::string& b = node_->bytes;
        if (n == 0 || offset > b.size() || n > b.size() - offset)
            return nullptr;
        return std::make_unique<MemView>(node_, reinterpret_cast<const unsigned char*>(b.data()) + offset);
    }

    IoResult write(std::uint64_t offset, const void* data, std::size_t n) override
    {
        std::lock_guard guard(mutex_);
        if (!writable_)
            return {0, EBADF};
        std::string& b = node_->bytes;
        if (offset + n > b.size())
            b.resize(offset + n, '\0');
        std::memcpy(b.data() + offset, data, n);
        return {n, 0};
    }

    OsError size(std::uint64_t& bytes) override
    {
        std::lock_guard guard(mutex_);
        bytes = node_->bytes.size();
        return 0;
    }

    OsError truncate(std::uint64_t length) override
    {
        std::lock_guard guard(mutex_);
        if (!writable_)
            return EBADF;
        node_->bytes.resize(length, '\0');
        return 0;
    }

    OsError sync() override { return 0; }

    OsError lock(std::uint64_t offset, std::uint64_t length, LockKind kind) override
    {
        std::lock_guard guard(mutex_);
        if (kind == LockKind::Exclusive && !writable_)
            return EBADF;
        for (const auto& l : node_->locks) {
            if (l.owner != this && overlaps(l.offset, l.length, offset, length)
                && (l.kind == LockKind::Exclusive || kind == LockKind::Exclusive))
                return EAGAIN;
        }
        releaseOwn(offset, length);
        node_->locks.push_back({this, offset, length, kind});
        return 0;
    }

    OsError unlock(std::uint64_t offset, std::uint64_t length) override
    {
        std::lock_guard guard(mutex_);
        releaseOwn(offset, length);
        return 0;
    }

private:
    // Drops this file's hold on [offset, offset + length), keeping the parts of its locks on
    // either side, as POSIX does.
    void releaseOwn(std::uint64_t offset, std::uint64_t length)
    {
        const std::uint64_t end = offset + length;
        std::vector<MemEnv::Node::Lock> kept;
        for (const auto& l : node_->locks) {
            if (l.owner != this || !overlaps(l.offset, l.length, offset, length)) {
                kept.push_back(l);
                continue;
            }
            if (l.offset < offset)
                kept.push_back({this, l.offset, offset - l.offset, l.kind});
            if (l.offset + l.length > end)
                kept.push_back({this, end, l.offset + l.length - end, l.kind});
        }
        node_->locks.swap(kept);
    }

    std::mutex& mutex_;
    std::shared_ptr<MemEnv::Node> node_;
    bool writable_;
    bool exclusive_;
};

} // namespace

MemEnv::MemEnv() = default;
MemEnv::~MemEnv() = default;

OsError MemEnv::open(const std::string& path, Access access, Share share, Disposition disposition,
                     std::unique_ptr<File>& file)
{
    std::lock_guard guard(mutex_);
    auto it = files_.find(path);
    if (it == files_.end()) {
        if (disposition == Disposition::OpenExisting)
            return ENOENT;
        if (readOnlyFolders_.count(folderOf(path)))
            return EACCES;
    } else if (disposition == Disposition::CreateNew) {
        return EEXIST;
    }
    std::shared_ptr<Node> node = it == files_.end() ? std::make_shared<Node>() : it->second;
    const bool writes = access == Access::ReadWrite || disposition != Disposition::OpenExisting;
    if (node->readOnly && writes)
        return EACCES;
    const bool exclusive = share == Share::Exclusive;
    if (node->exclusiveOpens > 0 || (exclusive && node->sharedOpens > 0))
        return EAGAIN;
    if (disposition == Disposition::CreateAlways)
        node->bytes.clear();
    if (it == files_.end())
        files_.emplace(path, node);
    (exclusive ? node->exclusiveOpens : node->sharedOpens)++;
    file = std::make_unique<MemFile>(mutex_, node, access == Access::ReadWrite, exclusive);
    return 0;
}

OsError MemEnv::attributes(const std::string& path, FileAttributes& attributes)
{
    std::lock_guard guard(mutex_);
    auto it = files_.find(path);
    if (it != files_.end()) {
        attributes = {};
        attributes.readOnly = it->second->readOnly;
        attributes.hidden = it->second->hidden;
        attributes.size = it->second->bytes.size();
        return 0;
    }
    const std::string prefix = withoutTrailingSlash(path) + "/";
    auto below = files_.lower_bound(prefix);
    if (below != files_.end() && below->first.compare(0, prefix.size(), prefix) == 0) {
        attributes = {};
        attributes.directory = true;
        attributes.readOnly = readOnlyFolders_.count(withoutTrailingSlash(path)) > 0;
        return 0;
    }
    return ENOENT;
}

OsError MemEnv::setHidden(const std::string& path)
{
    std::lock_guard guard(mutex_);
    auto it = files_.find(path);
    if (it == files_.end())
        return ENOENT;
    it->second->hidden = true;
    return 0;
}

OsError MemEnv::listFolder(const std::string& folder, std::vector<std::string>& names)
{
    std::lock_guard guard(mutex_);
    names.clear();
    const std::string prefix = withoutTrailingSlash(folder) + "/";
    for (auto it = files_.lower_bound(prefix); it != files_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0)
            break;
        const std::string rest = it->first.substr(prefix.size());
        if (!rest.empty() && rest.find('/') == std::string::npos)
            names.push_back(rest);
    }
    return 0;
}

void MemEnv::sleepMs(unsigned milliseconds)
{
    std::lock_guard guard(mutex_);
    slept_ += milliseconds;
}

double MemEnv::localTimeDays()
{
    std::lock_guard guard(mutex_);
    return now_;
}

bool MemEnv::exists(const std::string& path) const
{
    std::lock_guard guard(mutex_);
    return files_.count(path) > 0;
}

std::string MemEnv::contents(const std::string& path) const
{
    std::lock_guard guard(mutex_);
    auto it = files_.find(path);
    return it == files_.end() ? std::string() : it->second->bytes;
}

void MemEnv::setContents(const std::string& path, const std::string& bytes)
{
    std::lock_guard guard(mutex_);
    auto& node = files_[path];
    if (!node)
        node = std::make_shared<Node>();
    node->bytes = bytes;
}

void MemEnv::remove(const std::string& path)
{
    std::lock_guard guard(mutex_);
    files_.erase(path);
}

void MemEnv::setReadOnly(const std::string& path, bool readOnly)
{
    std::lock_guard guard(mutex_);
    auto it = files_.find(path);
    if (it != files_.end())
        it->second->readOnly = readOnly;
}

void MemEnv::setFolderReadOnly(const std::string& folder, bool readOnly)
{
    std::lock_guard guard(mutex_);
    if (readOnly)
        readOnlyFolders_.insert(withoutTrailingSlash(folder));
    else
        readOnlyFolders_.erase(withoutTrailingSlash(folder));
}

void MemEnv::setLocalTimeDays(double days)
{
    std::lock_guard guard(mutex_);
    now_ = days;
}

unsigned long long MemEnv::sleptMs() const
{
    std::lock_guard guard(mutex_);
    return slept_;
}

} // namespace fatura::engine
