// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ContentHash.h"
#include "backup/SftpAttributes.h"
#include "backup/SftpDestination.h"

#include "platform/Metadata.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace stowmere::backup {

using files::CopyOutcome;
using files::UniqueFd;
using sftp::codeOf;
using sftp::kindOf;
using sftp::secondsOf;
using sftp::validName;

namespace {

/// Data goes out in pieces of this size.
constexpr std::size_t kDataPiece = std::size_t{64} * 1024;
/// Data of one file in flight at once: a large file keeps the connection busy alone.
constexpr std::size_t kFileWindow = std::size_t{2} << 20;
/// Data of all the files of a writer in flight at once.
constexpr std::size_t kWriterWindow = std::size_t{8} << 20;

CopyOutcome ended(CopyOutcome::Status status, std::error_code error = {})
{
    CopyOutcome outcome;
    outcome.status = status;
    outcome.error = error;
    return outcome;
}

} // namespace

/// Writes of one thread, each a chain of requests: the temporary file is opened (with a
/// look at what stands under the name where the write needs it), its data goes out, its
/// owner, bits and times are given, it is closed and looked at, and it takes its name.
/// Every request is sent as soon as the answers it depends on are in, and the answers are
/// read in the order the requests went out, each moving its own write on: a writer with
/// many writes issued keeps the server busy, whatever the round trip costs, on one thread.
/// A copy takes its name only once every answer before says it is complete.
class SftpDestination::Writer final : public DestinationWriter {
public:
    explicit Writer(SftpDestination& destination)
        : m_destination(destination), m_connection(*destination.m_connection)
    {
    }

    ~Writer() override
    {
        for (Write* write : m_live)
            write->writer = nullptr;
        // The answers still due are read, so none is left behind in the connection.
        for (const Sent& sent : m_sent)
            m_connection.wait(sent.id);
    }

    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    std::unique_ptr<PendingWrite> start(WriteRequest request) override;
    CopyOutcome collect(std::unique_ptr<PendingWrite> pending) override;

private:
    enum class Stage : std::uint8_t {
        Opening, ///< a file: the temporary file is being opened
        Sending, ///< a file: its data goes out
        Owning,  ///< a set-uid file: its owner is given before its bits
        Closing, ///< a file: bits, times, close and a look at the closed file
        Looking, ///< a link: what stands under the name is looked at first
        Linking, ///< a link: made under the temporary name
        Naming,  ///< the complete copy takes its name
        Held,    ///< waits for the answer that its folder was made
    };
    enum class Answer : std::uint8_t {
        Look,
        ReadLink,
        Open,
        Data,
        Owner,
        Attributes,
        Times,
        Close,
        Check,
        Link,
        Name,
        Discard
    };

    struct Write final : PendingWrite {
        explicit Write(Writer& owner) : writer(&owner) {}
        ~Write() override
        {
            if (writer)
                writer->forget(*this);
        }
        Write(const Write&) = delete;
        Write& operator=(const Write&) = delete;

        /// Final once nothing of the write is awaited.
        bool done() const { return outcome && awaited == 0; }

        Writer* writer;
        WriteRequest request;
        Stage stage = Stage::Opening;
        std::optional<CopyOutcome> outcome;
        /// A failure or a cancel: once every answer due is in, the temporary goes.
        std::optional<CopyOutcome> stop;
        std::size_t awaited = 0; ///< requests of this write whose answers are not read yet
        UniqueFd ownSource;
        int source = -1;
        struct stat sourceInfo {};
        std::string linkText;
        std::string temporary;
        std::string target;
        std::string folder; ///< the target's folder, on the server
        /// Its folder was asked for and not answered yet when the write was started.
        bool awaitsFolder = false;
        bool holdsName = false; ///< held with the copy complete, before it takes its name
        std::string handle;
        bool made = false;   ///< the temporary exists on the server
        bool closed = false; ///< its handle's close is sent
        std::optional<sftp::Attributes> there;
        std::optional<std::string> thereLinkText;
        ContentHasher hasher;
        std::uint64_t size = 0;
        std::uint64_t sent = 0;
        std::uint64_t confirmed = 0;
        std::size_t inFlight = 0; ///< bytes sent and not confirmed
        bool allSent = false;
        bool hungry = false; ///< waits for room among the writer's data in flight
        files::MetadataLoss lost;
        sftp::Attributes given; ///< the bits and times given at the close
        bool ownerWithBits = false;
        bool bitsAgain = false;  ///< given again without the owner, which was refused
        bool timesAgain = false; ///< given again once closed: the server stamped the close
        std::error_code bitsError;
        std::error_code closeError;
        std::optional<sftp::Attributes> checked;
    };

