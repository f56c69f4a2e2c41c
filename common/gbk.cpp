#include "common/gbk.h"

#include <cerrno>
#include <iconv.h>

namespace qx {
namespace {

// Codeset choice. glibc's "GBK" (the same table as "CP936") knows 21,791
// two-byte codes and rejects the user-defined areas (AAA1-AFFE, F8A1-FEFE,
// A140-A7A0) that code page 936 maps to the Private Use Area, so text using
// them could not be shown or written back. glibc's "GB18030" maps all 23,940
// two-byte codes, agrees with "GBK" on every code both define, and each one
// round-trips exactly. Two-byte units therefore go through "GB18030", with
// two corrections to keep this GBK:
//  - its four-byte forms (lead byte + '0'..'9') are not GBK: rejected on
//    input, and a character that needs one has no GBK code;
//  - the single byte 0x80 is the euro sign in code page 936 (glibc's "GBK"
//    agrees), while GB18030 has the euro at A2E3. We read and write 0x80 and
//    treat A2E3 as unassigned, as GBK does, so the mapping stays one-to-one.
constexpr const char* kCodeset = "GB18030";
constexpr std::string_view kEuroUtf8 = "\xE2\x82\xAC";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One pair of conversion descriptors per thread: iconv_t is not thread-safe,
// and opening one per call is costly.
struct Converters {
  iconv_t toUtf8 = kNoConverter;
  iconv_t fromUtf8 = kNoConverter;
  ~Converters() {
    if (toUtf8 != kNoConverter) iconv_close(toUtf8);
    if (fromUtf8 != kNoConverter) iconv_close(fromUtf8);
  }
};

Converters& ThreadConverters() {
  thread_local Converters converters;
  return converters;
}

iconv_t ToUtf8() {
  Converters& c = ThreadConverters();
  if (c.toUtf8 == kNoConverter) c.toUtf8 = iconv_open("UTF-8", kCodeset);
  return c.toUtf8;
}

iconv_t FromUtf8() {
  Converters& c = ThreadConverters();
  if (c.fromUtf8 == kNoConverter) c.fromUtf8 = iconv_open(kCodeset, "UTF-8");
  return c.fromUtf8;
}

// Length of the valid GBK unit at p (1 or 2), or 0 when p[0] starts none.
size_t UnitLength(const unsigned char* p, size_t left) {
  const unsigned lead = p[0];
  if (lead <= 0x80) return 1;  // ASCII, or 0x80 (euro)
  if (lead == 0xFF || left < 2) return 0;
  const unsigned trail = p[1];
  if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return 0;
  if (lead == 0xA2 && trail == 0xE3) return 0;
  return 2;
}

bool AllAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Converts `in`, appending to `out`. Returns true when all of it converted
// reversibly; otherwise false with `*stop` at the offending input offset.
bool Convert(iconv_t cd, std::string_view in, std::string& out, size_t* stop) {
  if (cd == kNoConverter) {
    *stop = 0;
    return in.empty();
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  size_t used = out.size();
  // Neither direction more than doubles the size of a unit.
  out.resize(used + 2 * inLeft + 16);
  for (;;) {
    char* outPtr = out.data() + used;
    size_t outLeft = out.size() - used;
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    used = static_cast<size_t>(outPtr - out.data());
    if (result == static_cast<size_t>(-1) && errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    out.resize(used);
    *stop = static_cast<size_t>(inPtr - in.data());
    return result == 0;
  }
}

}  // namespace

// Both strict conversions build into a local string, so `out` is untouched
// on failure and may even be the input's own storage.
bool GbkToUtf8(std::string_view gbk, std::string& utf8) {
  std::string result;
  if (AllAscii(gbk)) {
    result.assign(gbk);
    utf8 = std::move(result);
    return true;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());
  size_t runStart = 0;
  size_t stop = 0;
  for (size_t i = 0; i < gbk.size();) {
    const size_t len = UnitLength(bytes + i, gbk.size() - i);
    if (len == 0) return false;
    if (bytes[i] == 0x80) {
      if (!Convert(ToUtf8(), gbk.substr(runStart, i - runStart), result, &stop)) return false;
      result += kEuroUtf8;
      runStart = i + 1;
    }
    i += len;
  }
  if (!Convert(ToUtf8(), gbk.substr(runStart), result, &stop)) return false;
  utf8 = std::move(result);
  return true;
}

bool Utf8ToGbk(std::string_view utf8, std::string& gbk) {
  std::string result;
  if (AllAscii(utf8)) {
    result.assign(utf8);
    gbk = std::move(result);
    return true;
  }
  size_t stop = 0;
  if (!Convert(FromUtf8(), utf8, result, &stop)) return false;
  // Compact in place: reject four-byte forms, write the euro as 0x80.
  size_t write = 0;
  for (size_t read = 0; read < result.size();) {
    const auto lead = static_cast<unsigned char>(result[read]);
    if (lead < 0x80) {
      result[write++] = result[read++];
      continue;
    }
    if (read + 1 >= result.size()) return false;
    const auto trail = static_cast<unsigned char>(result[read + 1]);
    if (trail >= 0x30 && trail <= 0x39) return false;  // no GBK code
    if (lead == 0xA2 && trail == 0xE3) {
      result[write++] = static_cast<char>(0x80);
    } else {
      result[write++] = result[read];
      result[write++] = result[read + 1];
    }
    read += 2;
  }
  result.resize(write);
  gbk = std::move(result);
  return true;
}

std::string GbkToUtf8Lossy(std::string_view gbk) {
  std::string out;
  if (AllAscii(gbk)) return std::string(gbk);
  out.reserve(gbk.size() * 3 / 2 + 16);
  const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());

  // Converts a run of structurally valid units; a unit the converter still
  // refuses becomes one U+FFFD per byte.
  auto flush = [&](size_t from, size_t to) {
    while (from < to) {
      size_t stop = 0;
      if (Convert(ToUtf8(), gbk.substr(from, to - from), out, &stop)) return;
      from += stop;
      if (from >= to) return;
      if (bytes[from] < 0x80) {  // only when no converter could be opened
        out += static_cast<char>(bytes[from++]);
        continue;
      }
      const size_t len = UnitLength(bytes + from, to - from);
      for (size_t k = 0; k < (len ? len : 1); ++k) out += kReplacementUtf8;
      from += len ? len : 1;
    }
  };

  size_t runStart = 0;
  for (size_t i = 0; i < gbk.size();) {
    const size_t len = UnitLength(bytes + i, gbk.size() - i);
    if (len != 0 && bytes[i] != 0x80) {
      i += len;
      continue;
    }
    flush(runStart, i);
    if (len != 0) {
      out += kEuroUtf8;
      i += 1;
    } else if (i + 1 < gbk.size() && bytes[i] == 0xA2 && bytes[i + 1] == 0xE3) {
      // Well-formed but unassigned pair: both bytes are replaced, so the
      // trail byte is not misread as the start of another character.
      out += kReplacementUtf8;
      out += kReplacementUtf8;
      i += 2;
    } else {
      // Bad lead or trail byte: replace the lead and read on from the next
      // byte, so an ASCII byte after it is kept.
      out += kReplacementUtf8;
      i += 1;
    }
    runStart = i;
  }
  flush(runStart, gbk.size());
  return out;
}

}  // namespace qx
