#include "collect/CollectRun.h"

#include "collect/ImapMailbox.h"
#include "collect/ImapPassword.h"
#include "collect/OrderAcknowledgement.h"
#include "collect/OrderExtractor.h"
#include "collect/OrderWriter.h"
#include "game/OrderCheck.h"
#include "game/OrderFiles.h"
#include "mail/MailMessage.h"
#include "platform/Digest.h"
#include "platform/UserInterface.h"
#include "send/BusyGuard.h"
#include "send/ConnectionSettings.h"
#include "send/DeliveryLedger.h"
#include "send/PlayerAttempt.h"
#include "send/PlayerVerdict.h"
#include "send/RunLock.h"
#include "send/SendSession.h"

#include <map>
#include <memory>

namespace turnpost {

namespace {

/// One file of a message that reads as a game file, and what the checks made of it.
struct JudgedFile
{
    CollectedOrder Order;
    OrderCheck::Verdict Verdict = OrderCheck::NotOrders;
    std::string Bytes; ///< kept while it may still be written
};

/// One message of the collect folder as the first pass left it.
struct JudgedMessage
{
    std::uint32_t Uid = 0;
    bool Read = false;
    std::string Problem; ///< why it could not be read, when Read is false
    bool FetchFailed = false;
    std::string From;
    std::string MessageId;
    std::vector<JudgedFile> Files;
    std::vector<std::string> Notes; ///< files seen but not taken out (a damaged uuencoded block)
};

JudgedMessage JudgeMessage(CImapMailbox& mailbox, const std::string& folder, std::uint32_t uid,
                           const GameFileHeader& host)
{
    JudgedMessage judged;
    judged.Uid = uid;
    const ImapMessage fetched = mailbox.Fetch(folder, uid);
    if (!fetched.Ok) {
        judged.FetchFailed = true;
        judged.Problem = fetched.Error;
        return judged;
    }
    const ExtractedMessage message = COrderExtractor().Extract(fetched.Bytes);
    if (!message.Ok) {
        judged.Problem = message.Error;
        return judged;
    }
    judged.Read = true;
    judged.From = message.From;
    judged.MessageId = message.MessageId;
    judged.Notes = message.Notes;
    for (const MessageFile& file : message.Files) {
        // A file without a game header (a note, a picture) is no business of the collection.
        if (!ParseGameFileHeader(file.Bytes))
            continue;
        const OrderCheck check = CheckOrderFile(file.Bytes, file.Name, host);
        JudgedFile entry;
        entry.Verdict = check.verdict;
        entry.Order.result =
            check.verdict == OrderCheck::Accepted ? CollectedOrder::Taken : CollectedOrder::Refused;
        entry.Order.PlayerIndex = check.PlayerIndex;
        entry.Order.FileName = file.Name;
        entry.Order.Size = file.Bytes.size();
        entry.Order.Sha256 = Sha256Hex(file.Bytes);
        entry.Order.Sender = message.From;
        entry.Order.MessageId = message.MessageId;
        entry.Order.Reason = check.Reason;
        entry.Order.Uid = uid;
        if (check.verdict == OrderCheck::Accepted)
            entry.Bytes = file.Bytes;
        judged.Files.push_back(std::move(entry));
    }
    return judged;
}

/// The newest message wins: every accepted order but the last one (in UID order) of its player is
/// replaced by that one.
void MarkReplaced(std::vector<JudgedMessage>& messages)
{
    std::map<int, const JudgedFile*> newest;
    for (const JudgedMessage& message : messages)
        for (const JudgedFile& file : message.Files)
            if (file.Order.result == CollectedOrder::Taken)
                newest[file.Order.PlayerIndex] = &file;
    for (JudgedMessage& message : messages)
        for (JudgedFile& file : message.Files)
            if (file.Order.result == CollectedOrder::Taken && newest[file.Order.PlayerIndex] != &file) {
                file.Order.result = CollectedOrder::Replaced;
                file.Order.Reason = "replaced by the orders in message " +
                                    std::to_string(newest[file.Order.PlayerIndex]->Order.Uid);
                file.Bytes.clear();
            }
}

const char* ResultWord(CollectedOrder::Result result)
{
    switch (result) {
    case CollectedOrder::Taken:
        return "taken";
    case CollectedOrder::Replaced:
        return "replaced";
    case CollectedOrder::Refused:
        break;
    }
    return "refused";
}

std::string FileLine(const CollectedOrder& order)
{
    std::string line = order.FileName + ": " + ResultWord(order.result);
    if (order.result == CollectedOrder::Taken)
        line += " for player " + std::to_string(order.PlayerIndex + 1);
    else
        line += " (" + order.Reason + ")";
    return line;
}

/// "Orders in: 5 of 7; missing: players 2, 6", over the selected players.
std::string OrdersSummary(const GameSetup& setup, const std::array<bool, PlayerCount>& in)
{
    int selected = 0;
    int present = 0;
    std::vector<int> missing;
    for (int index = 0; index < PlayerCount; ++index) {
        if (!setup.Players[static_cast<std::size_t>(index)].Selected)
            continue;
        ++selected;
        if (in[static_cast<std::size_t>(index)])
            ++present;
        else
            missing.push_back(index + 1);
    }
    std::string summary = "Orders in: " + std::to_string(present) + " of " + std::to_string(selected);
    if (!missing.empty()) {
        summary += missing.size() == 1 ? "; missing: player " : "; missing: players ";
        for (std::size_t i = 0; i < missing.size(); ++i)
            summary += (i == 0 ? "" : ", ") + std::to_string(missing[i]);
    }
    return summary;
}

/// Adds a line to the outcome and shows it where the front end lists results as they come.
void Tell(CollectOutcome& outcome, IProgressWindow& progress, const std::string& line)
{
    outcome.Lines.push_back(PrintableLine(line));
    progress.ShowResult(outcome.Lines.back() + "\n");
}

/// What the replies of one collection are made of: per sender, the results of his orders.
struct PendingReply
{
    std::string Sender;
    std::string MessageId; ///< of his newest message
    std::vector<CollectedOrder> Orders;
};

void SendReplies(GameDocument& document, IUserInterface& ui, IProgressWindow& progress,
                 const std::vector<PendingReply>& replies, std::uint16_t year, CollectOutcome& outcome)
{
    const GameSetup& setup = document.Setup;
    if (replies.empty())
        return;
    if (setup.SmtpServer.empty()) {
        Tell(outcome, progress, "No acknowledgement sent: no SMTP server specified");
        return;
    }
    if (setup.ReturnAddress.empty()) {
        Tell(outcome, progress, "No acknowledgement sent: no return address");
        return;
    }
    // Asked here, on the caller's thread: the password dialog must not open from the work.
    const ConnectionSettings connection = ConnectionSettings::ForRun(document, ui, true);
    CSendSession session(connection);
    progress.PumpMessages();
    for (const PendingReply& reply : replies) {
        CMailMessage message;
        const AcknowledgementText text = MakeAcknowledgement(document, reply.Orders, year);
        message.From = CMailAddress::FromMailbox(setup.ReturnAddress);
        message.AddRecipient(CMailAddress(reply.Sender));
        message.Subject = text.Subject;
        message.SetBody(text.Body);
        message.InReplyTo = reply.MessageId;
        std::string error;
        bool sent = false;
        progress.RunWork([&] { sent = session.Deliver(message, error, "the reply to " + reply.Sender); });
        if (!sent)
            Tell(outcome, progress, "Acknowledgement to " + reply.Sender + " not sent: " + error);
    }
    session.Close();
    session.ForgetRefusedPassword(ui);
}

/// The second pass: each judged message's orders go to disk, into the ledger and the reply to its
/// sender, and the message into its folder.
class CFiling
{
public:
    /// host: the host file's header the messages were judged against.
    CFiling(const GameDocument& document, const GameFileHeader& host, CImapMailbox& mailbox,
            IProgressWindow& progress, CollectOutcome& outcome)
        : m_Setup(document.Setup), m_Host(host), m_Mailbox(mailbox), m_Progress(progress), m_Outcome(outcome),
          m_Ledger(document)
    {
    }

