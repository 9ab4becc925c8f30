#include "platform/system_file.h"

#include <system_error>

namespace cablemeter {

bool SystemFile::isOpen() const
{
    return m_handle != kNoHandle;
}

bool makeFolders(const QString& path, QString& reason)
{
    std::error_code error;
    std::filesystem::create_directories(filesystemPath(path), error);
    if (!error)
        return true;
    reason = QString::fromLocal8Bit(error.message());
    return false;
}

} // namespace cablemeter
