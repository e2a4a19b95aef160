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

/// The main window's view of the setup, as the logic drives it. Where there is no window nothing
/// shows the setup, and the logic's calls change nothing.
class IDocumentView
{
public:
    virtual ~IDocumentView() = default;
    /// Stores the row texts and checks into the setup.
    virtual void GatherRows() = 0;
    /// Sets the row texts and checks from the setup.
    virtual void FillRows() = 0;
    /// Writes the whole window state into the controls.
    virtual void ShowState() = 0;
    /// Shows which file holds the setup ("Untitled" for none); the window puts it in its title.
    virtual void ShowFilePath(const std::string& path) = 0;
    /// While a send run goes the main window takes no input (it still repaints).
    virtual void SetBusy(bool busy) = 0;
};

/// Everything the logic asks of the person at the screen: messages, file dialogs, progress, the
/// password and the approval of a password command. Qt answers in the desktop program, the console
/// in a headless run, a script in tests. The view of the setup, when a window shows one, is reached
/// through View().
class IUserInterface
{
public:
    IUserInterface() = default;
    virtual ~IUserInterface() = default;
    // The view is attached by address: a copy would share it.
    IUserInterface(const IUserInterface&) = delete;
    IUserInterface& operator=(const IUserInterface&) = delete;

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

    /// The program's help: shown on request, closed when the main window goes. Front ends without a
    /// window have none to show.
    virtual void ShowHelp() {}

    virtual std::unique_ptr<IProgressWindow> CreateProgressWindow(const std::string& title) = 0;

    /// Shows the text of a finished send run and waits until it is dismissed.
    virtual void ShowSummary(const std::string& text) = 0;
    /// The same for another result to read (the check's, the delivery status), under its own title.
    virtual void ShowResults(const std::string& title, const std::string& text)
    {
        (void)title;
        ShowSummary(text);
    }

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

    /// The view of the setup: the window attached with AttachView, else one that shows nothing.
    IDocumentView& View() const { return m_View != nullptr ? *m_View : NoView(); }
    /// The main window attaches itself while it lives; nullptr detaches it.
    void AttachView(IDocumentView* view) { m_View = view; }

private:
    static IDocumentView& NoView()
    {
        class NoDocumentView final : public IDocumentView
        {
            void GatherRows() override {}
            void FillRows() override {}
            void ShowState() override {}
            void ShowFilePath(const std::string&) override {}
            void SetBusy(bool) override {}
        };
        static NoDocumentView none;
        return none;
    }

    IDocumentView* m_View = nullptr;
};

} // namespace turnpost
