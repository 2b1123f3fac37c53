#pragma once
// An Env that passes every call to another Env except those a fault rule catches, for tests of
// the engine's failure paths: an open that fails with a chosen errno, short reads and writes,
// failing locks. Rules match by the end of the path ("fatura.dat").
//
// It also plays the disk in a power cut: while durability is tracked it keeps, for every file
// opened through it, the bytes as of the last sync and the writes made since. powerOffAfter(n)
// lets n more writes through and then fails every write and sync, as a machine that stopped;
// restoreAfterPowerCut() then leaves each file in the wrapped Env as the disk would hold it:
// the synced bytes plus none, all or a random choice of the writes that followed.

#include "Env.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace fatura::engine {

class FaultInjectionEnv : public EnvWrapper {
public:
    enum class Op { Open, Attributes, Read, Write, Sync, Lock, ListFolder };

    struct Fault {
        Op op = Op::Open;
        std::string pathSuffix;  // empty matches every path
        OsError error = 0;       // the error to report; 0 with a read/write: a short transfer
        int skip = 0;            // matching calls let through before the fault applies
        int times = -1;          // calls that fail once it applies; -1 for every one after
    };

    explicit FaultInjectionEnv(Env& base);

    void addFault(const Fault& fault);
    void clearFaults();
    // Shorthands for the common rules.
    void failOpen(const std::string& pathSuffix, OsError error, int times = -1);
    void shortReads(const std::string& pathSuffix, int skip = 0);
    void shortWrites(const std::string& pathSuffix, int skip = 0);

    OsError open(const std::string& path, Access access, Share share, Disposition disposition,
                 std::unique_ptr<File>& file) override;
    OsError attributes(const std::string& path, FileAttributes& attributes) override;
    OsError listFolder(const std::string& folder, std::vector<std::string>& names) override;

    // Whether files hand out in-place views (File::map) of the wrapped Env; on by default.
    // Off, every read goes through File::read. Files with a read rule that may still fire
    // never hand out views.
    void setMapping(bool allowed);
    bool mayMap(const std::string& path);

    // Whether a call of op on path fails now, and how; consumes one matching call. Used by the
    // files this Env hands out.
    bool takeFault(Op op, const std::string& path, OsError& error);
    // How many calls the rules have failed so far.
    int faultsFired();

    // Power cuts. Files opened from now on are tracked; their bytes at opening count as synced.
    void trackDurability();
    void powerOffAfter(int writes);
    bool poweredOff();
    int writesSeen();
    enum class Survivors { None, All, Random };
    // Every file tracked must be closed. Stops tracking and clears the power-off.
    void restoreAfterPowerCut(Survivors survivors, std::uint64_t seed = 0);

    // Used by the files: a write or truncation (length in offset, no bytes) made, a sync done.
    // false when the power is off and the call must fail.
    bool noteWrite(const std::string& path, std::uint64_t offset, const void* data, std::size_t n, bool truncation);
    bool noteSync(const std::string& path, File& file);

private:
    std::mutex mutex_;
    struct Rule {
        Fault fault;
        int seen = 0;
        int fired = 0;
    };
    std::vector<Rule> rules_;
    bool mapping_ = true;

    struct PendingWrite {
        std::uint64_t offset;
        std::string bytes;
        bool truncation;
    };
    struct Disk {
        std::string synced;
        std::vector<PendingWrite> pending;
    };
    bool tracking_ = false;
    std::map<std::string, Disk> disks_;
    int writesLeft_ = -1; // -1: the power stays on
    int writesSeen_ = 0;
    bool off_ = false;
};

} // namespace fatura::engine