    void File(JudgedMessage& message);

    const std::vector<PendingReply>& Replies() const { return m_Replies; }
    const std::string& LedgerError() const { return m_Ledger.Error(); }

private:
    void Fail(const std::string& error)
    {
        if (m_Outcome.Error.empty())
            m_Outcome.Error = error;
    }
    /// Writes the message's winning orders; why one could not be written, else empty.
    std::string WriteOrders(const JudgedMessage& message, std::vector<std::string>& warnings) const;
    void Record(const JudgedFile& file);
    /// Moves the message, creating the folder on first use; the error, else empty.
    std::string Move(std::uint32_t uid, const std::string& target);
    void QueueReply(const JudgedMessage& message);

    /// Why the judgements no longer hold (the host began a turn since), else empty.
    std::string HostChange() const;

    const GameSetup& m_Setup;
    const GameFileHeader& m_Host;
    CImapMailbox& m_Mailbox;
    IProgressWindow& m_Progress;
    CollectOutcome& m_Outcome;
    CDeliveryLedger m_Ledger;
    std::map<std::string, bool> m_FolderReady;
    std::vector<PendingReply> m_Replies;
    std::map<std::string, std::size_t> m_ReplyOf;
};

void CFiling::File(JudgedMessage& message)
{
    std::string line = "Message " + std::to_string(message.Uid);
    if (!message.From.empty())
        line += " from " + message.From;
    line += ": ";
    const std::string leftAlone = "; left in " + m_Setup.CollectFolder;
    if (!message.Read) {
        Tell(m_Outcome, m_Progress, line + "could not be read (" + message.Problem + ")" + leftAlone);
        // A message the server would not hand over may hold orders; one that is no mail message does not.
        if (message.FetchFailed)
            Fail("Message " + std::to_string(message.Uid) + " could not be fetched: " + message.Problem);
        return;
    }
    if (message.Files.empty()) {
        std::string notes;
        for (const std::string& note : message.Notes)
            notes += (notes.empty() ? " (" : "; ") + note;
        Tell(m_Outcome, m_Progress, line + "no order file" + (notes.empty() ? "" : notes + ")") + leftAlone);
        return;
    }

    // A turn generated while the messages were read makes their verdicts stale, either way: the
    // message waits for a collection that judges it against the new turn.
    if (const std::string change = HostChange(); !change.empty()) {
        Tell(m_Outcome, m_Progress, line + "not judged (" + change + ")" + leftAlone);
        return;
    }

    // The orders go to disk before anything is said of them or the message leaves the collect folder:
    // one that cannot be written leaves the whole message for the next collection.
    std::vector<std::string> warnings;
    if (const std::string error = WriteOrders(message, warnings); !error.empty()) {
        Tell(m_Outcome, m_Progress, line + "not taken (" + error + ")" + leftAlone);
        Fail(error);
        return;
    }
    bool accepted = false;
    bool busyHost = false;
    for (std::size_t i = 0; i < message.Files.size(); ++i) {
        const JudgedFile& file = message.Files[i];
        accepted = accepted || file.Order.result != CollectedOrder::Refused;
        busyHost = busyHost || file.Verdict == OrderCheck::HostBusy;
        line += (i == 0 ? "" : "; ") + FileLine(file.Order);
        Record(file);
    }

    // Orders refused only because the host was generating the turn are taken by a later collection.
    const std::string target = accepted   ? m_Setup.ProcessedFolder
                               : busyHost ? std::string()
                                          : m_Setup.RejectedFolder;
    if (target.empty()) {
        line += leftAlone;
    } else if (const std::string error = Move(message.Uid, target); error.empty()) {
        line += "; moved to " + target;
    } else {
        line += "; not moved to " + target + " (" + error + ")";
        Fail("Message " + std::to_string(message.Uid) + " could not be moved to " + target + ": " + error);
    }
    Tell(m_Outcome, m_Progress, line);
    for (const std::string& warning : warnings)
        Tell(m_Outcome, m_Progress, warning);
    QueueReply(message);
}

std::string CFiling::HostChange() const
{
    const HostFileState now = ReadHostFileState(m_Setup.UniverseFile);
    if (!now.Ok)
        return now.Error;
    if (now.Header.GameId != m_Host.GameId || now.Header.Turn != m_Host.Turn)
        return now.Path + " changed during the collection";
    return {};
}

std::string CFiling::WriteOrders(const JudgedMessage& message, std::vector<std::string>& warnings) const
{
    for (const JudgedFile& file : message.Files) {
        if (file.Order.result != CollectedOrder::Taken)
            continue;
        const OrderWrite written =
            WriteOrderFile(OrderFilePath(m_Setup.UniverseFile, file.Order.PlayerIndex), file.Bytes);
        if (!written.Ok)
            return written.Error;
        const PlayerSlot& slot = m_Setup.Players[static_cast<std::size_t>(file.Order.PlayerIndex)];
        if (slot.EmailAddress.empty() && slot.PlayerFile.empty())
            warnings.push_back("Warning: player " + std::to_string(file.Order.PlayerIndex + 1) +
                               " has an empty slot in the setup; his orders were taken all the same");
    }
    return {};
}

void CFiling::Record(const JudgedFile& file)
{
    OrderRecord record;
    record.Time = AttemptTime();
    record.Year = m_Outcome.Year;
    record.Player = file.Order.PlayerIndex + 1;
    record.File = file.Order.FileName;
    record.Size = file.Order.Size;
    record.Sha256 = file.Order.Sha256;
    record.Sender = file.Order.Sender;
    record.MessageId = file.Order.MessageId;
    record.Result = ResultWord(file.Order.result);
    record.Reason = file.Order.Reason;
    m_Ledger.RecordOrder(record);
    m_Outcome.Orders.push_back(file.Order);
}

std::string CFiling::Move(std::uint32_t uid, const std::string& target)
{
    ImapResult moved;
    bool& ready = m_FolderReady[target];
    m_Progress.RunWork([&] {
        if (!ready) {
            moved = m_Mailbox.CreateFolder(target);
            ready = moved.Ok;
            if (!moved.Ok)
                return;
        }
        moved = m_Mailbox.Move(m_Setup.CollectFolder, uid, target);
    });
    return moved.Ok ? std::string() : moved.Error;
}

void CFiling::QueueReply(const JudgedMessage& message)
{
    // Nobody is answered at an address mail cannot go to.
    if (!m_Setup.AcknowledgeOrders || message.From.find('@') == std::string::npos ||
        !AddressProblem(message.From).empty())
        return;
    const auto [at, added] = m_ReplyOf.emplace(message.From, m_Replies.size());
    if (added)
        m_Replies.push_back({message.From, {}, {}});
    PendingReply& reply = m_Replies[at->second];
    reply.MessageId = message.MessageId;
    for (const JudgedFile& file : message.Files)
        reply.Orders.push_back(file.Order);
}

} // namespace

CollectOutcome OnCollect(GameDocument& document, IUserInterface& ui)
{
    CollectOutcome outcome;
    ui.View().GatherRows();
    const GameSetup& setup = document.Setup;
    const auto fail = [&](const std::string& error) {
        outcome.Error = "Orders not collected: " + error;
        return outcome;
    };
    if (setup.CollectServer.empty())
        return fail("no mailbox server specified");
    // Every mailbox wants a login; asking a password for nobody would only puzzle the host.
    if (setup.CollectUser.empty())
        return fail("no mailbox user specified");
    if (setup.CollectSecurity < 0 || setup.CollectSecurity > 2)
        return fail("the mailbox security " + std::to_string(setup.CollectSecurity) +
                    " is unknown (0 none, 1 STARTTLS, 2 TLS)");

    // A send and a collection of the same game must not overlap, nor two collections.
    CRunLock runLock;
    if (runLock.Take(document) == CRunLock::Result::HeldElsewhere)
        return fail(document.FilePath + " is being sent or collected by another run");
    const HostFileState host = ReadHostFileState(setup.UniverseFile);
    if (!host.Ok)
        return fail(host.Error);
    outcome.Year = host.Header.Year();

    BusyGuard busy(ui);
    std::string passwordError;
    bool askedOfUser = false;
    const auto secret =
        ObtainImapPassword(setup, CollectCommandSource(document), ui, passwordError, &askedOfUser);
    if (!secret)
        return fail(passwordError);

    const auto progress = ui.CreateProgressWindow("Collecting orders");
    progress->SetRange(1, 1);
    progress->SetText("Opening the mailbox...");
    progress->PumpMessages();

    // Opened once: a refused login is reported, never tried again in the same collection.
    CImapMailbox mailbox(CollectSettings(setup, *secret));
    ImapUids uids;
    progress->RunWork([&] { uids = mailbox.ListUids(setup.CollectFolder); });
    if (!uids.Ok) {
        // A password the user gave and the server refused must not be handed out again.
        if (askedOfUser && uids.Error.find("refused the login") != std::string::npos)
            ui.ForgetPassword(ImapPasswordAccount(setup));
        return fail(uids.Error);
    }
    outcome.Ran = true;

    const std::size_t count = uids.Uids.size();
    progress->SetRange(static_cast<int>(2 * count + 1), 1);
    const auto cancelledAt = [&](const std::string& text) {
        progress->SetText(text);
        progress->StepIt();
        progress->PumpMessages();
        outcome.Cancelled = outcome.Cancelled || progress->IsCancelled();
        return outcome.Cancelled;
    };
    const auto ofCount = [&](std::size_t i) {
        return std::to_string(i + 1) + " of " + std::to_string(count);
    };

    // First every message is read and judged, nothing changed: the newest orders of each player are
    // only known once all were seen, and a Cancel here leaves the mailbox and the folder as they were.
    std::vector<JudgedMessage> messages;
    for (std::size_t i = 0; i < count; ++i) {
        if (cancelledAt("Reading message " + ofCount(i) + "..."))
            break;
        JudgedMessage judged;
        progress->RunWork(
            [&] { judged = JudgeMessage(mailbox, setup.CollectFolder, uids.Uids[i], host.Header); });
        messages.push_back(std::move(judged));
    }
    if (outcome.Cancelled) {
        Tell(outcome, *progress, "Cancelled: nothing was collected");
    } else {
        MarkReplaced(messages);
        CFiling filing(document, host.Header, mailbox, *progress, outcome);
        for (std::size_t i = 0; i < count; ++i) {
            if (cancelledAt("Filing message " + ofCount(i) + "...")) {
                Tell(outcome, *progress,
                     "Cancelled: " + std::to_string(count - i) + (count - i == 1 ? " message" : " messages") +
                         " left in " + setup.CollectFolder);
                break;
            }
            filing.File(messages[i]);
        }
        if (!filing.LedgerError().empty()) {
            Tell(outcome, *progress, "The ledger could not be written: " + filing.LedgerError());
            if (outcome.Error.empty())
                outcome.Error = "The ledger could not be written: " + filing.LedgerError();
        }
        // Those whose messages were filed are answered even after a Cancel: nothing would answer them
        // later.
        progress->Finish(filing.Replies().empty() ? "Counting the orders..." : "Acknowledging the orders...");
        SendReplies(document, ui, *progress, filing.Replies(), outcome.Year, outcome);
    }

    // Counted from the folder, so that orders that came by other means count as well.
    const OrdersInFolder found = FindOrdersInFolder(setup.UniverseFile);
    for (std::size_t index = 0; index < PlayerCount; ++index)
        outcome.OrdersIn[index] = found.Players[index].In;
    outcome.Summary = OrdersSummary(setup, outcome.OrdersIn);
    Tell(outcome, *progress, outcome.Summary);
    return outcome;
}

} // namespace turnpost
