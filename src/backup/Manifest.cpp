// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Manifest.h"

#include "backup/ScratchFile.h"
#include "platform/LastError.h"
#include "platform/WriteAll.h"

#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace stowmere::backup {

namespace {

using files::lastError;
using files::writeAll;

using files::UniqueFd;

/// A longer line is not one of ours: it is skipped, not kept in memory.
constexpr std::size_t kMaxLineLength = std::size_t{1} << 20;
constexpr std::size_t kReadBuffer = std::size_t{64} * 1024;
constexpr std::string_view kEndWord = "stowmere-manifest-end ";

std::uint32_t checksumOf(std::string_view text)
{
    return XXH32(text.data(), text.size(), 0);
}

void appendHex32(std::string& out, std::uint32_t value)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0x0F];
}

template <typename Number> bool parseNumber(std::string_view text, Number& value, int base = 10)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

/// Takes the text up to the next space off the front of rest.
std::string_view takeField(std::string_view& rest)
{
    const std::size_t space = rest.find(' ');
    const std::string_view field = rest.substr(0, space);
    rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
    return field;
}

void appendEscaped(std::string& out, std::string_view path)
{
    for (const char c : path) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

std::optional<std::string> unescape(std::string_view text)
{
    std::string path;
    path.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            path += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        if (text[i] == '\\')
            path += '\\';
        else if (text[i] == 'n')
            path += '\n';
        else
            return std::nullopt;
    }
    return path;
}

/// A path below the destination: names joined by single separators, none of them "." or
/// "..", so that no record can name anything outside it.
bool isRelativePath(std::string_view path)
{
    if (path.empty())
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view name =
            path.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string_view::npos)
            return false;
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

} // namespace

/// Reads a file line by line through a buffer, telling where each line starts. Outside the
/// anonymous namespace: ManifestReader::Source holds one.
class ManifestLineReader {
public:
    explicit ManifestLineReader(UniqueFd fd) : m_fd(std::move(fd)), m_buffer(kReadBuffer) {}

    enum class Result { Line, TooLong, Torn, End, Failed };

    /// The next line without its end. Torn: the file ends inside it (the text so far).
    Result next(std::string& line)
    {
        line.clear();
        bool tooLong = false;
        m_lineOffset = m_offset;
        ++m_lineNumber;
        for (;;) {
            if (m_at == m_filled) {
                const ssize_t got = ::read(m_fd.get(), m_buffer.data(), m_buffer.size());
                if (got < 0) {
                    if (errno == EINTR)
                        continue;
                    m_error = lastError();
                    return Result::Failed;
                }
                if (got == 0)
                    return line.empty() && !tooLong ? Result::End : Result::Torn;
                m_at = 0;
                m_filled = static_cast<std::size_t>(got);
            }
            const char* begin = m_buffer.data() + m_at;
            const std::size_t available = m_filled - m_at;
            const void* found = std::memchr(begin, '\n', available);
            const std::size_t take =
                found ? static_cast<std::size_t>(static_cast<const char*>(found) - begin) : available;
            if (!tooLong && line.size() + take <= kMaxLineLength)
                line.append(begin, take);
            else
                tooLong = true;
            m_at += take;
            m_offset += take;
            if (found) {
                ++m_at;
                ++m_offset;
                return tooLong ? Result::TooLong : Result::Line;
            }
        }
    }

    std::uint64_t lineNumber() const { return m_lineNumber; }
    std::uint64_t lineOffset() const { return m_lineOffset; }
    const std::error_code& error() const { return m_error; }

private:
    UniqueFd m_fd;
    std::vector<char> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_filled = 0;
    std::uint64_t m_offset = 0;
    std::uint64_t m_lineOffset = 0;
    std::uint64_t m_lineNumber = 0;
    std::error_code m_error;
};

namespace {

/// Records read or written between two looks at the cancel flag: some milliseconds.
constexpr std::size_t kEntriesPerCancelLook = 4096;

/// Writes lines through a buffer.
class LineWriter {
public:
    explicit LineWriter(int fd) : m_fd(fd) {}
    std::error_code add(std::string_view line)
    {
        m_pending.append(line);
        return m_pending.size() >= kReadBuffer ? flush() : std::error_code();
    }
    std::error_code flush()
    {
        const std::error_code error = writeAll(m_fd, m_pending);
        m_pending.clear();
        return error;
    }

private:
    int m_fd;
    std::string m_pending;
};

} // namespace

std::string ManifestDamage::text() const
{
    std::string text = file;
    if (line > 0)
        text += ": line " + std::to_string(line) + " (byte " + std::to_string(offset) + ")";
    return text + ": " + reason;
}

