// WideString and NarrowString: small, reference-counted, copy-on-write text
// values. Short texts live inline; longer ones share one heap buffer between
// copies until a copy is modified. Every path, key and message of the
// installer is one of these, so copies must stay cheap and thread-safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ordx {

template <typename CharT, std::uint32_t kInlineMax>
class CowString {
 public:
  using value_type = CharT;
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  // The tag value that marks the heap form: one more than the longest
  // inline length.
  static constexpr std::uint32_t kHeapTag = kInlineMax + 1;

  CowString() noexcept { inline_[0] = CharT(); }
  CowString(const CharT* text) {  // NOLINT: implicit from literals on purpose
    inline_[0] = CharT();
    if (text != nullptr) assign(text, Length(text));
  }
  CowString(const CharT* text, std::size_t count) {
    inline_[0] = CharT();
    assign(text, count);
  }
  CowString(std::basic_string_view<CharT> view) {  // NOLINT
    inline_[0] = CharT();
    assign(view.data(), view.size());
  }
  CowString(const CowString& other) noexcept { CopyFrom(other); }
  CowString(CowString&& other) noexcept { StealFrom(other); }
  ~CowString() { Release(); }

  CowString& operator=(const CowString& other) noexcept {
    if (this != &other) {
      Release();
      CopyFrom(other);
    }
    return *this;
  }
  CowString& operator=(CowString&& other) noexcept {
    if (this != &other) {
      Release();
      StealFrom(other);
    }
    return *this;
  }
  CowString& operator=(const CharT* text) {
    return assign(text, text == nullptr ? 0 : Length(text));
  }

  std::size_t length() const noexcept {
    return IsHeap() ? static_cast<std::size_t>(heap_.end - heap_.buf->text) : tag_;
  }
  std::size_t size() const noexcept { return length(); }
  bool empty() const noexcept { return length() == 0; }
  const CharT* c_str() const noexcept { return IsHeap() ? heap_.buf->text : inline_; }
  const CharT* data() const noexcept { return c_str(); }
  const CharT* begin() const noexcept { return c_str(); }
  const CharT* end() const noexcept { return c_str() + length(); }
  CharT operator[](std::size_t i) const noexcept { return c_str()[i]; }
  CharT back() const noexcept { return c_str()[length() - 1]; }
  std::basic_string_view<CharT> view() const noexcept { return {c_str(), length()}; }
  // Units that fit without a new allocation.
  std::size_t capacity() const noexcept { return IsHeap() ? heap_.capacity : kInlineMax; }

  // Writable access to the current units; gives the string a private buffer
  // first when it shares one. The length does not change.
  CharT* mutable_data() {
    const std::size_t n = length();
    return Prepare(n, Growth::kExact, n);
  }

  CowString& assign(const CharT* src, std::size_t count) {
    CheckSize(count);
    if (Overlaps(src, count)) {
      const std::basic_string<CharT> copy(src, count);
      return assign(copy.data(), copy.size());
    }
    CharT* buf = Prepare(count, Growth::kExact, /*keep=*/0);
    if (count != 0) std::memcpy(buf, src, count * sizeof(CharT));
    SetLength(count);
    return *this;
  }
  CowString& assign(const CowString& other) { return *this = other; }

  CowString& append(const CharT* src, std::size_t count) {
    if (count == 0) return *this;
    const std::size_t old = length();
    CheckSize(old + count);
    if (Overlaps(src, count)) {
      const std::basic_string<CharT> copy(src, count);
      return append(copy.data(), copy.size());
    }
    CharT* buf = Prepare(old + count, Growth::kAppend, old);
    std::memcpy(buf + old, src, count * sizeof(CharT));
    SetLength(old + count);
    return *this;
  }
  CowString& append(const CowString& other, std::size_t pos, std::size_t count) {
    const std::size_t have = other.length();
    if (pos > have) throw std::out_of_range("basic_string");
    return append(other.c_str() + pos, Min(count, have - pos));
  }
  CowString& append(const CowString& other) { return append(other.c_str(), other.length()); }
  CowString& append(const CharT* text) { return append(text, Length(text)); }
  CowString& operator+=(const CowString& other) { return append(other); }
  CowString& operator+=(const CharT* text) { return append(text); }
  CowString& operator+=(CharT unit) { return append(&unit, 1); }