    struct Sent {
        std::uint32_t id;
        Write* write; ///< null once nobody needs the answer
        Answer answer;
        std::uint32_t bytes;
    };

    // Sending
    void begin(Write& write);
    void hold(Write& write, bool complete);
    void releaseHeld();
    void send(Write& write, Answer answer, sftp::Packet& packet, std::uint32_t bytes = 0);
    void sendLook(Write& write);
    void sendLink(Write& write);
    void pump(Write& write);
    void feedHungry();
    void sendClosing(Write& write);
    void sendBits(Write& write);
    void name(Write& write);
    void discard(Write& write);

    // Answers
    bool step();
    void answered(Write& write, Answer answer, sftp::Reply& reply, std::uint32_t bytes);
    void advance(Write& write);
    void decide(Write& write);
    void fail(Write& write, CopyOutcome outcome);
    std::optional<CopyOutcome> keepOld(Write& write);
    void copied(Write& write);
    void forget(Write& write);

    bool readSourceLink(Write& write);
    bool openSource(Write& write);
    std::error_code writeError(std::error_code error);
    void noteOwnerRefused(Write& write, std::error_code error);

    SftpDestination& m_destination;
    SftpConnection& m_connection;
    std::deque<Sent> m_sent; ///< in the order they went out
    std::deque<Write*> m_hungry;
    /// Writes waiting for their folders' answers, in the order held.
    std::vector<Write*> m_held;
    std::unordered_set<Write*> m_live;
    std::size_t m_inFlight = 0; ///< data bytes sent and not confirmed, of every write
};

std::unique_ptr<DestinationWriter> SftpDestination::writer()
{
    return std::make_unique<Writer>(*this);
}

std::unique_ptr<PendingWrite> SftpDestination::Writer::start(WriteRequest request)
{
    auto pending = std::make_unique<Write>(*this);
    Write& write = *pending;
    m_live.insert(&write);
    write.request = std::move(request);
    const WriteRequest& asked = write.request;
    if (!validName(asked.name)) {
        write.outcome = ended(CopyOutcome::Status::DestinationFailed, codeOf(EINVAL));
        return pending;
    }
    write.target = pathIn(asked.folder, asked.name);
    write.folder = pathIn(asked.folder, {});
    // In the destination's own folder for temporaries once the run has made it, so no
    // source name can meet one; posix-rename moves it across folders.
    const FolderHandle& temporaries = m_destination.temporaries();
    write.temporary = pathIn(temporaries ? temporaries : asked.folder, m_destination.freshTemporaryName());
    if (temporaries) {
        if (const std::error_code unmade = m_destination.awaitPath(pathIn(temporaries, {}))) {
            write.outcome = ended(CopyOutcome::Status::DestinationFailed, unmade);
            return pending;
        }
    }
    std::error_code unmade;
    write.awaitsFolder = m_destination.folderPending(write.folder, unmade);
    if (unmade) {
        // Its folder could not be made: the folder's own reason, not a missing name.
        write.outcome = ended(CopyOutcome::Status::DestinationFailed, unmade);
        return pending;
    }
    if (asked.link ? !readSourceLink(write) : !openSource(write))
        return pending;
    // A copy made among the temporaries needs its folder only to take its name there; one
    // that looks at its name first, or is made beside it, waits for the folder to be made.
    if (write.awaitsFolder &&
        (!temporaries || asked.keepReplaced || (asked.link && asked.onlyWhenDifferent))) {
        hold(write, false);
        return pending;
    }
    begin(write);
    return pending;
}

