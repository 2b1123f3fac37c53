#pragma once
// The two kinds of failure the engine reports, both thrown as exceptions:
// - EngineError: a numeric code and a message made from the code's pattern; what() is the full
//   text "TESKAV Engine Error # <code> <message>".
// - CursorError: a plain message of the cursor layer, no code. Raised on behalf of a named
//   cursor it reads "<object name>: <message>" (e.g. "tfatura: Cannot perform this operation
//   on a closed dataset").
// All texts are UTF-8. Names that arrive as code page 1254 (field and index names) are
// converted before they are put into a message.

#include "Env.h"

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

namespace fatura::engine {

namespace errc {
inline constexpr unsigned RecordChanged = 8708;
inline constexpr unsigned HeaderCorrupt = 8961;
inline constexpr unsigned ReadFailed = 9217;
inline constexpr unsigned WriteFailed = 9218;
inline constexpr unsigned TableFull = 9479;
inline constexpr unsigned DatabaseFull = 9480;
inline constexpr unsigned DuplicateKey = 9729;
inline constexpr unsigned RequiredValue = 9732;
inline constexpr unsigned InvalidPassword = 10015;
inline constexpr unsigned LockFileReadLock = 10221;
inline constexpr unsigned LockFileWriteLock = 10223;
inline constexpr unsigned TableLock = 10241;
inline constexpr unsigned Unlock = 10242;
inline constexpr unsigned RecordLock = 10258;
inline constexpr unsigned PasswordRequired = 10498;
inline constexpr unsigned NotFound = 11010;
inline constexpr unsigned TooManyFiles = 11012;
inline constexpr unsigned AccessDenied = 11013;
inline constexpr unsigned InvalidHandle = 11014;
inline constexpr unsigned OutOfMemory = 11016;
inline constexpr unsigned DeviceAccess = 11023;
inline constexpr unsigned Moved = 11025;
inline constexpr unsigned UnknownOsError = 11047;
inline constexpr unsigned WrongVersion = 12035;
inline constexpr unsigned NotValid = 12036;
} // namespace errc

// Cursor-layer message texts.
namespace msg {
inline constexpr std::string_view ReadOnlyDataset = "Cannot modify a read-only dataset";
inline constexpr std::string_view EmptyDataset = "Cannot perform this operation on an empty dataset";
inline constexpr std::string_view ClosedDataset = "Cannot perform this operation on a closed dataset";
inline constexpr std::string_view FieldNotFound = "Field '%s' not found";
inline constexpr std::string_view BlobInLocate = "Blob field '%s' not allowed in locate or lookup";
inline constexpr std::string_view MissingTableName = "Missing table name";
inline constexpr std::string_view CreateHandleFailed = "Error creating table handle";
inline constexpr std::string_view NotEditing = "Table is not in edit or insert mode";
inline constexpr std::string_view NoLocateFields = "No fields specified for locate";
inline constexpr std::string_view TooManyLocateFields = "Too many fields for locate";
} // namespace msg

class EngineError : public std::exception {
public:
    // message: the finished message (pattern already filled in), UTF-8.
    EngineError(unsigned code, std::string message);

    // The pattern of code with subject (a table name or a database folder) for every "%s".
    // Codes with two names (9729, 9732) take them through their own builders below.
    static EngineError make(unsigned code, std::string_view subject);
    // 9729: index name, then table name.
    static EngineError duplicateKey(std::string_view indexName, std::string_view table);
    // 9732: field name, then table name.
    static EngineError requiredValue(std::string_view fieldName, std::string_view table);
    // An operating-system error met while opening or creating a file of table, mapped by
    // engineCodeForOsError (11047 carries the error number).
    static EngineError fromOsError(OsError error, std::string_view table);

    unsigned code() const noexcept { return code_; }
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    unsigned code_;
    std::string message_;
    std::string text_;
};

class CursorError : public std::exception {
public:
    explicit CursorError(std::string text) : text_(std::move(text)) {}
    // "%s: %s" with the object name in front; the message alone when the name is empty.
    static CursorError onBehalfOf(std::string_view objectName, std::string_view message);

    const std::string& text() const noexcept { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// The message pattern of an engine error code; empty for a code the engine does not raise.
std::string_view engineMessagePattern(unsigned code);

// The engine error code for an operating-system error met while opening or creating a file.
unsigned engineCodeForOsError(OsError error);

// Replaces each "%s" of pattern, in order, with the next argument.
std::string fillPattern(std::string_view pattern, std::initializer_list<std::string_view> args);

} // namespace fatura::engine