bool manifestPathLess(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] == b[i])
            continue;
        // The separator sorts before every other byte: a folder's tree before its siblings.
        const auto rank = [](char c) { return c == '/' ? 0 : static_cast<unsigned char>(c) + 1; };
        return rank(a[i]) < rank(b[i]);
    }
    return a.size() < b.size();
}

bool manifestPathWithin(std::string_view path, std::string_view root)
{
    if (root.empty())
        return true;
    return path.size() >= root.size() && path.substr(0, root.size()) == root &&
           (path.size() == root.size() || path[root.size()] == '/');
}

std::string encodeManifestLine(const ManifestRecord& record)
{
    std::string payload;
    payload.reserve(record.path.size() + 80);
    payload += static_cast<char>(record.mark);
    payload += ' ';
    if (record.mark != ManifestMark::Removed) {
        payload += record.hash.hex();
        payload += ' ';
        payload += std::to_string(record.size);
        payload += ' ';
        payload += std::to_string(static_cast<long long>(record.modified.tv_sec));
        payload += ' ';
        payload += std::to_string(record.modified.tv_nsec);
        payload += ' ';
    }
    appendEscaped(payload, record.path);
    std::string line;
    line.reserve(payload.size() + 10);
    appendHex32(line, checksumOf(payload));
    line += ' ';
    line += payload;
    line += '\n';
    return line;
}

std::optional<ManifestRecord> decodeManifestLine(std::string_view line, std::string& reason)
{
    std::uint32_t checksum = 0;
    if (line.size() < 11 || line[8] != ' ' || !parseNumber(line.substr(0, 8), checksum, 16)) {
        reason = "not a line of the manifest";
        return std::nullopt;
    }
    std::string_view rest = line.substr(9);
    if (checksumOf(rest) != checksum) {
        reason = "its checksum does not match its text (the line is damaged)";
        return std::nullopt;
    }
    ManifestRecord record;
    const std::string_view mark = takeField(rest);
    reason = "the line's fields cannot be read";
    if (mark.size() != 1)
        return std::nullopt;
    switch (mark[0]) {
    case '+':
    case '!':
    case '-':
        record.mark = static_cast<ManifestMark>(mark[0]);
        break;
    default:
        return std::nullopt;
    }
    if (record.mark != ManifestMark::Removed) {
        const auto hash = ContentHash::fromHex(takeField(rest));
        long long seconds = 0;
        long nanoseconds = 0;
        if (!hash || !parseNumber(takeField(rest), record.size) || !parseNumber(takeField(rest), seconds) ||
            !parseNumber(takeField(rest), nanoseconds) || nanoseconds < 0 || nanoseconds >= 1000000000L)
            return std::nullopt;
        record.hash = *hash;
        record.modified.tv_sec = static_cast<time_t>(seconds);
        record.modified.tv_nsec = nanoseconds;
    }
    auto path = unescape(rest);
    if (!path || !isRelativePath(*path)) {
        reason = "its path is not one below the destination";
        return std::nullopt;
    }
    record.path = std::move(*path);
    reason.clear();
    return record;
}

// The records of one file, read on demand.
class ManifestReader::Source {
public:
    /// ordered: the file is one of ours that must be sorted, and its end is marked.
    Source(UniqueFd fd, std::string name, std::string_view header, bool ordered,
           std::vector<ManifestDamage>* damage)
        : m_reader(std::move(fd)), m_name(std::move(name)), m_header(header), m_ordered(ordered),
          m_damage(damage)
    {
        advance();
    }
    /// Records kept in memory, sorted.
    explicit Source(std::vector<ManifestRecord> records) : m_records(std::move(records)), m_inMemory(true)
    {
        advance();
    }

    const ManifestRecord* head() const { return m_done ? nullptr : &m_head; }