void SftpDestination::Writer::begin(Write& write)
{
    const WriteRequest& asked = write.request;
    // What stands under the name matters only to a write that keeps it, or that leaves
    // a link with the same text alone.
    if (asked.keepReplaced || (asked.link && asked.onlyWhenDifferent))
        sendLook(write);
    if (asked.link) {
        write.stage = asked.onlyWhenDifferent ? Stage::Looking : Stage::Linking;
        if (write.stage == Stage::Linking)
            sendLink(write);
        return;
    }
    write.stage = Stage::Opening;
    const std::uint32_t id = m_connection.nextId();
    sftp::Packet open(sftp::Open, id);
    sftp::Attributes attributes;
    attributes.flags = sftp::AttrPermissions;
    attributes.permissions = 0600; // private until complete
    open.text(write.temporary)
        .u32(sftp::OpenWrite | sftp::OpenCreate | sftp::OpenExclusive)
        .attributes(attributes);
    send(write, Answer::Open, open);
}

void SftpDestination::Writer::hold(Write& write, bool complete)
{
    write.stage = Stage::Held;
    write.holdsName = complete;
    m_held.push_back(&write);
}

void SftpDestination::Writer::releaseHeld()
{
    std::vector<Write*> ready;
    std::erase_if(m_held, [&](Write* write) {
        std::error_code unmade;
        if (m_destination.folderPending(write->folder, unmade))
            return false;
        ready.push_back(write);
        return true;
    });
    for (Write* write : ready) {
        write->awaitsFolder = false;
        std::error_code unmade;
        m_destination.folderPending(write->folder, unmade);
        if (unmade) {
            fail(*write, ended(CopyOutcome::Status::DestinationFailed, unmade));
            advance(*write);
        } else if (write->holdsName) {
            name(*write);
        } else {
            begin(*write);
        }
    }
}

CopyOutcome SftpDestination::Writer::collect(std::unique_ptr<PendingWrite> pending)
{
    auto& write = static_cast<Write&>(*pending);
    while (!write.done()) {
        if (!step()) {
            // Nothing is awaited, yet the write is not over: it can never be.
            fail(write, ended(CopyOutcome::Status::DestinationFailed, codeOf(EPROTO)));
            if (!write.done())
                write.outcome = *write.stop;
        }
    }
    return *write.outcome;
}

// ----------------------------------------------------------------------------------------
// Sending

void SftpDestination::Writer::send(Write& write, Answer answer, sftp::Packet& packet, std::uint32_t bytes)
{
    // The packet's id is the one given when it was made.
    const std::string& finished = packet.finish();
    std::uint32_t id = 0;
    if (finished.size() >= 9)
        id = (static_cast<std::uint32_t>(static_cast<unsigned char>(finished[5])) << 24) |
             (static_cast<std::uint32_t>(static_cast<unsigned char>(finished[6])) << 16) |
             (static_cast<std::uint32_t>(static_cast<unsigned char>(finished[7])) << 8) |
             static_cast<unsigned char>(finished[8]);
    if (const std::error_code error = m_connection.queue(packet)) {
        fail(write, ended(CopyOutcome::Status::DestinationFailed, error));
        return;
    }
    m_sent.push_back({id, &write, answer, bytes});
    ++write.awaited;
    if (answer == Answer::Data) {
        write.inFlight += bytes;
        m_inFlight += bytes;
    }
}

void SftpDestination::Writer::sendLook(Write& write)
{
    sftp::Packet look(sftp::Lstat, m_connection.nextId());
    look.text(write.target);
    send(write, Answer::Look, look);
    if (write.request.link && write.request.onlyWhenDifferent) {
        sftp::Packet read(sftp::Readlink, m_connection.nextId());
        read.text(write.target);
        send(write, Answer::ReadLink, read);
    }
}