  CowString& resize(std::size_t count, CharT fill = CharT()) {
    const std::size_t old = length();
    if (count == old) return *this;
    CheckSize(count);
    CharT* buf = Prepare(count, Growth::kExact, Min(old, count));
    for (std::size_t i = old; i < count; ++i) buf[i] = fill;
    SetLength(count);
    return *this;
  }

  CowString& erase(std::size_t pos, std::size_t count = npos) {
    const std::size_t old = length();
    if (pos > old) throw std::out_of_range("basic_string");
    const std::size_t n = Min(count, old - pos);
    if (n == 0) return *this;
    CharT* buf = Prepare(old, Growth::kExact, old);
    std::memmove(buf + pos, buf + pos + n, (old - pos - n) * sizeof(CharT));
    SetLength(old - n);
    return *this;
  }

  CowString substr(std::size_t pos, std::size_t count = npos) const {
    const std::size_t have = length();
    if (pos > have) throw std::out_of_range("basic_string");
    return CowString(c_str() + pos, Min(count, have - pos));
  }

  void reserve(std::size_t count) {
    if (count >= 2147483647u) throw std::length_error("basic_string");
    CheckSize(count);
    if (count <= capacity() && (!IsHeap() || Unique())) return;
    const std::size_t old = length();
    Prepare(count > old ? count : old, Growth::kExact, old);
    SetLength(old);
  }

  // Replaces min(count, length - pos) units at pos by the zero-terminated
  // units of text. pos must not lie beyond the length.
  CowString& replace(std::size_t pos, std::size_t count, const CharT* text) {
    const std::size_t old = length();
    const std::size_t n = Min(count, old - pos);
    std::basic_string<CharT> joined(c_str(), pos);
    joined.append(text, Length(text));
    joined.append(c_str() + pos + n, old - pos - n);
    return assign(joined.data(), joined.size());
  }

  // Inserts the run [first, last) before pos; at the end this is an append.
  CowString& insert(std::size_t pos, const CharT* first, const CharT* last) {
    const std::size_t old = length();
    if (pos > old) throw std::out_of_range("basic_string");
    const std::size_t count = static_cast<std::size_t>(last - first);
    if (pos == old) return append(first, count);
    if (count == 0) return *this;
    CheckSize(old + count);
    std::basic_string<CharT> joined(c_str(), pos);
    joined.append(first, count);
    joined.append(c_str() + pos, old - pos);
    if (!IsHeap() && joined.size() <= kInlineMax) return assign(joined.data(), joined.size());
    // A new buffer of exactly the joined size, without rounding.
    Release();
    MoveToHeapExact(joined.data(), joined.size());
    return *this;
  }

  std::size_t find(CharT unit, std::size_t from = 0) const noexcept {
    const std::size_t n = length();
    const CharT* p = c_str();
    for (std::size_t i = from; i < n; ++i)
      if (p[i] == unit) return i;
    return npos;
  }
  std::size_t find(const CowString& needle, std::size_t from = 0) const noexcept {
    return view().find(needle.view(), from);
  }
  std::size_t find(const CharT* needle, std::size_t from = 0) const noexcept {
    return view().find(std::basic_string_view<CharT>(needle, Length(needle)), from);
  }
  std::size_t rfind(CharT unit) const noexcept { return view().rfind(unit); }
  bool starts_with(std::basic_string_view<CharT> prefix) const noexcept {
    return view().substr(0, prefix.size()) == prefix;
  }
  bool ends_with(std::basic_string_view<CharT> suffix) const noexcept {
    const auto v = view();
    return v.size() >= suffix.size() && v.substr(v.size() - suffix.size()) == suffix;
  }

