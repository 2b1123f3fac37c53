#include "EngineError.h"

#include <cerrno>
#include <iterator>

namespace fatura::engine {

namespace {

struct Pattern {
    unsigned code;
    std::string_view text;
};

const Pattern kPatterns[] = {
    {errc::RecordChanged, "Record has been changed or deleted by another user, session, or table cursor in the table '%s'"},
    {errc::HeaderCorrupt, "Header information corrupt in the table '%s'"},
    {errc::ReadFailed, "Error reading from the table or backup file '%s'"},
    {errc::WriteFailed, "Error writing to the table or backup file '%s'"},
    {errc::TableFull, "The table '%s' is full and cannot contain any more data"},
    {errc::DatabaseFull, "The database '%s' is full and cannot contain any more tables"},
    {errc::DuplicateKey, "Duplicate key found in the index '%s' of the table '%s'"},
    {errc::RequiredValue, "A value must be provided for the field '%s' in the table '%s'"},
    {errc::InvalidPassword, "Password provided for the table '%s' is invalid"},
    {errc::LockFileReadLock, "Cannot read lock the lock file for the database '%s'"},
    {errc::LockFileWriteLock, "Cannot write lock the lock file for the database '%s'"},
    {errc::TableLock, "Cannot lock the table '%s'"},
    {errc::Unlock, "Cannot unlock the table or record in the table '%s'"},
    {errc::RecordLock, "Cannot lock record in the table '%s'"},
    {errc::PasswordRequired, "Insufficient rights to the table '%s', a password is required"},
    {errc::NotFound, "Table or backup file '%s' does not exist"},
    {errc::TooManyFiles, "Too many operating system files open while attempting to open the table '%s'"},
    {errc::AccessDenied, "Access denied to table or backup file '%s'"},
    {errc::InvalidHandle, "Invalid operating system file handle for the table '%s'"},
    {errc::OutOfMemory, "There is insufficient operating system memory available for the current operation"},
    {errc::DeviceAccess, "Access denied to logical operating system device for the table '%s'"},
    {errc::Moved, "The table or backup file '%s' has been moved"},
    {errc::UnknownOsError, "An unknown operating system error %u occurred with the table or backup file '%s'"},
    {errc::WrongVersion, "The table '%s' is not the correct version"},
    {errc::NotValid, "The table or backup file '%s' is not valid"},
};

struct OsMapping {
    OsError error;
    unsigned code;
};

// The operating system's own codes grouped as the engine reports them: missing file or path,
// too many open files, access denied (a sharing violation and an existing file among them),
// bad handle, memory, device, moved across devices. Anything else is 11047.
const OsMapping kOsMappings[] = {
    {ENOENT, errc::NotFound},
    {ENOTDIR, errc::NotFound},
    {EMFILE, errc::TooManyFiles},
    {ENFILE, errc::TooManyFiles},
    {EACCES, errc::AccessDenied},
    {EPERM, errc::AccessDenied},
    {EROFS, errc::AccessDenied},
    {EAGAIN, errc::AccessDenied},
    {EBUSY, errc::AccessDenied},
    {ETXTBSY, errc::AccessDenied},
    {EEXIST, errc::AccessDenied},
    {EISDIR, errc::AccessDenied},
    {EBADF, errc::InvalidHandle},
    {ENOMEM, errc::OutOfMemory},
    {ENODEV, errc::DeviceAccess},
    {ENXIO, errc::DeviceAccess},
    {EXDEV, errc::Moved},
};

std::string fullText(unsigned code, const std::string& message)
{
    return "TESKAV Engine Error # " + std::to_string(code) + " " + message;
}

} // namespace

EngineError::EngineError(unsigned code, std::string message)
    : code_(code), message_(std::move(message)), text_(fullText(code_, message_))
{
}

EngineError EngineError::make(unsigned code, std::string_view subject)
{
    return EngineError(code, fillPattern(engineMessagePattern(code), {subject, subject}));
}

EngineError EngineError::duplicateKey(std::string_view indexName, std::string_view table)
{
    return EngineError(errc::DuplicateKey,
                       fillPattern(engineMessagePattern(errc::DuplicateKey), {indexName, table}));
}

EngineError EngineError::requiredValue(std::string_view fieldName, std::string_view table)
{
    return EngineError(errc::RequiredValue,
                       fillPattern(engineMessagePattern(errc::RequiredValue), {fieldName, table}));
}

EngineError EngineError::fromOsError(OsError error, std::string_view table)
{
    const unsigned code = engineCodeForOsError(error);
    if (code != errc::UnknownOsError)
        return make(code, table);
    std::string pattern(engineMessagePattern(code));
    pattern.replace(pattern.find("%u"), 2, std::to_string(static_cast<unsigned>(error)));
    return EngineError(code, fillPattern(pattern, {table}));
}

CursorError CursorError::onBehalfOf(std::string_view objectName, std::string_view message)
{
    if (objectName.empty())
        return CursorError(std::string(message));
    return CursorError(fillPattern("%s: %s", {objectName, message}));
}

std::string_view engineMessagePattern(unsigned code)
{
    for (const Pattern& p : kPatterns) {
        if (p.code == code)
            return p.text;
    }
    return {};
}

unsigned engineCodeForOsError(OsError error)
{
    for (const OsMapping& m : kOsMappings) {
        if (m.error == error)
            return m.code;
    }
    return errc::UnknownOsError;
}

std::string fillPattern(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string out;
    out.reserve(pattern.size() + 64);
    auto arg = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && arg != args.end()) {
            out.append(*arg++);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

} // namespace fatura::engine