void SftpDestination::Writer::sendLink(Write& write)
{
    write.stage = Stage::Linking;
    // OpenSSH takes the link's text first and its path second, the reverse of the
    // protocol's draft; every server written against it does the same.
    sftp::Packet packet(sftp::Symlink, m_connection.nextId());
    packet.text(write.linkText).text(write.temporary);
    send(write, Answer::Link, packet);
}

void SftpDestination::Writer::pump(Write& write)
{
    while (!write.stop && !write.allSent) {
        if (write.inFlight >= kFileWindow)
            return; // its own answers bring it on
        if (m_inFlight >= kWriterWindow) {
            if (!write.hungry) {
                write.hungry = true;
                m_hungry.push_back(&write);
            }
            return;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kDataPiece, write.size - write.sent));
        const std::uint32_t id = m_connection.nextId();
        sftp::Packet packet(sftp::Write, id);
        packet.text(write.handle).u64(write.sent);
        char* data = packet.data(want);
        std::size_t got = 0;
        while (got < want) {
            const ssize_t read =
                ::pread(write.source, data + got, want - got, static_cast<off_t>(write.sent + got));
            if (read < 0 && errno == EINTR)
                continue;
            if (read < 0) {
                fail(write, ended(CopyOutcome::Status::SourceFailed, codeOf(errno)));
                return;
            }
            if (read == 0)
                break;
            got += static_cast<std::size_t>(read);
        }
        if (got == 0) {
            // The source shrank while it was read: what it holds now is the copy.
            write.allSent = true;
            break;
        }
        write.hasher.add(std::as_bytes(std::span(data, got)));
        if (got < want) {
            sftp::Packet shorter(sftp::Write, id);
            shorter.text(write.handle).u64(write.sent);
            std::memcpy(shorter.data(got), data, got);
            packet = std::move(shorter);
        }
        send(write, Answer::Data, packet, static_cast<std::uint32_t>(got));
        write.sent += got;
        write.allSent = write.sent >= write.size || got < want;
    }
    // The close goes right after the last data: a small file costs one round trip less.
    if (!write.stop && write.allSent && write.stage == Stage::Sending)
        sendClosing(write);
}

void SftpDestination::Writer::feedHungry()
{
    while (!m_hungry.empty() && m_inFlight < kWriterWindow) {
        Write* write = m_hungry.front();
        m_hungry.pop_front();
        write->hungry = false;
        pump(*write);
        advance(*write);
    }
}

void SftpDestination::Writer::sendClosing(Write& write)
{
    const WriteRequest& asked = write.request;
    if (asked.progress && write.size == 0 && !asked.progress(0, 0)) {
        fail(write, ended(CopyOutcome::Status::Cancelled));
        return;
    }
    files::Metadata metadata;
    if (files::readMetadata(write.source, write.sourceInfo, metadata))
        write.lost = m_destination.lossBeyondOwners(metadata);
    if (m_destination.m_ownersRefused.load()) {
        write.lost.owner = codeOf(EPERM);
    } else if (write.sourceInfo.st_mode & (S_ISUID | S_ISGID)) {
        // Set-uid and set-gid only ever go with the owner they were given for, which a
        // change of owner after them would clear: the owner goes first, on its own.
        write.stage = Stage::Owning;
        sftp::Attributes owner;
        owner.flags = sftp::AttrOwner;
        owner.uid = write.sourceInfo.st_uid;
        owner.gid = write.sourceInfo.st_gid;
        sftp::Packet change(sftp::Fsetstat, m_connection.nextId());
        change.text(write.handle).attributes(owner);
        send(write, Answer::Owner, change);
        return;
    } else {
        write.ownerWithBits = true;
    }
    sendBits(write);
}