    void advance()
    {
        if (m_inMemory) {
            if (m_next == m_records.size()) {
                m_done = true;
                m_records.clear();
                return;
            }
            m_head = std::move(m_records[m_next++]);
            return;
        }
        while (!m_done) {
            const ManifestLineReader::Result result = m_reader.next(m_line);
            switch (result) {
            case ManifestLineReader::Result::End:
                if (m_ordered && !m_sawEnd && m_reader.lineNumber() > 1)
                    report(0, "it ends before its last line: the file was cut short");
                m_done = true;
                return;
            case ManifestLineReader::Result::Failed:
                report(m_reader.lineNumber(), "cannot be read: " + m_reader.error().message());
                m_done = true;
                return;
            case ManifestLineReader::Result::TooLong:
                report(m_reader.lineNumber(), "the line is far too long to be one of the manifest");
                continue;
            case ManifestLineReader::Result::Torn:
                // A journal's last line may have been cut short by a killed run: it was
                // never complete, so nothing recorded is lost.
                if (m_ordered)
                    report(m_reader.lineNumber(), "the file ends inside this line: it was cut short");
                m_done = true;
                return;
            case ManifestLineReader::Result::Line:
                break;
            }
            if (m_sawEnd) {
                report(m_reader.lineNumber(), "a line follows the end of the manifest");
                continue;
            }
            if (m_reader.lineNumber() == 1) {
                if (m_line == m_header)
                    continue;
                if (m_line.starts_with("stowmere-manifest")) {
                    report(1, "it was written in another format (\"" + m_line + "\") and is not read");
                    m_done = true;
                    return;
                }
                report(1, "the first line is not the manifest's heading");
            }
            if (m_ordered && m_line.starts_with(kEndWord)) {
                std::string_view counts = std::string_view(m_line).substr(kEndWord.size());
                const std::string_view lines = takeField(counts);
                std::uint64_t count = 0;
                std::uint64_t marked = 0;
                if (!parseNumber(lines, count) || count != m_lines ||
                    (!counts.empty() && !parseNumber(counts, marked)))
                    report(m_reader.lineNumber(), "the closing line counts " +
                                                      m_line.substr(kEndWord.size()) +
                                                      " records, the file holds " + std::to_string(m_lines));
                m_sawEnd = true;
                continue;
            }
            ++m_lines;
            std::string reason;
            auto record = decodeManifestLine(m_line, reason);
            if (!record) {
                report(m_reader.lineNumber(), reason);
                continue;
            }
            if (m_ordered && m_hasLast && !manifestPathLess(m_lastPath, record->path)) {
                report(m_reader.lineNumber(), "the line is out of order");
                continue;
            }
            if (m_ordered) {
                m_lastPath = record->path;
                m_hasLast = true;
            }
            m_head = std::move(*record);
            return;
        }
    }

private:
    void report(std::uint64_t line, std::string reason)
    {
        if (m_damage != nullptr)
            m_damage->push_back({m_name, line, line > 0 ? m_reader.lineOffset() : 0, std::move(reason)});
    }

    ManifestLineReader m_reader{UniqueFd()};
    std::string m_name;
    std::string_view m_header;
    bool m_ordered = false;
    std::vector<ManifestDamage>* m_damage = nullptr;
    std::vector<ManifestRecord> m_records;
    std::size_t m_next = 0;
    bool m_inMemory = false;
    bool m_done = false;
    bool m_sawEnd = false;
    bool m_hasLast = false;
    std::uint64_t m_lines = 0;
    std::string m_lastPath;
    std::string m_line;
    ManifestRecord m_head;
};

namespace {

/// Sorts a run of journal records by path, keeping the last record of each path.
void sortRun(std::vector<ManifestRecord>& records)
{
    std::stable_sort(records.begin(), records.end(), [](const ManifestRecord& a, const ManifestRecord& b) {
        return manifestPathLess(a.path, b.path);
    });
    std::vector<ManifestRecord> kept;
    kept.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i + 1 < records.size() && records[i + 1].path == records[i].path)
            continue;
        kept.push_back(std::move(records[i]));
    }
    records = std::move(kept);
}

} // namespace

