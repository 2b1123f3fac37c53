#pragma once
// Env on the POSIX file system. Sharing (Share::Exclusive) and byte-range locks are
// open-file-description locks (F_OFD_SETLK), so they work between File objects of one process
// as between processes. A sharing lock sits on the byte at offset 4294967295, beyond the range
// the table locks use.

#include "Env.h"

namespace fatura::engine {

class PosixEnv : public Env {
public:
    OsError open(const std::string& path, Access access, Share share, Disposition disposition,
                 std::unique_ptr<File>& file) override;
    OsError attributes(const std::string& path, FileAttributes& attributes) override;
    OsError setHidden(const std::string& path) override; // no such mark: does nothing
    OsError listFolder(const std::string& folder, std::vector<std::string>& names) override;
    void sleepMs(unsigned milliseconds) override;
    double localTimeDays() override;
};

} // namespace fatura::engine