  friend CowString operator+(const CowString& a, const CowString& b) {
    CowString r(a);
    r.append(b);
    return r;
  }
  friend CowString operator+(const CowString& a, const CharT* b) {
    CowString r(a);
    r.append(b);
    return r;
  }
  friend CowString operator+(const CharT* a, const CowString& b) {
    CowString r(a);
    r.append(b);
    return r;
  }
  // Byte (unit) order: unsigned comparison of the common prefix, then length.
  friend bool operator==(const CowString& a, const CowString& b) noexcept {
    return a.view() == b.view();
  }
  friend bool operator==(const CowString& a, const CharT* b) noexcept {
    return a.view() == std::basic_string_view<CharT>(b, Length(b));
  }
  friend bool operator<(const CowString& a, const CowString& b) noexcept {
    return Compare(a, b) < 0;
  }
  friend int Compare(const CowString& a, const CowString& b) noexcept {
    const std::size_t n = Min(a.length(), b.length());
    for (std::size_t i = 0; i < n; ++i) {
      const auto x = static_cast<std::make_unsigned_t<CharT>>(a.c_str()[i]);
      const auto y = static_cast<std::make_unsigned_t<CharT>>(b.c_str()[i]);
      if (x != y) return x < y ? -1 : 1;
    }
    if (a.length() == b.length()) return 0;
    return a.length() < b.length() ? -1 : 1;
  }

  // Storage inspection for tests: the form, the tag word and the number of
  // strings sharing the heap buffer (1 for inline strings).
  bool IsInlineForm() const noexcept { return !IsHeap(); }
  std::uint32_t TagWord() const noexcept { return tag_; }
  std::uint32_t ShareCount() const noexcept {
    return IsHeap() ? heap_.buf->refs.load(std::memory_order_acquire) : 1;
  }
  // Size in bytes of the heap buffer, count word included (0 when inline).
  std::size_t HeapBytes() const noexcept { return IsHeap() ? heap_.bytes : 0; }

  static std::size_t Length(const CharT* text) noexcept {
    std::size_t n = 0;
    while (text[n] != CharT()) ++n;
    return n;
  }

 private:
  struct Buffer {
    std::atomic<std::uint32_t> refs;
    CharT text[1];  // really capacity + 1 units
  };
  struct HeapArea {
    Buffer* buf;
    CharT* end;
    std::size_t capacity;
    std::size_t bytes;
  };
  enum class Growth { kExact, kAppend };

  static constexpr std::size_t Min(std::size_t a, std::size_t b) { return a < b ? a : b; }
  static constexpr std::size_t kTextOffset = offsetof(Buffer, text);

  bool IsHeap() const noexcept { return tag_ == kHeapTag; }
  bool Unique() const noexcept { return heap_.buf->refs.load(std::memory_order_acquire) == 1; }

  bool Overlaps(const CharT* src, std::size_t count) const noexcept {
    const CharT* lo = c_str();
    const CharT* hi = lo + capacity() + 1;
    return count != 0 && src < hi && src + count > lo;
  }

  static void CheckSize(std::size_t units) {
    // Sizes whose byte count does not fit a signed 32-bit number are refused
    // before anything changes.
    if (units > (0x7fffffffu - kTextOffset) / sizeof(CharT) - 1) throw std::bad_alloc();
  }

  static std::size_t RoundBytes(std::size_t bytes) {
    auto up = [](std::size_t v, std::size_t m) { return (v + m - 1) / m * m; };
    if (bytes <= 256) return up(bytes, 8);
    if (bytes <= 512) return up(bytes, 16);
    if (bytes <= 1023) return up(bytes, 32);
    if (bytes <= 2047) return up(bytes, 64);
    if (bytes <= 4095) return up(bytes, 128);
    if (bytes <= 8191) return up(bytes, 256);
    if (bytes <= 16383) return up(bytes, 512);
    return bytes;
  }

  static Buffer* NewBuffer(std::size_t bytes) {
    void* mem = std::malloc(bytes);
    if (mem == nullptr) throw std::bad_alloc();
    auto* buf = static_cast<Buffer*>(mem);
    new (&buf->refs) std::atomic<std::uint32_t>(1);
    return buf;
  }
  static std::size_t CapacityOf(std::size_t bytes) {
    return (bytes - kTextOffset) / sizeof(CharT) - 1;
  }