void SftpDestination::Writer::sendBits(Write& write)
{
    write.stage = Stage::Closing;
    sftp::Attributes& given = write.given;
    given.flags = sftp::AttrPermissions | sftp::AttrTimes;
    given.permissions = files::safeModeBits(write.sourceInfo.st_mode & 07777, write.lost);
    given.accessed = secondsOf(write.sourceInfo.st_atim);
    given.modified = secondsOf(write.sourceInfo.st_mtim);
    sftp::Attributes change = given;
    if (write.ownerWithBits) {
        change.flags |= sftp::AttrOwner;
        change.uid = write.sourceInfo.st_uid;
        change.gid = write.sourceInfo.st_gid;
    }
    sftp::Packet set(sftp::Fsetstat, m_connection.nextId());
    set.text(write.handle).attributes(change);
    send(write, Answer::Attributes, set);
    sftp::Packet close(sftp::Close, m_connection.nextId());
    close.text(write.handle);
    send(write, Answer::Close, close);
    write.closed = true;
    // The closed file is looked at in the same round trip: a server whose disk stamps a
    // file as it is closed shows it here, and the time the copy keeps is known without a
    // look of its own.
    sftp::Packet look(sftp::Lstat, m_connection.nextId());
    look.text(write.temporary);
    send(write, Answer::Check, look);
}

void SftpDestination::Writer::discard(Write& write)
{
    // Awaited like the rest, so that a write is over only once nothing of it is left.
    if (write.made && !write.closed) {
        sftp::Packet close(sftp::Close, m_connection.nextId());
        close.text(write.handle);
        send(write, Answer::Discard, close);
        write.closed = true;
    }
    if (write.made) {
        sftp::Packet remove(sftp::Remove, m_connection.nextId());
        remove.text(write.temporary);
        send(write, Answer::Discard, remove);
        write.made = false;
    }
}

// ----------------------------------------------------------------------------------------
// Answers

bool SftpDestination::Writer::step()
{
    if (m_sent.empty())
        feedHungry();
    if (m_sent.empty()) {
        if (m_held.empty())
            return false;
        // Nothing else to read: the folder's answer is waited for on its own.
        m_destination.awaitPath(m_held.front()->folder);
        releaseHeld();
        return true;
    }
    // The answers of folders asked for before this request came before its own: they
    // are read first, and the writes waiting for them go on.
    if (m_destination.settleFoldersBefore(m_sent.front().id) && !m_held.empty())
        releaseHeld();
    if (m_sent.empty())
        return true;
    const Sent sent = m_sent.front();
    m_sent.pop_front();
    sftp::Reply reply = m_connection.wait(sent.id);
    if (sent.answer == Answer::Data)
        m_inFlight -= sent.bytes;
    if (sent.write) {
        Write& write = *sent.write;
        --write.awaited;
        if (sent.answer == Answer::Data)
            write.inFlight -= sent.bytes;
        answered(write, sent.answer, reply, sent.bytes);
        advance(write);
    }
    if (sent.answer == Answer::Data)
        feedHungry();
    return true;
}

