#include "DataFile.h"
#include "EngineError.h"
#include "IndexFile.h"
#include "Names.h"
#include "TableTools.h"

#include <stdexcept>

namespace fatura::engine {

void createTable(const std::string& folder, const std::string& tableName, const TableDefinition& definition, Env* env)
{
    Env& e = env ? *env : *Env::defaultEnv();
    const std::string name = names::bareTableName(tableName);
    if (name.empty())
        throw CursorError(std::string(msg::MissingTableName));
    if (const std::string problem = checkDefinition(definition); !problem.empty())
        throw std::invalid_argument(problem);
    const std::string base = names::folderPath(folder) + name;

    // Neither file may exist; both are checked before either is made.
    FileAttributes attributes;
    for (const char* extension : {".dat", ".idx"}) {
        if (e.attributes(base + extension, attributes) == 0)
            throw EngineError::make(errc::AccessDenied, name);
    }
    std::unique_ptr<File> index;
    if (const OsError error = e.open(base + ".idx", Access::ReadWrite, Share::Exclusive, Disposition::CreateNew, index))
        throw EngineError::fromOsError(error, name);
    IndexFile::writeNew(*index, definition.primaryIndex, definition.secondaryIndexes, name);
    // The data file last: a table exists once its data file does.
    std::unique_ptr<File> data;
    if (const OsError error = e.open(base + ".dat", Access::ReadWrite, Share::Exclusive, Disposition::CreateNew, data))
        throw EngineError::fromOsError(error, name);
    DataFile::writeNew(*data, definition, e.localTimeDays(), name);
    if (data->sync() != 0 || index->sync() != 0)
        throw EngineError::make(errc::WriteFailed, name);
}

} // namespace fatura::engine
