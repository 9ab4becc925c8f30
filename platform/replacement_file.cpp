#include "platform/replacement_file.h"

#include "platform/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

namespace cablemeter {

namespace {

// Names taken by chance are tried again with other random names this many times.
constexpr int kNameAttempts = 16;
constexpr int kNameBase = 36;

const QString kNameTaken = QStringLiteral("something of that name is already there");

// A hidden name beside the target, unlikely to be taken: ".MeterDat.dat.k3j9a1.part".
QString temporaryNameFor(const QString& target)
{
    const QFileInfo info(target);
    const QString suffix =
        QString::number(QRandomGenerator::global()->generate(), kNameBase).right(6);
    return info.absoluteDir().filePath(QStringLiteral(".%1.%2.part").arg(info.fileName(), suffix));
}

bool isTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

ReplacementFile::ReplacementFile(QString path, Existing existing)
    : m_path(std::move(path)), m_existing(existing)
{
}

ReplacementFile::~ReplacementFile()
{
    discard();
}

bool ReplacementFile::open(QString& reason)
{
    if (std::optional<QString> refusal = refusalToReplace(m_path)) {
        reason = *refusal;
        return false;
    }
    const QFileInfo name(m_path);
    const bool replacing = isTaken(m_path);
    if (replacing && m_existing == Existing::Keep) {
        reason = kNameTaken;
        return false;
    }
    // Only a link to a regular file gets this far: its target is what the user means.
    m_target = name.isSymbolicLink() ? name.canonicalFilePath() : m_path;
    if (replacing && !mayWriteExisting(m_target, reason))
        return false;

    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        m_temporaryPath = temporaryNameFor(m_target);
        if (m_file.createNew(m_temporaryPath, reason))
            break;
        if (m_file.openFailure() != SystemFile::OpenFailure::NameTaken) {
            m_folderTakesNoNewFile = m_file.openFailure() == SystemFile::OpenFailure::NotAllowed;
            m_temporaryPath.clear();
            return false;
        }
    }
    if (!m_file.isOpen()) {
        m_temporaryPath.clear();
        return false;
    }
    if (replacing)
        m_file.takePermissionsOf(m_target);
    return true;
}

bool ReplacementFile::reserve(std::int64_t size, QString& reason)
{
    if (!m_file.reserve(size, reason)) {
        discard();
        return false;
    }
    m_reserved = std::max(m_reserved, size);
    return true;
}

bool ReplacementFile::write(QByteArrayView bytes, QString& reason)
{
    if (!m_file.write(bytes, reason)) {
        discard();
        return false;
    }
    m_written += bytes.size();
    return true;
}

bool ReplacementFile::commit(QString& reason)
{
    // Room reserved beyond what was written is given back.
    const bool complete = (m_reserved <= m_written || m_file.truncate(m_written, reason)) &&
                          m_file.sync(reason) && m_file.close(reason);
    if (!complete) {
        discard();
        return false;
    }
    // Something other than a file may have taken the name while this one was written.
    if (std::optional<QString> refusal = refusalToReplace(m_path)) {
        reason = *refusal;
        discard();
        return false;
    }
    if (!moveIntoPlace(m_temporaryPath, m_target, m_existing == Existing::Replace, reason)) {
        if (m_existing == Existing::Keep && isTaken(m_target))
            reason = kNameTaken;
        discard();
        return false;
    }
    m_temporaryPath.clear();
    return true;
}

void ReplacementFile::discard()
{
    if (m_file.isOpen()) {
        QString ignored; // the file goes anyway
        m_file.close(ignored);
    }
    if (!m_temporaryPath.isEmpty())
        QFile::remove(m_temporaryPath);
    m_temporaryPath.clear();
}

} // namespace cablemeter
