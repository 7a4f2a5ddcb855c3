#include "platform/win32/wide_text.h"

#include "platform/text.h"

namespace keldar::win32 {
namespace {

// The length of the UTF-8 sequence that `lead` starts; 0 for a byte that
// starts none.
std::size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

// The code point of the complete sequence at text[0..n), or nullopt when
// it is malformed, overlong or a surrogate.
std::optional<char32_t> decode(std::string_view text, std::size_t n) {
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  char32_t cp = static_cast<unsigned char>(text[0]) & kLeadMask[n];
  for (std::size_t k = 1; k < n; ++k) {
    auto c = static_cast<unsigned char>(text[k]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  return cp;
}

void append_utf16(std::wstring& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<wchar_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Decodes `text` into `out`; a malformed sequence becomes U+FFFD when
// `lossy`, otherwise ends the decoding with false. A sequence cut at the
// end is left in `rest` when it is given.
bool decode_into(std::string_view text, std::wstring& out, bool lossy, std::string* rest) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t n = sequence_length(static_cast<unsigned char>(text[i]));
    if (n != 0 && i + n > text.size() && rest != nullptr) {
      // Cut at the end: kept whole for the next piece, unless what is here
      // is malformed already.
      bool prefix_ok = true;
      for (std::size_t k = i + 1; k < text.size(); ++k) {
        prefix_ok = prefix_ok && (static_cast<unsigned char>(text[k]) & 0xC0) == 0x80;
      }
      if (prefix_ok) {
        rest->assign(text.substr(i));
        return true;
      }
    }
    std::optional<char32_t> cp =
        (n == 0 || i + n > text.size()) ? std::nullopt : decode(text.substr(i), n);
    if (!cp) {
      if (!lossy) return false;
      out += L'\xFFFD';
      ++i;
      continue;
    }
    append_utf16(out, *cp);
    i += n;
  }
  return true;
}

}  // namespace

std::optional<std::wstring> utf8_to_utf16(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  if (!decode_into(utf8, out, false, nullptr)) return std::nullopt;
  return out;
}

std::optional<std::string> utf16_to_utf8(std::wstring_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 2);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = static_cast<char16_t>(utf16[i]);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() &&
        static_cast<char16_t>(utf16[i + 1]) >= 0xDC00 &&
        static_cast<char16_t>(utf16[i + 1]) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(utf16[++i]) - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::optional<std::wstring> widen(std::string_view cp1251_text) {
  auto utf8 = to_utf8(cp1251_text);
  if (!utf8) return std::nullopt;
  return utf8_to_utf16(*utf8);
}

std::string narrow(std::wstring_view utf16, bool& carriable) {
  auto utf8 = utf16_to_utf8(utf16);
  if (utf8) {
    if (auto text = from_utf8(*utf8)) {
      carriable = true;
      return *text;
    }
  }
  carriable = false;
  // Each unpaired surrogate becomes U+FFFD, which Windows-1251 shows as '?'.
  std::wstring repaired(utf16);
  if (!utf8) {
    for (std::size_t i = 0; i < repaired.size(); ++i) {
      char16_t c = static_cast<char16_t>(repaired[i]);
      bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
      char16_t next = i + 1 < repaired.size() ? static_cast<char16_t>(repaired[i + 1]) : 0;
      if (high && next >= 0xDC00 && next <= 0xDFFF) {
        ++i;
      } else if (high || low) {
        repaired[i] = L'\xFFFD';
      }
    }
  }
  return from_utf8_lossy(utf16_to_utf8(repaired).value_or(""));
}

std::wstring Utf8Decoder::feed(std::string_view bytes) {
  std::string text = std::move(pending_);
  pending_.clear();
  text.append(bytes);
  std::wstring out;
  decode_into(text, out, true, &pending_);
  return out;
}

}  // namespace keldar::win32
