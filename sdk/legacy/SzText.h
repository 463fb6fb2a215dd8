#pragma once

// Wide text of the earlier interface. Windows builds hold UTF-16 in wchar_t,
// POSIX builds one code point per wchar_t; the platform seam speaks UTF-8.

#include <string>

namespace sv::legacy {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace sv::legacy
