#include "app/menu_task.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace cablemeter {

namespace {
constexpr int kProgressMaximum = 100;
}

QString shownPath(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

MenuTask::Running::Running(MenuTask& task, const QString& status)
    : m_task(task), m_busy(task.m_controls)
{
    m_task.m_running = true;
    m_task.m_cancelled = false;
    WindowControls& controls = m_task.m_controls;
    controls.setProgressVisible(true);
    controls.setProgressMaximum(kProgressMaximum);
    controls.setProgressValue(0);
    controls.setStatusText(status);
}

MenuTask::Running::~Running()
{
    m_task.m_running = false;
}

MenuTask::MenuTask(WindowControls& controls, TellDone tellDone)
    : m_controls(controls), m_tellDone(std::move(tellDone))
{
}

void MenuTask::showProgress(int done, int total)
{
    if (total > 0)
        m_controls.setProgressValue(kProgressMaximum * done / total);
}

void MenuTask::succeed(const QString& title, const QString& message)
{
    m_controls.setStatusText(title);
    m_tellDone(title, message);
}

void MenuTask::fail(const QString& title, const UserMessage& message)
{
    m_controls.setStatusText(title);
    m_controls.reportError(title, message);
}

} // namespace cablemeter
