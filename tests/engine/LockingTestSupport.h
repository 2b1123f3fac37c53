#pragma once
// Fixtures for tests of locking between processes inside one test process: each ProcessEnv
// over the same files stands for one process, and a folder holds the table either in memory
// or on disk (where the system's own byte-range locks decide).

#include "EngineTestSupport.h"
#include "PosixEnv.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace enginetest {

// One process's view of the files of a base Env. Each Env gets its own folder object, table
// objects and open files, so the locks taken through it conflict with those of every other
// ProcessEnv as another process's would. Its waits are counted, never slept; onSleep, when
// set, runs at each wait with the number of waits so far, to let the other side move on.
class ProcessEnv final : public Env {
public:
    explicit ProcessEnv(Env& base) : base_(base) {}

    OsError open(const std::string& path, Access access, Share share, Disposition disposition,
                 std::unique_ptr<File>& file) override
    {
        return base_.open(path, access, share, disposition, file);
    }
    OsError attributes(const std::string& path, FileAttributes& attributes) override
    {
        return base_.attributes(path, attributes);
    }
    OsError setHidden(const std::string& path) override { return base_.setHidden(path); }
    OsError listFolder(const std::string& folder, std::vector<std::string>& names) override
    {
        return base_.listFolder(folder, names);
    }
    void sleepMs(unsigned milliseconds) override
    {
        slept_ += milliseconds;
        ++waits_;
        if (onSleep)
            onSleep(waits_);
    }
    double localTimeDays() override { return base_.localTimeDays(); }

    unsigned long long sleptMs() const { return slept_; }
    void resetSleep()
    {
        slept_ = 0;
        waits_ = 0;
    }
    std::function<void(int)> onSleep;

private:
    Env& base_;
    unsigned long long slept_ = 0;
    int waits_ = 0;
};

// A folder with the small table "fatura" in it, seen by two processes.
struct SharedFolder {
    explicit SharedFolder(bool onDisk, const TableDefinition& definition = smallDefinition())
        : base(onDisk ? static_cast<Env&>(posix) : static_cast<Env&>(mem))
    {
        folder = onDisk ? dir.path().toStdString() + "/" : kFolder;
        createTable(folder, "fatura", definition, &base);
    }

    void open(Cursor& cursor, ProcessEnv& process, bool exclusive = false)
    {
        OpenOptions options;
        options.env = &process;
        options.exclusive = exclusive;
        cursor.open(folder, "fatura", options);
    }

    // A file opened by a third party, to hold or probe locks by hand.
    std::unique_ptr<File> raw(const std::string& name, Access access = Access::ReadWrite)
    {
        std::unique_ptr<File> file;
        if (base.open(folder + name, access, Share::Shared, Disposition::OpenExisting, file) != 0)
            qFatal("cannot open %s", name.c_str());
        return file;
    }

    std::string bytes(const std::string& name)
    {
        std::unique_ptr<File> file;
        if (base.open(folder + name, Access::ReadOnly, Share::Shared, Disposition::OpenExisting, file) != 0)
            return {};
        std::uint64_t size = 0;
        file->size(size);
        std::string out(size, '\0');
        file->read(0, out.data(), out.size());
        return out;
    }

    void setBytes(const std::string& name, const std::string& content)
    {
        std::unique_ptr<File> file = raw(name);
        file->write(0, content.data(), content.size());
    }

    // Appends one record with AD (and NOT) through cursor; returns its ID field.
    static int add(Cursor& cursor, const std::string& ad, const std::string& note = {})
    {
        cursor.append();
        cursor.setText("AD", ad);
        if (!note.empty())
            cursor.setText("NOT", note);
        cursor.post();
        return static_cast<int>(cursor.getNumber("ID"));
    }

    MemEnv mem;
    PosixEnv posix;
    QTemporaryDir dir;
    Env& base;
    std::string folder;
    ProcessEnv one{base};
    ProcessEnv two{base};
};

} // namespace enginetest
