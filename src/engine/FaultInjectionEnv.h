#pragma once
// An Env that passes every call to another Env except those a fault rule catches, for tests of
// the engine's failure paths: an open that fails with a chosen errno, short reads and writes,
// failing locks. Rules match by the end of the path ("fatura.dat").

#include "Env.h"

#include <mutex>
#include <string>
#include <vector>

namespace fatura::engine {

class FaultInjectionEnv : public Env {
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
    OsError setHidden(const std::string& path) override;
    OsError listFolder(const std::string& folder, std::vector<std::string>& names) override;
    void sleepMs(unsigned milliseconds) override;
    double localTimeDays() override;

    // Whether files hand out in-place views (File::map) of the wrapped Env; on by default.
    // Off, every read goes through File::read. Files with a read rule that may still fire
    // never hand out views.
    void setMapping(bool allowed);
    bool mayMap(const std::string& path);

    // Whether a call of op on path fails now, and how; consumes one matching call. Used by the
    // files this Env hands out.
    bool takeFault(Op op, const std::string& path, OsError& error);

private:
    Env& base_;
    std::mutex mutex_;
    struct Rule {
        Fault fault;
        int seen = 0;
        int fired = 0;
    };
    std::vector<Rule> rules_;
    bool mapping_ = true;
};

} // namespace fatura::engine
