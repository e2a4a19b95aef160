#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace turnpost {

enum class MessageButtons
{
    Ok,
    YesNoCancel
};
enum class MessageIcon
{
    None,
    Exclamation,
    Question,
    Stop
};
enum class MessageAnswer
{
    Ok,
    Yes,
    No,
    Cancel
};

/// The status window of long work: a status text, a bar with a percentage, and Cancel.
/// The caller drives it between steps; PumpMessages lets the windows breathe there, and RunWork keeps
/// them breathing during one step that blocks.
class IProgressWindow
{
public:
    virtual ~IProgressWindow() = default;
    virtual void SetRange(int upperBound, int step) = 0;
    /// Shows the text as the status line (already formatted by the caller).
    virtual void SetText(const std::string& text) = 0;
    /// Moves the bar by one step; returns the previous position.
    virtual int StepIt() = 0;
    /// Moves the bar; returns the previous position.
    virtual int SetPos(int position) = 0;
    /// Handles what has piled up (repaints, Cancel) and returns at once when nothing is waiting.
    virtual void PumpMessages() = 0;
    /// Waits up to the given time while staying responsive; returns early when cancelled.
    virtual void PumpFor(int milliseconds) = 0;
    virtual bool IsCancelled() const = 0;
    /// The run is past what Cancel could stop (its report is being written and mailed): shows text as
    /// the status line and no longer offers Cancel.
    virtual void Finish(const std::string& text) { SetText(text); }
    /// The outcome line of one finished step (a player's result); shown where a front end lists them.
    virtual void ShowResult(const std::string& line) { (void)line; }
    /// Runs one step of blocking work (the mailing of one player) and returns when it has ended. A
    /// desktop runs it on a worker thread and keeps handling events meanwhile (repaints, Cancel, which
    /// only takes effect once the step is over); the console and the tests run it right here. So the
    /// work must not touch this window, the IUserInterface or any toolkit object, and must leave
    /// everything it reads unchanged until it ends.
    virtual void RunWork(const std::function<void()>& work) { work(); }
};

/// Where a secret is sent: the server, its security as the host names it ("STARTTLS"), and the user it
/// logs in as. An approved password command gives its secret to this place and no other.
struct SecretDestination
{
    std::string Server;
    std::string Security;
    std::string User;

    bool operator==(const SecretDestination&) const = default;
};

/// Everything the logic asks of the person at the screen, and of the main window that shows the
/// setup. Qt answers in the desktop program, the console in a headless run, a script in tests.
class IUserInterface
{
public:
    virtual ~IUserInterface() = default;

    /// A modal message. An empty caption means the application title.
    virtual MessageAnswer MessageBox(const std::string& text, const std::string& caption = {},
                                     MessageButtons buttons = MessageButtons::Ok,
                                     MessageIcon icon = MessageIcon::None) = 0;

    /// File dialogs. The filter reads "Description (*.ext)|*.ext||"; the default extension is added to
    /// a typed name without one. No existence check and no overwrite prompt. nullopt when cancelled.
    virtual std::optional<std::string> OpenFileDialog(const std::string& filter,
                                                      const std::string& defaultExt) = 0;
    virtual std::optional<std::string> SaveFileDialog(const std::string& filter,
                                                      const std::string& defaultExt) = 0;
    /// An open dialog in which several existing files may be chosen at once; empty when cancelled.
    /// Front ends that choose one file at a time give that one.
    virtual std::vector<std::string> OpenFilesDialog(const std::string& filter)
    {
        if (auto one = OpenFileDialog(filter, {}))
            return {std::move(*one)};
        return {};
    }

    /// The program's help: shown on request, closed when the main window goes.
    virtual void ShowHelp() = 0;

    virtual std::unique_ptr<IProgressWindow> CreateProgressWindow(const std::string& title) = 0;

    /// Shows the text of a finished send run and waits until it is dismissed.
    virtual void ShowSummary(const std::string& text) = 0;

    /// Asks for the mail password of the given account; nullopt when refused. Implementations without
    /// a person to ask return nullopt.
    virtual std::optional<std::string> AskPassword(const std::string& account) = 0;
    /// The server refused the password AskPassword gave for the account: whatever kept it (a keyring)
    /// must not hand it out again, or every later run would fail the same way without asking.
    virtual void ForgetPassword(const std::string& account) { (void)account; }
    /// May the password command read from the setup file at setupPath run, to give the secret that goes
    /// to `to`? Asked before a send run mails anyone, once per command, file and destination: a yes is
    /// remembered. Without a person to ask the answer is no.
    virtual bool ApprovePasswordCommand(const std::string& command, const std::string& setupPath,
                                        const SecretDestination& to)
    {
        (void)command;
        (void)setupPath;
        (void)to;
        return false;
    }

    // The main window's view of the setup. Implementations without a window keep no rows of their
    // own, so these do nothing there.
    /// Stores the row texts and checks into the setup.
    virtual void GatherRows() = 0;
    /// Sets the row texts and checks from the setup.
    virtual void FillRows() = 0;
    /// Writes the whole window state into the controls.
    virtual void ShowState() = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    /// While a send run goes the main window takes no input (it still repaints).
    virtual void SetBusy(bool busy) = 0;
};

} // namespace turnpost
