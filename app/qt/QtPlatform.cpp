#include "QtPlatform.h"

#include "QtCanvas.h"
#include "SetOperationDialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <chrono>

namespace Orvista
{

namespace
{

// Shows the arrow instead of a wait cursor while the user answers a modal window.
class ArrowCursorWhileModal
{
public:
    explicit ArrowCursorWhileModal(bool waiting) : m_waiting(waiting)
    {
        if (m_waiting)
        {
            QApplication::setOverrideCursor(Qt::ArrowCursor);
        }
    }
    ~ArrowCursorWhileModal()
    {
        if (m_waiting)
        {
            QApplication::restoreOverrideCursor();
        }
    }
    ArrowCursorWhileModal(const ArrowCursorWhileModal&) = delete;
    ArrowCursorWhileModal& operator=(const ArrowCursorWhileModal&) = delete;

private:
    bool m_waiting;
};

QMessageBox::Icon IconOf(MessageBoxKind kind)
{
    switch (kind)
    {
    case MessageBoxKind::OkCancelError:
        return QMessageBox::Critical;
    case MessageBoxKind::Exclamation:
        return QMessageBox::Warning;
    case MessageBoxKind::Information:
        return QMessageBox::Information;
    case MessageBoxKind::Ok:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QString ToFileDialogFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    {
        if (parts[i].isEmpty())
        {
            break;
        }
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

BoxAnswer QtPlatform::ShowMessageBox(const std::string& text, const std::string& caption,
                                     MessageBoxKind kind)
{
    const ArrowCursorWhileModal arrow(m_waitCursorDepth > 0);
    const auto buttons = kind == MessageBoxKind::OkCancelError
                             ? QMessageBox::Ok | QMessageBox::Cancel
                             : QMessageBox::StandardButtons(QMessageBox::Ok);
    QMessageBox box(IconOf(kind), QString::fromStdString(caption), QString::fromStdString(text),
                    buttons, m_pMainWindow);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

std::optional<std::string> QtPlatform::AskOpenFileName(const std::string& filter)
{
    const ArrowCursorWhileModal arrow(m_waitCursorDepth > 0);
    const QString path = QFileDialog::getOpenFileName(m_pMainWindow, QStringLiteral("Open"),
                                                      QString(), ToFileDialogFilter(filter));
    if (path.isEmpty())
    {
        return std::nullopt;
    }
    return path.toStdString();
}

std::optional<Colour> QtPlatform::AskColour(Colour initial)
{
    const ArrowCursorWhileModal arrow(m_waitCursorDepth > 0);
    const QColor chosen = QColorDialog::getColor(ToQColor(initial), m_pMainWindow);
    if (!chosen.isValid())
    {
        return std::nullopt;
    }
    return FromQColor(chosen);
}

void QtPlatform::BeginWaitCursor()
{
    ++m_waitCursorDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPlatform::EndWaitCursor()
{
    if (m_waitCursorDepth > 0)
    {
        --m_waitCursorDepth;
        QApplication::restoreOverrideCursor();
    }
}

std::uint32_t QtPlatform::TickCount()
{
    const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

DialogResult QtPlatform::RunSetOperationDialog(CSetOperationDlg& dialog)
{
    const ArrowCursorWhileModal arrow(m_waitCursorDepth > 0);
    SetOperationDialog window(dialog, *this, m_pMainWindow);
    return window.exec() == QDialog::Accepted ? DialogResult::Ok : DialogResult::Cancel;
}

} // namespace Orvista
