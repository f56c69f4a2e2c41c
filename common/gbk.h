// Conversion between the GBK bytes that documents store and UTF-8 for the
// user interface. Document text is kept as GBK bytes and converted only at
// the edges.
#pragma once

#include <string>
#include <string_view>

namespace qx {

// Strict conversions: false, leaving the output unchanged, when the input is
// not valid or has a character GBK cannot hold. Input and output may be the
// same string. Safe to call from any thread.
bool GbkToUtf8(std::string_view gbk, std::string& utf8);
bool Utf8ToGbk(std::string_view utf8, std::string& gbk);

// For display only: every byte that does not start a valid GBK character
// becomes U+FFFD and conversion goes on.
std::string GbkToUtf8Lossy(std::string_view gbk);

}  // namespace qx
