#include "QtPlatform.h"

#include "PrecisionDialog.h"
#include "QtCanvas.h"
#include "SetOperationDialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStringList>
#include <algorithm>
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

std::optional<std::string> QtPlatform::AskSaveFileName(const std::string& filter)
{
    const ArrowCursorWhileModal arrow(m_waitCursorDepth > 0);
    QString selected;
    QString path = QFileDialog::getSaveFileName(m_pMainWindow, QStringLiteral("Export Layer"),
                                                QString(), ToFileDialogFilter(filter), &selected,
                                                QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
    {
        return std::nullopt;
    }
    if (QFileInfo(path).suffix().isEmpty())
    {
        const QRegularExpressionMatch ending =
            QRegularExpression(QStringLiteral("\\*(\\.\\w+)")).match(selected);
        if (ending.hasMatch())
        {
            path += ending.captured(1);
        }
    }
    return path.toStdString();
}

std::optional<std::size_t> QtPlatform::AskChoice(const std::string& prompt,
                                                 const std::vector<std::string>& choices)
{
    const ArrowCursorWhileModal arrow(m_waitCursorDepth > 0);
    QStringList items;
    for (const std::string& choice : choices)
    {
        items << QString::fromStdString(choice);
    }
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(m_pMainWindow, QString::fromLatin1(ApplicationTitle),
                              QString::fromStdString(prompt), items, 0, false, &ok);
    const qsizetype index = items.indexOf(chosen);
    if (!ok || index < 0)
    {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
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

std::optional<Arealis::Precision> QtPlatform::AskPrecision(const std::string& layerName,
                                                           const Arealis::Precision& current)
{
    const ArrowCursorWhileModal arrow(m_waitCursorDepth > 0);
    PrecisionDialog dialog(QString::fromStdString(layerName), current, m_pMainWindow);
    if (dialog.exec() != QDialog::Accepted)
    {
        return std::nullopt;
    }
    return dialog.Chosen();
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

std::uint64_t QtPlatform::TickMicroseconds()
{
    const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
}

void QtPlatform::ShowStatusText(const std::string& text)
{
    auto* pWindow = qobject_cast<QMainWindow*>(m_pMainWindow);
    if (pWindow != nullptr)
    {
        pWindow->statusBar()->showMessage(QString::fromStdString(text));
    }
}

DialogResult QtPlatform::RunSetOperationDialog(CSetOperationDlg& dialog)
{
    const ArrowCursorWhileModal arrow(m_waitCursorDepth > 0);
    SetOperationDialog window(dialog, *this, m_pMainWindow);
    return window.exec() == QDialog::Accepted ? DialogResult::Ok : DialogResult::Cancel;
}

namespace
{

// Steps of the bar: fine enough for a smooth bar, small enough for an int.
constexpr int ProgressSteps = 1000;

} // namespace

// The operation runs on this thread and returns to the event loop only when it is done, so
// the bar is laid out and drawn at once rather than through posted events.
void QtPlatform::BeginProgress()
{
    auto* pWindow = qobject_cast<QMainWindow*>(m_pMainWindow);
    if (pWindow == nullptr || m_pProgressBar != nullptr)
    {
        return;
    }
    QStatusBar* pStatusBar = pWindow->statusBar();
    m_pProgressBar = new QProgressBar(pStatusBar); // owned by the status bar
    m_pProgressBar->setRange(0, ProgressSteps);
    m_pProgressBar->setMaximumWidth(240);
    pStatusBar->addPermanentWidget(m_pProgressBar);
    m_pProgressBar->show();
    QCoreApplication::sendPostedEvents(pStatusBar, QEvent::LayoutRequest);
    pStatusBar->repaint();
}

void QtPlatform::SetProgress(std::int64_t done, std::int64_t total)
{
    if (m_pProgressBar == nullptr)
    {
        return;
    }
    const std::int64_t steps = total > 0 ? done * ProgressSteps / total : ProgressSteps;
    m_pProgressBar->setValue(static_cast<int>(std::clamp<std::int64_t>(steps, 0, ProgressSteps)));
    m_pProgressBar->repaint();
}

void QtPlatform::EndProgress()
{
    if (m_pProgressBar == nullptr)
    {
        return;
    }
    if (auto* pStatusBar = qobject_cast<QStatusBar*>(m_pProgressBar->parentWidget()))
    {
        pStatusBar->removeWidget(m_pProgressBar);
    }
    m_pProgressBar->hide();
    m_pProgressBar->deleteLater();
    m_pProgressBar = nullptr;
}

} // namespace Orvista