void SftpDestination::Writer::answered(Write& write, Answer answer, sftp::Reply& reply, std::uint32_t bytes)
{
    const auto status = [&] { return m_destination.statusOf(std::move(reply)); };
    switch (answer) {
    case Answer::Look:
        if (reply.type() == sftp::Attrs) {
            write.there = reply.attributes();
            if (!reply.ok())
                write.there.reset();
        }
        return;
    case Answer::ReadLink:
        if (reply.type() == sftp::Name && reply.u32() >= 1) {
            std::string text = reply.text();
            if (reply.ok())
                write.thereLinkText = std::move(text);
        }
        return;
    case Answer::Open:
        if (reply.type() != sftp::Handle) {
            const std::error_code error = status();
            fail(write, ended(CopyOutcome::Status::DestinationFailed, error ? error : codeOf(EPROTO)));
            return;
        }
        write.handle = reply.text();
        write.made = true;
        if (write.stop)
            return; // cancelled meanwhile: the file goes again at once
        write.stage = Stage::Sending;
        write.allSent = write.size == 0;
        pump(write);
        return;
    case Answer::Data: {
        const std::error_code error = status();
        if (write.stop)
            return;
        if (error) {
            fail(write, ended(CopyOutcome::Status::DestinationFailed, writeError(error)));
            return;
        }
        write.confirmed += bytes;
        if (write.request.progress && !write.request.progress(write.confirmed, write.size))
            fail(write, ended(CopyOutcome::Status::Cancelled));
        else
            pump(write);
        return;
    }
    case Answer::Owner:
        if (const std::error_code error = status())
            noteOwnerRefused(write, error);
        if (!write.stop)
            sendBits(write);
        return;
    case Answer::Attributes:
        if (const std::error_code error = status(); error && !write.bitsError)
            write.bitsError = error;
        return;
    case Answer::Times:   // as good as the server makes it: the look after it tells
    case Answer::Discard: // a connection gone leaves the rest to the next run's clean-up
        return;
    case Answer::Close:
        if (const std::error_code error = status(); error && !write.closeError)
            write.closeError = error;
        return;
    case Answer::Check:
        if (reply.type() == sftp::Attrs) {
            const sftp::Attributes attributes = reply.attributes();
            if (reply.ok())
                write.checked = attributes;
        }
        return;
    case Answer::Link:
        if (const std::error_code error = status()) {
            fail(write,
                 ended(error == std::errc::operation_not_supported ? CopyOutcome::Status::LinksRefused
                                                                   : CopyOutcome::Status::DestinationFailed,
                       error));
            return;
        }
        write.made = true;
        return;
    case Answer::Name:
        if (const std::error_code error = status()) {
            fail(write, ended(CopyOutcome::Status::DestinationFailed, error));
            return;
        }
        write.made = false;
        copied(write);
        return;
    }
}

void SftpDestination::Writer::advance(Write& write)
{
    if (write.outcome)
        return;
    if (write.stop) {
        if (write.awaited == 0) {
            discard(write);
            write.outcome = *write.stop;
        }
        return;
    }
    if (write.awaited > 0)
        return;
    switch (write.stage) {
    case Stage::Looking:
        if (write.there && kindOf(*write.there) == DestinationKind::Link && write.thereLinkText &&
            *write.thereLinkText == write.linkText) {
            write.outcome = ended(CopyOutcome::Status::Unchanged);
            return;
        }
        sendLink(write);
        return;
    case Stage::Linking:
        name(write);
        return;
    case Stage::Closing:
        decide(write);
        return;
    case Stage::Opening:
    case Stage::Sending:
    case Stage::Owning:
    case Stage::Naming:
    case Stage::Held:
        return;
    }
}

void SftpDestination::Writer::decide(Write& write)
{
    if (write.closeError) {
        fail(write, ended(CopyOutcome::Status::DestinationFailed, writeError(write.closeError)));
        advance(write);
        return;
    }
    if (write.bitsError && write.ownerWithBits && !write.bitsAgain) {
        // The owner, the bits or the times were refused, all in one: the bits and times
        // alone tell which. The file is closed by now, and reached by its path.
        write.bitsAgain = true;
        write.ownerWithBits = false;
        noteOwnerRefused(write, write.bitsError);
        write.bitsError.clear();
        write.given.permissions = files::safeModeBits(write.sourceInfo.st_mode & 07777, write.lost);
        sftp::Packet set(sftp::Setstat, m_connection.nextId());
        set.text(write.temporary).attributes(write.given);
        send(write, Answer::Attributes, set);
        sftp::Packet look(sftp::Lstat, m_connection.nextId());
        look.text(write.temporary);
        send(write, Answer::Check, look);
        return;
    }
    if (write.bitsError) {
        fail(write, ended(CopyOutcome::Status::DestinationFailed, writeError(write.bitsError)));
        advance(write);
        return;
    }
    const std::optional<sftp::Attributes>& checked = write.checked;
    if (!write.timesAgain && checked && (checked->flags & sftp::AttrTimes) &&
        checked->modified != write.given.modified) {
        // Stamped as it was closed (a disk that writes at the close): the times once more.
        write.timesAgain = true;
        sftp::Attributes times;
        times.flags = sftp::AttrTimes;
        times.accessed = write.given.accessed;
        times.modified = write.given.modified;
        sftp::Packet set(sftp::Setstat, m_connection.nextId());
        set.text(write.temporary).attributes(times);
        send(write, Answer::Times, set);
        sftp::Packet look(sftp::Lstat, m_connection.nextId());
        look.text(write.temporary);
        send(write, Answer::Check, look);
        return;
    }
    name(write);
}

