// Journal records and the transaction directory. Appends are plain writes
// with O_APPEND: a killed process finishes the write it was in, so only a
// power cut can tear the last record, and a torn record announces a step
// that never ran.
#include "engine/journal.h"

#include "fs/dir_ops.h"
#include "text/convert.h"

namespace ordx {
namespace {

constexpr const char16_t* kJournalFile = kJournalFileName;

void PutNumber(std::string* out, std::uint64_t value) {
  *out += std::to_string(value);
  *out += ' ';
}

// Reads decimal digits up to a space; false when there are none or no space.
bool TakeNumber(const std::string& bytes, std::size_t* at, std::uint64_t* out) {
  std::size_t i = *at;
  std::uint64_t value = 0;
  const std::size_t first = i;
  while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9' && i - first < 20) {
    value = value * 10 + static_cast<std::uint64_t>(bytes[i] - '0');
    ++i;
  }
  if (i == first || i >= bytes.size() || bytes[i] != ' ') return false;
  *at = i + 1;
  *out = value;
  return true;
}

bool KnownKind(char kind) {
  for (const char k : {'L', 'A', 'D', 'M', 'T', 'N', 'S'}) {
    if (kind == k) return true;
  }
  return false;
}

}  // namespace

std::string EncodeRecord(const JournalRecord& record) {
  std::string out(1, static_cast<char>(record.kind));
  out += ' ';
  PutNumber(&out, record.a);
  PutNumber(&out, record.b);
  const NarrowString path = ToNarrow(record.path);
  PutNumber(&out, path.length());
  out.append(path.c_str(), path.length());
  out += '\n';
  return out;
}

std::vector<JournalRecord> DecodeJournal(const std::string& bytes) {
  std::vector<JournalRecord> records;
  std::size_t at = 0;
  while (at + 2 <= bytes.size()) {
    JournalRecord record;
    if (!KnownKind(bytes[at]) || bytes[at + 1] != ' ') break;
    record.kind = static_cast<JournalRecord::Kind>(bytes[at]);
    std::size_t i = at + 2;
    std::uint64_t length = 0;
    if (!TakeNumber(bytes, &i, &record.a) || !TakeNumber(bytes, &i, &record.b) ||
        !TakeNumber(bytes, &i, &length) || length > bytes.size() - i ||
        bytes.size() - i - length < 1 || bytes[i + length] != '\n') {
      break;
    }
    record.path = ToWide(NarrowString(bytes.data() + i, static_cast<std::size_t>(length)));
    records.push_back(record);
    at = i + length + 1;
  }
  return records;
}

WideString BackupName(std::uint64_t number) {
  return u"b" + ToWide(NarrowString(std::to_string(number).c_str()));
}

ErrorCode Journal::Create(Handle root) {
  ErrorCode code = MakeDirectoryAt(root, kTransactionDirectory, 0700);
  if (code != kErrorSuccess) return code;
  code = OpenBeneath(root, kTransactionDirectory, nullptr, &directory_);
  if (code != kErrorSuccess) return code;
  return OpenAppendAt(directory_.get(), kJournalFile, true, file_.out());
}

ErrorCode Journal::Open(Handle root) {
  const ErrorCode code = OpenBeneath(root, kTransactionDirectory, nullptr, &directory_);
  if (code != kErrorSuccess) return code;
  return OpenAppendAt(directory_.get(), kJournalFile, true, file_.out());
}

ErrorCode Journal::Append(const JournalRecord& record) {
  const std::string bytes = EncodeRecord(record);
  std::uint32_t written = 0;
  return WriteFile(file_.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written,
                   nullptr);
}

ErrorCode Journal::Remove(Handle root) {
  file_.Close();
  if (!open()) return kErrorSuccess;
  // Without the journal nothing is left to undo: what remains are backups
  // of files the run has replaced for good.
  const ErrorCode code = UnlinkAt(directory_.get(), kJournalFile);
  if (code != kErrorSuccess && code != kErrorFileNotFound) return code;
  directory_.Close();
  DeleteTreeAt(root, kTransactionDirectory);
  return kErrorSuccess;
}

ErrorCode ReadJournal(Handle directory, std::vector<JournalRecord>* out) {
  out->clear();
  ScopedHandle file;
  ErrorCode code = OpenReadAt(directory, kJournalFile, file.out());
  if (code == kErrorFileNotFound) return kErrorSuccess;
  if (code != kErrorSuccess) return code;
  std::string bytes;
  code = ReadAll(file.get(), &bytes);
  if (code != kErrorSuccess) return code;
  *out = DecodeJournal(bytes);
  return kErrorSuccess;
}

}  // namespace ordx