  // Makes the string hold a private buffer with room for `needed` units and
  // keeps its first `keep` units. Returns the writable text.
  CharT* Prepare(std::size_t needed, Growth growth, std::size_t keep) {
    if (!IsHeap()) {
      if (needed <= kInlineMax) return inline_;
      // Inline to heap: exactly the needed size, no rounding.
      MoveToHeapExact(inline_, keep, needed);
      return heap_.buf->text;
    }
    if (Unique() && needed <= heap_.capacity) return heap_.buf->text;
    std::size_t want = needed;
    if (growth == Growth::kAppend && needed > heap_.capacity) {
      const std::size_t grown = heap_.capacity + heap_.capacity / 2;
      if (grown > want) want = grown;
      if (want > (0x7fffffffu - kTextOffset) / sizeof(CharT) - 1) want = needed;
    } else if (needed <= heap_.capacity) {
      want = heap_.capacity;  // private copy of a shared buffer keeps its size
    }
    const std::size_t bytes = RoundBytes(kTextOffset + (want + 1) * sizeof(CharT));
    Buffer* fresh = NewBuffer(bytes);
    std::memcpy(fresh->text, heap_.buf->text, keep * sizeof(CharT));
    fresh->text[keep] = CharT();  // mutable_data does not set the length again
    DropBuffer(heap_.buf, heap_.bytes);
    heap_.buf = fresh;
    heap_.capacity = CapacityOf(bytes);
    heap_.bytes = bytes;
    heap_.end = fresh->text + keep;
    return fresh->text;
  }

  void MoveToHeapExact(const CharT* src, std::size_t count, std::size_t room = 0) {
    if (room < count) room = count;
    const std::size_t bytes = kTextOffset + (room + 1) * sizeof(CharT);
    Buffer* fresh = NewBuffer(bytes);
    std::memcpy(fresh->text, src, count * sizeof(CharT));
    fresh->text[count] = CharT();
    tag_ = kHeapTag;
    heap_.buf = fresh;
    heap_.capacity = CapacityOf(bytes);
    heap_.bytes = bytes;
    heap_.end = fresh->text + count;
  }

  void SetLength(std::size_t count) noexcept {
    if (IsHeap()) {
      heap_.buf->text[count] = CharT();
      heap_.end = heap_.buf->text + count;
    } else {
      inline_[count] = CharT();
      tag_ = static_cast<std::uint32_t>(count);
    }
  }

  static void DropBuffer(Buffer* buf, std::size_t /*bytes*/) noexcept {
    if (buf->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      buf->refs.~atomic();
      std::free(buf);
    }
  }

  void Release() noexcept {
    if (IsHeap()) DropBuffer(heap_.buf, heap_.bytes);
    tag_ = 0;
    inline_[0] = CharT();
  }

  void CopyFrom(const CowString& other) noexcept {
    tag_ = other.tag_;
    if (other.IsHeap()) {
      heap_ = other.heap_;
      heap_.buf->refs.fetch_add(1, std::memory_order_relaxed);
    } else {
      std::memcpy(inline_, other.inline_, sizeof(inline_));
    }
  }

  void StealFrom(CowString& other) noexcept {
    tag_ = other.tag_;
    if (other.IsHeap()) {
      heap_ = other.heap_;
    } else {
      std::memcpy(inline_, other.inline_, sizeof(inline_));
    }
    other.tag_ = 0;
    other.inline_[0] = CharT();
  }

  std::uint32_t tag_ = 0;
  union {
    CharT inline_[kInlineMax + 1];
    HeapArea heap_;
  };
};

// Text as UTF-16 code units: every path, key, value and message.
using WideString = CowString<char16_t, 9>;
// Bytes in the locale's multibyte encoding (UTF-8 in the string table).
using NarrowString = CowString<char, 19>;

// Replaces every occurrence of `find` in `s` (non-overlapping, left to right;
// replaced text is not searched again). Returns the number of replacements.
std::int32_t ReplaceAll(WideString& s, const WideString& find, const WideString& replacement);

}  // namespace ordx
