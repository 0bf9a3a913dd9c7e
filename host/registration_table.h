#pragma once

#include "filter_abi.h"

#include <string>

// The registration record as a readable table (UTF-8 text).
std::string DescribeRegistration(const FilterRecord& r);

// A Shift-JIS (code page 932) string from a filter record as UTF-8.
std::string ShiftJisToUtf8(const char* text);
