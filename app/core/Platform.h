#pragma once

#include "Arealis/Precision.h"
#include "Colour.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Orvista
{

class CSetOperationDlg;

// The caption of the program's message boxes and its main window title.
inline constexpr const char* ApplicationTitle = "Arealis Demo";

enum class MessageBoxKind
{
    Ok,            // plain message, OK button
    OkCancelError, // error icon, OK and Cancel buttons
    Exclamation,   // warning icon, OK button
    Information,   // information icon, OK button
};

enum class BoxAnswer
{
    Ok,
    Cancel,
};

enum class DialogResult
{
    Ok,
    Cancel,
};

// What the document, the views and the dialogs need from the desktop: modal boxes and
// dialogs, the wait cursor and a clock. Everything else reaches the window system through the
// canvas, the view window, the combo lists and the layer tree.
class IPlatform
{
public:
    IPlatform() = default;
    IPlatform(const IPlatform&) = delete;
    IPlatform& operator=(const IPlatform&) = delete;
    virtual ~IPlatform() = default;

    virtual BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                     MessageBoxKind kind) = 0;

    // An open-file dialog for an existing file. The filter lists pairs of a description and a
    // pattern, each followed by '|' and the whole ended by another '|' ("Shape Files|*.shp||").
    // Returns the full path, or nothing when the user cancels.
    virtual std::optional<std::string> AskOpenFileName(const std::string& filter) = 0;

    // A save-file dialog with the same filter; the platform does not ask about an existing
    // file (the caller does). Nothing when the user cancels.
    virtual std::optional<std::string> AskSaveFileName(const std::string& /*filter*/)
    {
        return std::nullopt;
    }
    // A list of choices under a prompt; the index of the one chosen, nothing on cancel.
    virtual std::optional<std::size_t> AskChoice(const std::string& /*prompt*/,
                                                 const std::vector<std::string>& /*choices*/)
    {
        return std::nullopt;
    }

    // The precision dialog of a layer: node grid step and tolerance, starting at current, with
    // the defaults for degrees and for metres to choose from. Nothing when the user cancels;
    // the caller checks the values.
    virtual std::optional<Arealis::Precision> AskPrecision(const std::string& /*layerName*/,
                                                           const Arealis::Precision& /*current*/)
    {
        return std::nullopt;
    }

    // A colour dialog starting at initial; nothing when the user cancels.
    virtual std::optional<Colour> AskColour(Colour initial) = 0;

    // The wait cursor; calls nest.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Milliseconds of a steady clock; wraps around, so durations are unsigned differences.
    virtual std::uint32_t TickCount() = 0;
    // Microseconds of the same steady clock, at the clock's real resolution; durations of
    // small operations are measured with it. Without a finer clock, the milliseconds.
    virtual std::uint64_t TickMicroseconds() { return std::uint64_t{TickCount()} * 1000; }
    // A short message in the main window's status bar, replacing the previous one; it says what
    // an action did or why it did nothing.
    virtual void ShowStatusText(const std::string& /*text*/) {}

    // Shows the set-operation dialog modally; the dialog object holds its logic.
    virtual DialogResult RunSetOperationDialog(CSetOperationDlg& dialog) = 0;

    // A progress bar for long operations (in the status bar), shown from BeginProgress to
    // EndProgress; SetProgress moves it to done of total and draws it at once. A platform
    // without one ignores the calls.
    virtual void BeginProgress() {}
    virtual void SetProgress(std::int64_t /*done*/, std::int64_t /*total*/) {}
    virtual void EndProgress() {}
};

// Shows the wait cursor for its lifetime.
class WaitCursor
{
public:
    explicit WaitCursor(IPlatform& platform) : m_platform(platform)
    {
        m_platform.BeginWaitCursor();
    }
    ~WaitCursor() { m_platform.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    IPlatform& m_platform;
};

} // namespace Orvista