ManifestReader::ManifestReader(Destination& destination, const std::atomic<bool>* cancel)
{
    const FolderHandle root = destination.root();
    std::error_code error;
    UniqueFd base = destination.openFile(root, kManifestFileName, error);
    const std::string baseName = destination.pathOf(kManifestFileName);
    if (base)
        m_sources.push_back(
            std::make_unique<Source>(std::move(base), baseName, kManifestHeader, true, &m_damage));
    else if (error != std::errc::no_such_file_or_directory)
        m_damage.push_back({baseName, 0, 0, "cannot be read: " + error.message()});

    UniqueFd journal = destination.openFile(root, kManifestJournalName, error);
    const std::string journalName = destination.pathOf(kManifestJournalName);
    if (!journal) {
        if (error != std::errc::no_such_file_or_directory)
            m_damage.push_back({journalName, 0, 0, "cannot be read: " + error.message()});
        return;
    }
    m_hadJournal = true;
    // The journal is in the order copies were made: sorted here a run at a time, each run
    // after the first kept in a local scratch file, so memory stays bounded.
    Source lines(std::move(journal), journalName, kJournalHeader, false, &m_damage);
    std::vector<ManifestRecord> run;
    const auto flushRun = [this, &run](bool last) {
        sortRun(run);
        if (last) {
            m_sources.push_back(std::make_unique<Source>(std::move(run)));
            return;
        }
        std::error_code scratchError;
        UniqueFd scratch = openScratchFile(scratchError);
        LineWriter writer(scratch.get());
        if (scratch) {
            scratchError = writer.add(std::string(kManifestHeader) + '\n');
            for (const ManifestRecord& record : run)
                if (!scratchError)
                    scratchError = writer.add(encodeManifestLine(record));
            if (!scratchError)
                scratchError = writer.add(std::string(kEndWord) + std::to_string(run.size()) + '\n');
            if (!scratchError)
                scratchError = writer.flush();
            if (!scratchError && ::lseek(scratch.get(), 0, SEEK_SET) != 0)
                scratchError = lastError();
        }
        if (scratchError) {
            // No scratch space: this run stays in memory rather than be lost.
            m_sources.push_back(std::make_unique<Source>(std::move(run)));
        } else {
            m_sources.push_back(
                std::make_unique<Source>(std::move(scratch), "scratch file", kManifestHeader, true, nullptr));
        }
        run.clear();
    };
    for (const ManifestRecord* record = lines.head(); record != nullptr; record = lines.head()) {
        // A journal of millions of lines takes a while to sort.
        if (cancel != nullptr && run.size() % kEntriesPerCancelLook == 0 && cancel->load()) {
            m_cancelled = true;
            break;
        }
        run.push_back(*record);
        lines.advance();
        if (run.size() == kSortRun)
            flushRun(false);
    }
    flushRun(true);
}

ManifestReader::~ManifestReader() = default;

std::optional<std::uint64_t> markedInManifest(Destination& destination)
{
    std::error_code error;
    const UniqueFd fd = destination.openFile(destination.root(), kManifestFileName, error);
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0)
        return std::nullopt;
    char tail[128];
    const off_t from = std::max<off_t>(0, info.st_size - static_cast<off_t>(sizeof tail));
    const ssize_t got = ::pread(fd.get(), tail, sizeof tail, from);
    if (got <= 0)
        return std::nullopt;
    std::string_view text(tail, static_cast<std::size_t>(got));
    if (text.back() != '\n')
        return std::nullopt;
    text.remove_suffix(1);
    text = text.substr(text.rfind('\n') + 1);
    if (!text.starts_with(kEndWord))
        return std::nullopt;
    text.remove_prefix(kEndWord.size());
    takeField(text);
    std::uint64_t marked = 0;
    if (!parseNumber(text, marked))
        return std::nullopt;
    return marked;
}

const ManifestRecord* ManifestReader::next()
{
    for (;;) {
        // Few sources (the sorted file and a run per kSortRun journal lines): a look at
        // each head costs less than a heap.
        std::size_t chosen = m_sources.size();
        for (std::size_t i = 0; i < m_sources.size(); ++i) {
            const ManifestRecord* head = m_sources[i]->head();
            if (head == nullptr)
                continue;
            // Later sources are later records of the same path: they win a tie.
            if (chosen == m_sources.size() || !manifestPathLess(m_sources[chosen]->head()->path, head->path))
                chosen = i;
        }
        if (chosen == m_sources.size())
            return nullptr;
        m_current = *m_sources[chosen]->head();
        for (const auto& source : m_sources) {
            const ManifestRecord* head = source->head();
            if (head != nullptr && head->path == m_current.path)
                source->advance();
        }
        if (m_current.mark != ManifestMark::Removed)
            return &m_current;
    }
}

bool compactManifest(Destination& destination, std::vector<ManifestDamage>& damage, std::error_code& error,
                     const std::function<void(const ManifestRecord&)>& visit, const std::atomic<bool>* cancel)
{
    error.clear();
    ManifestReader reader(destination, cancel);
    const auto cancelled = [&] {
        if (reader.cancelled() || (cancel != nullptr && cancel->load())) {
            error = std::make_error_code(std::errc::operation_canceled);
            return true;
        }
        return false;
    };
    if (cancelled())
        return false;
    if (!reader.hadJournal()) {
        damage = reader.damage();
        return true;
    }
    UniqueFd scratch = openScratchFile(error);
    if (!scratch)
        return false;
    LineWriter writer(scratch.get());
    error = writer.add(std::string(kManifestHeader) + '\n');
    std::uint64_t count = 0;
    std::uint64_t marked = 0;
    for (const ManifestRecord* record = reader.next(); record != nullptr && !error; record = reader.next()) {
        if (count % kEntriesPerCancelLook == 0 && cancelled())
            return false;
        error = writer.add(encodeManifestLine(*record));
        ++count;
        marked += record->mark == ManifestMark::Damaged ? 1 : 0;
        if (visit)
            visit(*record);
    }
    damage = reader.damage();
    if (!error)
        error =
            writer.add(std::string(kEndWord) + std::to_string(count) + ' ' + std::to_string(marked) + '\n');
    if (!error)
        error = writer.flush();
    if (!error && ::lseek(scratch.get(), 0, SEEK_SET) != 0)
        error = lastError();
    if (error || cancelled())
        return false;
    WriteRequest request;
    request.folder = destination.root();
    request.name = kManifestFileName;
    request.source = destination.pathOf(kManifestFileName);
    request.sourceFd = scratch.get();
    const files::CopyOutcome outcome = destination.writer()->write(std::move(request));
    if (outcome.status != files::CopyOutcome::Status::Copied) {
        error = outcome.error ? outcome.error : std::make_error_code(std::errc::io_error);
        return false;
    }
    // Merged: a journal left behind by a failure here would only be merged again.
    error = destination.remove(destination.root(), kManifestJournalName);
    return !error;
}

