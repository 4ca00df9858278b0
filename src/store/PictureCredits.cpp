#include "store/PictureCredits.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "store/Text.h"

namespace tvx {
namespace {

constexpr std::size_t kFields = 5;

bool IsSpaceOrControl(unsigned char c) { return c <= ' ' || c == 0x7f; }

// The lines' fields, split at tabs; false unless there are exactly kFields.
bool SplitFields(std::string_view line, std::string_view (&fields)[kFields]) {
  for (std::size_t i = 0; i < kFields; ++i) {
    const std::size_t tab = line.find('\t');
    if ((tab == std::string_view::npos) != (i == kFields - 1)) return false;
    fields[i] = line.substr(0, tab);
    if (tab != std::string_view::npos) line.remove_prefix(tab + 1);
  }
  return true;
}

// A URL as list records hold it: one run without blanks.
bool IsUrlKey(std::string_view url) {
  return !url.empty() && std::none_of(url.begin(), url.end(), [](char c) {
    return IsSpaceOrControl(static_cast<unsigned char>(c));
  });
}

}  // namespace

std::string CreditField(std::string_view text) {
  std::string out;
  out.reserve(std::min(text.size(), kMaxCreditField));
  bool blank = false;
  for (char c : text) {
    if (IsSpaceOrControl(static_cast<unsigned char>(c))) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
    if (out.size() > kMaxCreditField) break;
  }
  if (out.size() > kMaxCreditField) {
    // Cut before the character that does not fit whole.
    std::size_t end = kMaxCreditField;
    while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
    out.resize(end);
    while (!out.empty() && out.back() == ' ') out.pop_back();
  }
  return out;
}

std::string CreditText(const PictureCredit& credit) {
  std::string head = credit.title;
  if (!credit.creator.empty()) head += (head.empty() ? "by " : " by ") + credit.creator;
  std::string text;
  for (const std::string* part : {&std::as_const(head), &credit.licence, &credit.landingPage}) {
    if (part->empty()) continue;
    if (!text.empty()) text += ", ";
    text += *part;
  }
  return text;
}

std::string CreditLine(std::string_view fileName, const PictureCredit& credit) {
  std::string line(fileName);
  line += " \xE2\x80\x94 ";  // an em dash
  line += CreditText(credit);
  return line;
}

std::optional<PictureCredit> PictureCredits::Get(std::string_view url) const {
  std::lock_guard lock(mutex_);
  const Entry* entry = entries_.Find(url);
  if (!entry) return std::nullopt;
  return entry->credit;
}

void PictureCredits::Set(std::string_view url, const PictureCredit& credit) {
  if (!IsUrlKey(url)) return;
  PictureCredit kept{CreditField(credit.title), CreditField(credit.creator),
                     CreditField(credit.licence), CreditField(credit.landingPage)};
  std::lock_guard lock(mutex_);
  if (const Entry* entry = entries_.Find(url); entry && entry->credit == kept) return;
  entries_.Put(Entry{std::string(url), std::move(kept)});
  modified_ = true;
  ++generation_;
}

void PictureCredits::ForgetAll() {
  std::lock_guard lock(mutex_);
  if (entries_.Empty()) return;
  entries_.Clear();
  modified_ = true;
  ++generation_;
}

void PictureCredits::Reset() {
  std::lock_guard lock(mutex_);
  entries_.Clear();
  modified_ = false;
}

void PictureCredits::Read(std::string_view content) {
  std::lock_guard lock(mutex_);
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    std::string_view fields[kFields];
    if (SplitFields(TrimLineEnd(content.substr(pos, end - pos)), fields) && IsUrlKey(fields[0]))
      entries_.Put(Entry{std::string(fields[0]),
                         {CreditField(fields[1]), CreditField(fields[2]), CreditField(fields[3]),
                          CreditField(fields[4])}});
    pos = end + 1;
  }
  modified_ = false;
}

bool PictureCredits::Modified() const {
  std::lock_guard lock(mutex_);
  return modified_;
}

std::string PictureCredits::Format(std::uint64_t& generation) const {
  // The pictures that may still be shown or fetched, taken before the
  // credits are locked (each list locks itself).
  std::unordered_set<std::string> wanted;
  for (const auto* list : {&lists_.searchResults, &lists_.requestedFiles}) {
    list->Locked([&] {
      for (int i = 0; i < list->GetCount(); ++i) wanted.emplace(KeyOf(*list->GetAt(i)));
    });
  }

  std::lock_guard lock(mutex_);
  generation = generation_;
  std::string data;
  for (const Entry& e : entries_) {
    if (!wanted.count(e.url)) continue;
    data += e.url;
    for (const std::string* field :
         {&e.credit.title, &e.credit.creator, &e.credit.licence, &e.credit.landingPage}) {
      data += '\t';
      data += *field;
    }
    data += "\r\n";
  }
  return data;
}

}  // namespace tvx
