#include "os/utf8_formatting.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/unicode.h"

namespace skyfw::platform {
namespace {

// Writes into the caller's buffer as far as it reaches and counts everything,
// as vsnprintf does.
class CutBuffer {
 public:
  CutBuffer(char* buffer, size_t size) : buffer_(buffer), size_(size) {}

  void Append(std::string_view text) {
    size_t capacity = size_ == 0 ? 0 : size_ - 1;
    if (length_ < capacity) {
      size_t copied = text.size() < capacity - length_ ? text.size() : capacity - length_;
      std::memcpy(buffer_ + length_, text.data(), copied);
    }
    length_ += text.size();
  }

  void AppendBlanks(size_t count) {
    constexpr std::string_view kBlanks = "                ";
    for (; count > kBlanks.size(); count -= kBlanks.size()) Append(kBlanks);
    Append(kBlanks.substr(0, count));
  }

  // Terminates what was written; the count, or -1 when it does not fit an int.
  int Finish(bool ok) {
    if (size_ != 0) buffer_[length_ < size_ ? length_ : size_ - 1] = '\0';
    return ok && length_ <= static_cast<size_t>(INT_MAX) ? static_cast<int>(length_) : -1;
  }

 private:
  char* buffer_;
  size_t size_;
  size_t length_ = 0;
};

// One conversion of a format, "*" widths and precisions already fetched.
struct Conversion {
  std::string flags;
  bool width_from_argument = false;
  bool precision_from_argument = false;
  int width = -1;           // -1: none
  int precision = -1;       // -1: none
  std::string_view length;  // one of the literals below
  char conversion = '\0';

  bool LeftAligned() const { return flags.find('-') != std::string::npos; }

  // The conversion as the runtime reads it, for one argument.
  std::string RuntimeDirective() const {
    std::string directive(1, '%');
    directive += flags;
    if (width >= 0) directive += std::to_string(width);
    if (precision >= 0) {
      directive += '.';
      directive += std::to_string(precision);
    }
    directive.append(length);
    directive += conversion;
    return directive;
  }
};

// Reads a run of digits as an int; false when it does not fit.
bool ReadNumber(const char*& p, int& number) {
  number = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    int digit = *p - '0';
    if (number > (INT_MAX - digit) / 10) return false;
    number = number * 10 + digit;
  }
  return true;
}

// Parses the conversion after a '%'; returns the character after it, or null
// when the conversion is malformed.
const char* ParseConversion(const char* p, Conversion& conversion) {
  while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) conversion.flags += *p++;
  if (*p == '*') {
    conversion.width_from_argument = true;
    ++p;
  } else if (*p >= '0' && *p <= '9' && !ReadNumber(p, conversion.width)) {
    return nullptr;
  }
  if (*p == '.') {
    ++p;
    if (*p == '*') {
      conversion.precision_from_argument = true;
      ++p;
    } else if (!ReadNumber(p, conversion.precision)) {
      return nullptr;
    }
  }
  for (std::string_view length : {"hh", "h", "ll", "l", "j", "z", "t", "L"}) {
    if (std::strncmp(p, length.data(), length.size()) == 0) {
      conversion.length = length;
      p += length.size();
      break;
    }
  }
  if (*p == '\0') return nullptr;
  conversion.conversion = *p;
  return p + 1;
}

