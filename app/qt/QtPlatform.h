#pragma once

#include "Platform.h"

#include <QPointer>
#include <QProgressBar>
#include <QString>

class QWidget;

namespace Orvista
{

// "Shape Files|*.shp||" -> "Shape Files (*.shp)": a filter of description and pattern pairs
// separated by '|' in the notation of a file dialog filter ("name (patterns);;name (patterns)").
QString ToFileDialogFilter(const std::string& filter);

// The desktop platform: Qt's message boxes and standard dialogs, the override cursor and a
// steady clock. The boxes and dialogs are parented to the window given by SetMainWindow.
class QtPlatform : public IPlatform
{
public:
    void SetMainWindow(QWidget* pWindow) { m_pMainWindow = pWindow; }

    BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                             MessageBoxKind kind) override;
    std::optional<std::string> AskOpenFileName(const std::string& filter) override;
    // Does not ask about an existing file (the caller does); a name without an ending gets the
    // ending of the chosen filter.
    std::optional<std::string> AskSaveFileName(const std::string& filter) override;
    std::optional<std::size_t> AskChoice(const std::string& prompt,
                                         const std::vector<std::string>& choices) override;
    std::optional<Colour> AskColour(Colour initial) override;
    std::optional<Arealis::Precision> AskPrecision(const std::string& layerName,
                                                   const Arealis::Precision& current) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    std::uint32_t TickCount() override;
    std::uint64_t TickMicroseconds() override;
    // In the main window's status bar, until the next message.
    void ShowStatusText(const std::string& text) override;
    DialogResult RunSetOperationDialog(CSetOperationDlg& dialog) override;
    // A bar at the right of the main window's status bar.
    void BeginProgress() override;
    void SetProgress(std::int64_t done, std::int64_t total) override;
    void EndProgress() override;

    // The bar while it is shown, else null.
    QProgressBar* ProgressBar() const { return m_pProgressBar; }

protected:
    QWidget* MainWindow() const { return m_pMainWindow; }

private:
    QWidget* m_pMainWindow = nullptr;
    int m_waitCursorDepth = 0;
    QPointer<QProgressBar> m_pProgressBar;
};

} // namespace Orvista