void SftpDestination::Writer::name(Write& write)
{
    if (write.awaitsFolder) {
        std::error_code unmade;
        if (m_destination.folderPending(write.folder, unmade)) {
            hold(write, true);
            return;
        }
        write.awaitsFolder = false;
        if (unmade) {
            fail(write, ended(CopyOutcome::Status::DestinationFailed, unmade));
            advance(write);
            return;
        }
    }
    write.stage = Stage::Naming;
    if (std::optional<CopyOutcome> refused = keepOld(write)) {
        fail(write, *refused);
        advance(write);
        return;
    }
    if (m_connection.supports("posix-rename@openssh.com")) {
        sftp::Packet packet(sftp::Extended, m_connection.nextId());
        packet.text("posix-rename@openssh.com").text(write.temporary).text(write.target);
        send(write, Answer::Name, packet);
        return;
    }
    // A server that renames only onto a free name makes room first, which takes looks of
    // its own: this copy waits for them.
    if (const std::error_code error = m_destination.renamePath(write.temporary, write.target, true)) {
        fail(write, ended(CopyOutcome::Status::DestinationFailed, error));
        advance(write);
        return;
    }
    write.made = false;
    copied(write);
}

void SftpDestination::Writer::copied(Write& write)
{
    CopyOutcome outcome = ended(CopyOutcome::Status::Copied);
    if (!write.request.link) {
        outcome.bytes = write.sent;
        outcome.lost = write.lost;
        if (write.request.digest) {
            outcome.digest = write.hasher.result().bytes;
            outcome.digested = write.sent;
        }
        if (write.checked && (write.checked->flags & sftp::AttrTimes)) {
            outcome.modified.tv_sec = write.checked->modified;
            outcome.modifiedKept = true;
        }
    }
    write.outcome = outcome;
}

void SftpDestination::Writer::fail(Write& write, CopyOutcome outcome)
{
    if (!write.stop)
        write.stop = outcome;
}

// Puts what stands under the name where the write's keeper wants it, before the complete
// copy takes the name; the failure that stops the write, if any.
std::optional<CopyOutcome> SftpDestination::Writer::keepOld(Write& write)
{
    const WriteRequest& asked = write.request;
    if (!write.there || !asked.keepReplaced)
        return std::nullopt;
    std::error_code error;
    const std::optional<VersionPlace> place = asked.keepReplaced(error);
    // None without an error: what stands there needs no keeping and is replaced.
    if (!place && !error)
        return std::nullopt;
    if (!place || !place->folder || !validName(place->name)) {
        CopyOutcome outcome = ended(CopyOutcome::Status::DestinationFailed, error ? error : codeOf(EINVAL));
        outcome.keepFailed = true;
        return outcome;
    }
    const std::string kept = pathIn(place->folder, place->name);
    if (const std::error_code unmade = m_destination.awaitPath(kept)) {
        CopyOutcome outcome = ended(CopyOutcome::Status::DestinationFailed, unmade);
        outcome.keepFailed = true;
        return outcome;
    }
    const sftp::Attributes& there = *write.there;
    bool linked = false;
    // A second name for the old copy first, so that its name holds a complete copy until
    // the new one takes it over in one rename.
    if (kindOf(there) != DestinationKind::Folder && m_connection.supports("hardlink@openssh.com") &&
        m_connection.supports("posix-rename@openssh.com")) {
        const std::uint32_t id = m_connection.nextId();
        sftp::Packet packet(sftp::Extended, id);
        packet.text("hardlink@openssh.com").text(write.target).text(kept);
        linked = !m_destination.statusOf(m_connection.call(packet, id));
        // Some servers (rclone) answer the extension with success and make no link: the
        // second name is looked at before the old one is let go.
        std::error_code looked;
        const auto second = linked ? m_destination.lstat(kept, looked) : std::nullopt;
        linked = second && kindOf(*second) == kindOf(there) && second->size == there.size;
    }
    if (!linked) {
        if (const std::error_code moved = m_destination.renamePath(write.target, kept, false)) {
            CopyOutcome outcome = ended(CopyOutcome::Status::DestinationFailed, moved);
            outcome.keepFailed = true;
            return outcome;
        }
    }
    return std::nullopt;
}

