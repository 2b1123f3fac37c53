#pragma once
// An Env whose files live in memory, for tests. Folders need not exist: a path's folder is
// the text before its last '/'. Sleeping only adds to a counter; the clock is fixed.
// Thread-safe.

#include "Env.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace fatura::engine {

class MemEnv : public Env {
public:
    MemEnv();
    ~MemEnv() override;

    OsError open(const std::string& path, Access access, Share share, Disposition disposition,
                 std::unique_ptr<File>& file) override;
    OsError attributes(const std::string& path, FileAttributes& attributes) override;
    OsError setHidden(const std::string& path) override;
    OsError listFolder(const std::string& folder, std::vector<std::string>& names) override;
    void sleepMs(unsigned milliseconds) override;
    double localTimeDays() override;

    // Test helpers. contents() of a missing file is empty.
    bool exists(const std::string& path) const;
    std::string contents(const std::string& path) const;
    void setContents(const std::string& path, const std::string& bytes);
    void remove(const std::string& path);
    void setReadOnly(const std::string& path, bool readOnly);
    // Creating a file in a read-only folder fails with EACCES.
    void setFolderReadOnly(const std::string& folder, bool readOnly);
    void setLocalTimeDays(double days);
    unsigned long long sleptMs() const;

    struct Node; // one file's bytes, attributes, sharing and locks

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Node>> files_;
    std::set<std::string> readOnlyFolders_;
    double now_ = 45658.5; // 2025-01-01 12:00
    unsigned long long slept_ = 0;
};

} // namespace fatura::engine