std::unique_ptr<ManifestJournal> ManifestJournal::open(Destination& destination, std::error_code& error)
{
    const FolderHandle root = destination.root();
    auto appender = destination.openAppend(root, kManifestJournalName, error);
    if (!appender)
        return nullptr;
    if (appender->sizeAtOpen() == 0) {
        error = appender->append(std::string(kJournalHeader) + '\n');
    } else {
        // A run killed inside a line left it unfinished: the next line starts afresh, so
        // that only the torn one is lost.
        UniqueFd fd = destination.openFile(root, kManifestJournalName, error);
        char last = '\n';
        if (fd && ::pread(fd.get(), &last, 1, static_cast<off_t>(appender->sizeAtOpen() - 1)) == 1 &&
            last != '\n')
            error = appender->append("\n");
    }
    if (error)
        return nullptr;
    return std::unique_ptr<ManifestJournal>(new ManifestJournal(destination, std::move(appender)));
}

ManifestJournal::~ManifestJournal()
{
    // A record that cannot be written now is a copy the next verification finds
    // unrecorded, and hashes.
    static_cast<void>(flush());
}

std::error_code ManifestJournal::add(const ManifestRecord& record)
{
    m_heldBack += encodeManifestLine(record);
    return m_heldBack.size() >= kHeldBack ? flush() : std::error_code();
}

std::error_code ManifestJournal::flush()
{
    if (m_heldBack.empty())
        return {};
    const std::error_code error = m_appender->append(m_heldBack);
    m_heldBack.clear();
    return error;
}

std::error_code ManifestJournal::recordCopy(const FolderHandle& folder, const std::string& name,
                                            const std::atomic<bool>* cancel)
{
    std::error_code error;
    const DestinationEntry entry = m_destination.status(folder, name);
    if (entry.kind != DestinationKind::File)
        return std::make_error_code(std::errc::no_such_file_or_directory);
    UniqueFd fd = m_destination.openFile(folder, name, error);
    if (!fd)
        return error;
    const FileHashResult hashed =
        hashFile(fd.get(), [cancel](std::uint64_t) { return cancel == nullptr || !cancel->load(); });
    if (hashed.cancelled)
        return std::make_error_code(std::errc::operation_canceled);
    if (hashed.error)
        return hashed.error;
    ManifestRecord record;
    record.path = folder->relative().empty() ? name : folder->relative() + '/' + name;
    record.hash = hashed.hash;
    record.size = hashed.bytes;
    record.modified = entry.modified;
    return add(record);
}

std::error_code ManifestJournal::recordCopy(const FolderHandle& folder, const std::string& name,
                                            const ContentHash& hash, std::uint64_t bytes,
                                            const std::atomic<bool>* cancel, const timespec* modified)
{
    if (modified != nullptr) {
        ManifestRecord record;
        record.path = folder->relative().empty() ? name : folder->relative() + '/' + name;
        record.hash = hash;
        record.size = bytes;
        record.modified = *modified;
        return add(record);
    }
    const DestinationEntry entry = m_destination.status(folder, name);
    if (entry.kind != DestinationKind::File)
        return std::make_error_code(std::errc::no_such_file_or_directory);
    // Changed since it was written (it cannot have been, under the run lock, unless by
    // hand): what it holds now is read and hashed.
    if (entry.size != bytes)
        return recordCopy(folder, name, cancel);
    ManifestRecord record;
    record.path = folder->relative().empty() ? name : folder->relative() + '/' + name;
    record.hash = hash;
    record.size = bytes;
    record.modified = entry.modified;
    return add(record);
}

} // namespace stowmere::backup