// The runtime's own formatting of one argument (no format attribute: the
// format is built at run time from a checked conversion).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
int RuntimeFormat(char* buffer, size_t size, const char* directive, ...) {
  va_list argument;
  va_start(argument, directive);
  int length = std::vsnprintf(buffer, size, directive, argument);
  va_end(argument);
  return length;
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

template <typename Value>
bool AppendByRuntime(CutBuffer& out, const Conversion& conversion, Value value) {
  std::string directive = conversion.RuntimeDirective();
  int length = RuntimeFormat(nullptr, 0, directive.c_str(), value);
  if (length < 0) return false;
  std::string text(static_cast<size_t>(length) + 1, '\0');
  if (RuntimeFormat(text.data(), text.size(), directive.c_str(), value) != length) return false;
  text.resize(static_cast<size_t>(length));
  out.Append(text);
  return true;
}

// wchar_t text (UTF-16 on Windows, UTF-32 elsewhere) as UTF-8; what is not
// a character becomes U+FFFD.
std::string WideToUtf8(const wchar_t* text, size_t count) {
  return FromWide(std::wstring_view(text, count));
}

// Wide text as the C standard has it: the precision counts bytes written and
// never cuts a character, the width pads with blanks.
void AppendWideText(CutBuffer& out, const Conversion& conversion, std::string utf8) {
  if (conversion.precision >= 0 && utf8.size() > static_cast<size_t>(conversion.precision)) {
    size_t cut = static_cast<size_t>(conversion.precision);
    while (cut > 0 && (static_cast<uint8_t>(utf8[cut]) & 0xC0) == 0x80) --cut;
    utf8.resize(cut);
  }
  size_t padding = conversion.width > 0 && static_cast<size_t>(conversion.width) > utf8.size()
                       ? static_cast<size_t>(conversion.width) - utf8.size()
                       : 0;
  if (!conversion.LeftAligned()) out.AppendBlanks(padding);
  out.Append(utf8);
  if (conversion.LeftAligned()) out.AppendBlanks(padding);
}

std::string WideString(const wchar_t* text, int precision) {
  if (text == nullptr) return "(null)";
  // With a precision the text need not end within the array: read no more
  // than that many characters (each gives at least one byte).
  size_t count = 0;
  while ((precision < 0 || count < static_cast<size_t>(precision)) && text[count] != L'\0') {
    ++count;
  }
  return WideToUtf8(text, count);
}

// Fetches the conversion's argument with its promoted type and formats it.
bool AppendArgument(CutBuffer& out, const Conversion& conversion, va_list* arguments) {
  const std::string_view length = conversion.length;
  switch (conversion.conversion) {
    case 'd':
    case 'i':
      if (length.empty() || length == "hh" || length == "h") {
        return AppendByRuntime(out, conversion, va_arg(*arguments, int));
      }
      if (length == "l") return AppendByRuntime(out, conversion, va_arg(*arguments, long));
      if (length == "ll") return AppendByRuntime(out, conversion, va_arg(*arguments, long long));
      if (length == "j") return AppendByRuntime(out, conversion, va_arg(*arguments, intmax_t));
      if (length == "z") {
        return AppendByRuntime(out, conversion, va_arg(*arguments, std::make_signed_t<size_t>));
      }
      if (length == "t") return AppendByRuntime(out, conversion, va_arg(*arguments, ptrdiff_t));
      return false;
    case 'o':
    case 'u':
    case 'x':
    case 'X':
      if (length.empty() || length == "hh" || length == "h") {
        return AppendByRuntime(out, conversion, va_arg(*arguments, unsigned int));
      }
      if (length == "l") {
        return AppendByRuntime(out, conversion, va_arg(*arguments, unsigned long));
      }
      if (length == "ll") {
        return AppendByRuntime(out, conversion, va_arg(*arguments, unsigned long long));
      }
      if (length == "j") return AppendByRuntime(out, conversion, va_arg(*arguments, uintmax_t));
      if (length == "z") return AppendByRuntime(out, conversion, va_arg(*arguments, size_t));
      if (length == "t") {
        return AppendByRuntime(out, conversion,
                               va_arg(*arguments, std::make_unsigned_t<ptrdiff_t>));
      }
      return false;
    case 'c':
      if (length.empty()) return AppendByRuntime(out, conversion, va_arg(*arguments, int));
      if (length == "l") {
        // wint_t is 16 bits on Windows and then arrives promoted to int.
        using PromotedWint = std::conditional_t<(sizeof(wint_t) < sizeof(int)), int, wint_t>;
        auto character = static_cast<wchar_t>(va_arg(*arguments, PromotedWint));
        AppendWideText(out, conversion, WideToUtf8(&character, 1));
        return true;
      }
      return false;
    case 's':
      if (length.empty()) {
        return AppendByRuntime(out, conversion, va_arg(*arguments, const char*));
      }
      if (length == "l") {
        const wchar_t* text = va_arg(*arguments, const wchar_t*);
        AppendWideText(out, conversion, WideString(text, conversion.precision));
        return true;
      }
      return false;
    case 'p':
      if (!length.empty()) return false;
      return AppendByRuntime(out, conversion, va_arg(*arguments, void*));
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      if (length.empty() || length == "l") {
        return AppendByRuntime(out, conversion, va_arg(*arguments, double));
      }
      if (length == "L") {
        return AppendByRuntime(out, conversion, va_arg(*arguments, long double));
      }
      return false;
    default:  // "%n" among them: nothing is written through an argument
      return false;
  }
}

}  // namespace

int FormatWithOwnWideText(char* buffer, size_t size, const char* format, va_list arguments) {
  CutBuffer out(buffer, size);
  if (format == nullptr) return out.Finish(false);
  va_list remaining;
  va_copy(remaining, arguments);
  bool ok = true;
  const char* p = format;
  while (ok && *p != '\0') {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      out.Append(p);
      break;
    }
    out.Append(std::string_view(p, static_cast<size_t>(percent - p)));
    if (percent[1] == '%') {
      out.Append("%");
      p = percent + 2;
      continue;
    }
    Conversion conversion;
    p = ParseConversion(percent + 1, conversion);
    if (p == nullptr) {
      ok = false;
      break;
    }
    if (conversion.width_from_argument) {
      int width = va_arg(remaining, int);
      // A negative width is a '-' flag and its magnitude.
      if (width < 0) conversion.flags += '-';
      conversion.width = width == INT_MIN ? INT_MAX : (width < 0 ? -width : width);
    }
    if (conversion.precision_from_argument) {
      int precision = va_arg(remaining, int);
      conversion.precision = precision < 0 ? -1 : precision;
    }
    ok = AppendArgument(out, conversion, &remaining);
  }
  va_end(remaining);
  return out.Finish(ok);
}

}  // namespace skyfw::platform
