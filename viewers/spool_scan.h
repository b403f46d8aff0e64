// The rows of the queue viewers: a spool directory and its direct subdirectories walked,
// each matching file read into one row of text fields, and rows sorted by any column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/opened_directory.h"

namespace viewers {

inline constexpr std::size_t kMaxSpoolRows = 100'000;

// One row: field 0 is the file's path relative to the scanned root (never shown), field 1
// its name ("ID"), then the columns of its viewer.
struct SpoolRow {
    std::vector<std::string> fields;
    std::uint32_t folder = 0;  // index in SpoolRowList::folders of the folder holding it
    const std::string& Field(std::size_t k) const;  // "" past the last field
};

struct SpoolRowList {
    std::vector<std::unique_ptr<SpoolRow>> rows;  // at most kMaxSpoolRows
    std::uint32_t matched = 0;  // every file that matched, listed or not
    // The folders the scan read, held open: a row is deleted through the folder it was
    // found in, never through a path that may since lead somewhere else.
    std::vector<std::shared_ptr<const platform::OpenedDirectory>> folders;
};

// Deletes the row's file (by the rule of DeleteFileChecked) in the folder it was found
// in; true when the file is gone afterwards.
bool DeleteRowFile(const SpoolRowList& list, const SpoolRow& row);
// Deletes the folder beside a received MMS header ("M1" for "M1.HDR") with its parts, in
// the folder the header was found in.
void DeleteRowPartsFolder(const SpoolRowList& list, const SpoolRow& row);

// Outbound queue ("*.REQ" under QueueDirectory, root and route subdirectories): Submit
// User, Recipient, Submit Time, Status ("Queued", or "Retry - %2u attempt(s)" with " - "
// and the last error). Requests without a recipient are counted, not listed.
void ScanOutboundQueue(SpoolRowList& list);
// Received SMS ("*.IN", "*.REC", then "*.SMS" under InboundSmsDirectory): Sender,
// Recipient, Receive Time, Status ("Queued" or "Received"), Text (decoded for display).
// Route subdirectories that have stood empty for 5 minutes are removed. A file that
// cannot be read as a regular file (a FIFO, a link, one gone meanwhile) is skipped, as
// is a route subdirectory that is a link.
void ScanReceivedSms(SpoolRowList& list);
// Received MMS ("*.HDR" under InboundMmsDirectory): Sender, Recipient, Receive Time and
// Subject from the From:, To: and Subject: headers. Empty subdirectories and files that
// cannot be read as above.
void ScanReceivedMms(SpoolRowList& list);
// Each scan stops early when the long operation it runs in is cancelled; the list then
// holds the files read so far.
// The header fields of a received MMS header text: {sender, recipient, subject}.
std::vector<std::string> ParseMmsHeader(const std::string& text);

// Sorts by field |state| ascending (state > 0) or descending (< 0), comparing ignoring
// case; rows with equal keys keep their order. 0 leaves the list as it is.
void SortRows(SpoolRowList& list, int state);
// The state after a click on the 0-based column: -k when the state is +k, else +k.
int ToggleSortState(int state, int column);

// Removes the directory (no trailing "/") when it is empty and was last written more than
// 5 minutes ago. Nothing is reported.
void RemoveStaleDirectory(const std::string& directory);

// Starts a thread that keeps deleting `name` in `folder` every 5 seconds while it exists
// (a holder keeps it), for at most 120 seconds. Reports nothing.
void StartDeleteRetryWorker(std::shared_ptr<const platform::OpenedDirectory> folder,
                            const std::string& name);

// "%04d-%02d-%02d %02d:%02d:%02d" of a file time (Unix milliseconds) in the gateway's zone.
std::string SpoolTimeText(std::int64_t unixMillis);

}  // namespace viewers