void SftpDestination::Writer::forget(Write& write)
{
    m_live.erase(&write);
    // Dropped before it was over: its temporary goes (unless it is taking its name).
    if (!write.outcome && write.stage != Stage::Naming)
        discard(write);
    // A write collected has no answer due and waits for no room: nothing to look through.
    if (write.awaited > 0)
        for (Sent& sent : m_sent)
            if (sent.write == &write)
                sent.write = nullptr;
    if (write.hungry)
        m_hungry.erase(std::remove(m_hungry.begin(), m_hungry.end(), &write), m_hungry.end());
    if (write.stage == Stage::Held)
        std::erase(m_held, &write);
}

void SftpDestination::Writer::noteOwnerRefused(Write& write, std::error_code error)
{
    write.lost.owner = error;
    if (error.value() == EPERM || error.value() == EACCES)
        m_destination.m_ownersRefused = true;
}

// A failed write on a server that says only "failure": a full disk is the usual reason.
std::error_code SftpDestination::Writer::writeError(std::error_code error)
{
    if (error.category() == std::generic_category() && error.value() == EIO) {
        const auto info = m_destination.space();
        if (info && info->readOnly)
            return codeOf(EROFS);
        if (info && info->available < 2 * kDataPiece)
            return codeOf(ENOSPC);
    }
    return error;
}

bool SftpDestination::Writer::readSourceLink(Write& write)
{
    std::string text(256, '\0');
    for (;;) {
        const ssize_t got = ::readlink(write.request.source.c_str(), text.data(), text.size());
        if (got < 0) {
            CopyOutcome outcome = ended(CopyOutcome::Status::SourceFailed, codeOf(errno));
            outcome.changedKind = errno == EINVAL;
            write.outcome = outcome;
            return false;
        }
        if (static_cast<std::size_t>(got) < text.size()) {
            text.resize(static_cast<std::size_t>(got));
            write.linkText = std::move(text);
            return true;
        }
        text.resize(text.size() * 2);
    }
}

bool SftpDestination::Writer::openSource(Write& write)
{
    const WriteRequest& asked = write.request;
    if (asked.sourceFd >= 0) {
        write.source = asked.sourceFd;
    } else {
        write.ownSource.reset(::open(asked.source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!write.ownSource) {
            write.outcome = ended(CopyOutcome::Status::SourceFailed, codeOf(errno));
            return false;
        }
        write.source = write.ownSource.get();
    }
    if (::fstat(write.source, &write.sourceInfo) != 0) {
        write.outcome = ended(CopyOutcome::Status::SourceFailed, codeOf(errno));
        return false;
    }
    if (!S_ISREG(write.sourceInfo.st_mode)) {
        CopyOutcome outcome = ended(CopyOutcome::Status::SourceFailed, codeOf(EINVAL));
        outcome.changedKind = true;
        write.outcome = outcome;
        return false;
    }
    write.size = static_cast<std::uint64_t>(write.sourceInfo.st_size);
    if (write.size > asked.sizeLimit) {
        write.outcome = ended(CopyOutcome::Status::TooLarge);
        return false;
    }
    return true;
}

} // namespace stowmere::backup
